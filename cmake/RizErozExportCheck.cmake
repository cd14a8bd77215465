# The Windows DLL must export what callers use: members of the classes, and every C
# function the public headers declare by its plain name, which rizeroz.lib must import
# (CheckExports.cmake, which the check of the Windows zip runs as well).
if(NOT CMAKE_OBJDUMP)
  find_program(CMAKE_OBJDUMP NAMES ${RIZEROZ_MINGW_TRIPLE}-objdump objdump)
endif()
# rizeroz.lib is read with llvm-readobj, which shows its short import headers as they are.
find_program(RIZEROZ_LLVM_READOBJ NAMES llvm-readobj)
add_test(NAME dll_exports
  COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DDLL=$<TARGET_FILE:rizeroz>
          "-DHEADERS=${RIZEROZ_PUBLIC_HEADERS}" -DIMPORT_LIB=${RIZEROZ_MSVC_IMPORT_LIB}
          -DREADOBJ=${RIZEROZ_LLVM_READOBJ} -P ${PROJECT_SOURCE_DIR}/cmake/CheckExports.cmake)
set_tests_properties(dll_exports PROPERTIES LABELS exports)
