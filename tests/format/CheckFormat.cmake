# cmake -DCLANG_FORMAT=... -DSOURCE_DIR=... -P CheckFormat.cmake
# Every C and C++ source of the repository, laid out as .clang-format says, or a failure
# that names each place clang-format would change.
set(sources)
foreach(folder interfaces platform rodazivuziradovizozari bindings tools examples tests bench fuzz)
  file(GLOB_RECURSE found ${SOURCE_DIR}/${folder}/*.cpp ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.c)
  list(APPEND sources ${found})
endforeach()
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
