# Script: unpacks the Windows zip ZIP into WORK_DIR and checks what a user finds in it:
# one folder named after the zip holding bin/, include/, lib/ and share/ only; the
# files a caller and a user of the tool need in them (both import libraries among them);
# and a DLL that exports the classes and every C function of the zip's headers, which
# rizeroz.lib imports (CheckExports.cmake, with OBJDUMP).
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${ZIP} WORKING_DIRECTORY ${WORK_DIR} RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cannot unpack ${ZIP}")
endif()
get_filename_component(name ${ZIP} NAME)
string(REGEX REPLACE "\\.zip$" "" name ${name})
set(root ${WORK_DIR}/${name})

function(expect_entries folder)
  file(GLOB entries RELATIVE ${root}/${folder} ${root}/${folder}/*)
  list(SORT entries)
  if(NOT entries STREQUAL ARGN)
    message(FATAL_ERROR "${ZIP}: ${folder}/ holds '${entries}', not '${ARGN}'")
  endif()
endfunction()
expect_entries(. bin include lib share)
expect_entries(include rizeroz)
expect_entries(share doc rizeroz)

foreach(file
    bin/rizeroz.dll
    bin/rizeroz.exe
    lib/librizeroz.dll.a
    lib/rizeroz.lib
    lib/cmake/RizEroz/RizErozConfig.cmake
    lib/cmake/RizEroz/RizErozConfigVersion.cmake
    lib/pkgconfig/rizeroz.pc
    include/rizeroz/RODAzivUzirAdovIzozari.h
    include/rizeroz/RizErozVersion.h
    include/rizeroz/rizeroz.h
    share/doc/rizeroz/README.md
    share/doc/rizeroz/copyright
    share/doc/rizeroz/docs/cli.md
    share/rizeroz/SVF_Plus_Data.dtd)
  if(NOT EXISTS ${root}/${file})
    message(FATAL_ERROR "${ZIP} has no ${name}/${file}")
  endif()
endforeach()

set(DLL ${root}/bin/rizeroz.dll)
file(GLOB HEADERS ${root}/include/rizeroz/*.h)
set(IMPORT_LIB ${root}/lib/rizeroz.lib)
include(${CMAKE_CURRENT_LIST_DIR}/CheckExports.cmake)

message(STATUS "${ZIP}: layout and exports as expected")
