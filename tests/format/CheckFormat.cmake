# cmake -DCLANG_FORMAT=... -DSOURCE_DIR=... [-DFIX=ON] -P CheckFormat.cmake
# Every C and C++ source of the repository (headers of both languages included), laid
# out as .clang-format says, or a failure that names each place clang-format would
# change; with FIX, laid out so (scripts/format.sh).
set(sources)
foreach(folder interfaces platform rodazivuziradovizozari bindings tools web examples tests bench fuzz)
  foreach(kind cpp cc c h hpp)
    file(GLOB_RECURSE found ${SOURCE_DIR}/${folder}/*.${kind})
    list(APPEND sources ${found})
  endforeach()
endforeach()
# Packages npm installs for the page's tests (tests/web/node_modules) are not ours.
list(FILTER sources EXCLUDE REGEX "/node_modules/")
if(FIX)
  execute_process(COMMAND ${CLANG_FORMAT} -i ${sources} WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "clang-format failed")
  endif()
  return()
endif()
list(LENGTH sources count)
if(count EQUAL 0)
  message(FATAL_ERROR "no sources found under ${SOURCE_DIR}")
endif()
execute_process(COMMAND ${CLANG_FORMAT} --dry-run --Werror ${sources}
                WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "clang-format would change the sources above; run scripts/format.sh")
endif()
message(STATUS "${count} sources laid out as .clang-format says")
