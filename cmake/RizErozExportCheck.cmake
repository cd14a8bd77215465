# The Windows DLL must export what callers use (the names are in CheckExports.cmake):
# read its export table and look for them.
if(NOT CMAKE_OBJDUMP)
  find_program(CMAKE_OBJDUMP NAMES ${RIZEROZ_MINGW_TRIPLE}-objdump objdump)
endif()
add_test(NAME dll_exports
  COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DDLL=$<TARGET_FILE:rizeroz>
          -P ${PROJECT_SOURCE_DIR}/cmake/CheckExports.cmake)
set_tests_properties(dll_exports PROPERTIES LABELS exports)
