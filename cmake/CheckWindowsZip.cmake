# Script: unpacks the Windows zip ZIP into WORK_DIR and checks what a user finds in it:
# every entry listed once; one folder named after the zip holding bin/, include/, lib/
# and share/ only; the
# files a caller and a user of the tool need in them (both import libraries and the .def
# file among them); a DLL that exports the classes and every C function of the zip's
# headers, which rizeroz.lib imports (CheckExports.cmake, with OBJDUMP); a CMake package
# whose target links rizeroz.lib under Microsoft's compiler and librizeroz.dll.a under
# mingw-w64 (tests/zip); and docs/windows.md's example, with the CMakeLists.txt the page
# shows, built against the zip with the mingw-w64 toolchain TOOLCHAIN. SOURCE_DIR is the
# repository.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${ZIP} WORKING_DIRECTORY ${WORK_DIR} RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cannot unpack ${ZIP}")
endif()
# Every entry once: an archive tool shows a folder listed twice as two.
execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${ZIP} OUTPUT_VARIABLE listed RESULT_VARIABLE failed)
string(STRIP "${listed}" listed)
string(REPLACE "\n" ";" listed "${listed}")
set(once ${listed})
list(REMOVE_DUPLICATES once)
list(LENGTH listed all)
list(LENGTH once distinct)
if(failed OR NOT all EQUAL distinct)
  message(FATAL_ERROR "${ZIP} lists ${all} entries, ${distinct} of them different: some are listed twice")
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
    lib/rizeroz.def
    lib/cmake/RizEroz/RizErozConfig.cmake
    lib/cmake/RizEroz/RizErozConfigVersion.cmake
    lib/pkgconfig/rizeroz.pc
    include/rizeroz/RODAzivUzirAdovIzozari.h
    include/rizeroz/RizErozVersion.h
    include/rizeroz/rizeroz.h
    include/rizeroz/rizeroz.hpp
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

include(${CMAKE_CURRENT_LIST_DIR}/RizErozRun.cmake)
set(package_dir ${root}/lib/cmake/RizEroz)
foreach(msvc ON OFF)
  run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/zip -B ${WORK_DIR}/package-${msvc} -DAS_MSVC=${msvc}
      -DRizEroz_DIR=${package_dir})
endforeach()

include(${CMAKE_CURRENT_LIST_DIR}/RizErozDocBlock.cmake)
rizeroz_doc_block(${SOURCE_DIR}/docs/windows.md cmake ${WORK_DIR}/example/CMakeLists.txt)
rizeroz_doc_block(${SOURCE_DIR}/docs/windows.md cpp ${WORK_DIR}/example/masks.cpp)
run(${CMAKE_COMMAND} -S ${WORK_DIR}/example -B ${WORK_DIR}/example/build -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN}
    -DCMAKE_BUILD_TYPE=Release -DRizEroz_DIR=${package_dir})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/example/build)
message(STATUS "${ZIP}: layout, exports and CMake package as expected; docs/windows.md's example builds against it")
