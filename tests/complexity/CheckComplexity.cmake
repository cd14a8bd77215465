# cmake -DCLANG_TIDY=... -DSOURCE_DIR=... -DBUILD_DIR=... -DFOLDERS=a,b -P CheckComplexity.cmake
# Every C++ source of FOLDERS (of SOURCE_DIR) that the build compiles, and the headers of
# the checked folders it includes, checked by clang-tidy with the repository's .clang-tidy
# (function size and cognitive complexity) and the build's compile commands; any warning
# fails. A source the build does not compile (one for another system, the benchmarks in a
# build without them) is named, not checked.
if(NOT CLANG_TIDY)
  message(FATAL_ERROR "clang-tidy is not installed: the complexity check needs the Debian package clang-tidy "
                      "(scripts/setup.sh installs it)")
endif()
set(database ${BUILD_DIR}/compile_commands.json)
if(NOT EXISTS ${database})
  message(FATAL_ERROR "${database} is missing: configure the build with -DCMAKE_EXPORT_COMPILE_COMMANDS=ON")
endif()
file(READ ${database} commands)

set(sources)
set(elsewhere)
string(REPLACE "," ";" FOLDERS "${FOLDERS}")
foreach(folder ${FOLDERS})
  file(GLOB_RECURSE found ${SOURCE_DIR}/${folder}/*.cpp)
  foreach(source ${found})
    string(FIND "${commands}" "\"file\": \"${source}\"" at)
    if(at EQUAL -1)
      list(APPEND elsewhere ${source})   # compiled for another system, or in another build, only
    else()
      list(APPEND sources ${source})
    endif()
  endforeach()
endforeach()
list(LENGTH sources count)
if(count EQUAL 0)
  message(FATAL_ERROR "no source of ${FOLDERS} is in ${database}")
endif()

execute_process(COMMAND ${CLANG_TIDY} -p ${BUILD_DIR} --quiet --warnings-as-errors=* ${sources}
                WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
if(NOT result EQUAL 0 OR output MATCHES "warning:|error:")
  message("${output}${errors}")
  message(FATAL_ERROR "clang-tidy finds functions above the limits of .clang-tidy (80 lines, cognitive "
                      "complexity 40), or cannot read a source: split them into steps")
endif()
foreach(source ${elsewhere})
  file(RELATIVE_PATH name ${SOURCE_DIR} ${source})
  message(STATUS "not compiled in this build, so not checked here: ${name}")
endforeach()
message(STATUS "${count} sources within the limits of .clang-tidy")
