# Script: builds and runs tests/consumer against an installed library. Either BUILD_DIR
# (installed here into WORK_DIR/prefix) or PREFIX (a tree installed already, such as the
# Debian packages unpacked) names the library; SOURCE_DIR is tests/consumer.
# The consumer is found with find_package, with and without versions, and with pkg-config;
# with PYTHON, the Python package in PREFIX/PYTHON_SITEDIR reads the consumer's file.
if(NOT PREFIX)
  set(PREFIX ${WORK_DIR}/prefix)
endif()
file(REMOVE_RECURSE ${WORK_DIR})
if(NOT GENERATOR)
  set(GENERATOR "Unix Makefiles")
endif()

include(${CMAKE_CURRENT_LIST_DIR}/RizErozRun.cmake)

# With SUBPROJECT (the library's source tree), the consumer builds it as a subproject:
# the library builds and works, and nothing else of it comes along: no packages, no
# install rules, no tests, the consumer's build type left alone.
if(SUBPROJECT)
  run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/build -G ${GENERATOR} -DRIZEROZ_SOURCE=${SUBPROJECT})
  run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
  run(${WORK_DIR}/build/consumer ${WORK_DIR})
  run(${CMAKE_COMMAND} --install ${WORK_DIR}/build --prefix ${WORK_DIR}/installed)
  file(GLOB_RECURSE installed ${WORK_DIR}/installed/*)
  file(STRINGS ${WORK_DIR}/build/CMakeCache.txt type REGEX "^CMAKE_BUILD_TYPE:")
  execute_process(COMMAND ${CMAKE_CTEST_COMMAND} -N WORKING_DIRECTORY ${WORK_DIR}/build OUTPUT_VARIABLE tests)
  if(EXISTS ${WORK_DIR}/build/CPackConfig.cmake OR installed OR NOT type MATCHES "=$"
     OR NOT tests MATCHES "Total Tests: 0")
    message(FATAL_ERROR "the subproject brought more than its library: packages "
                        "${WORK_DIR}/build/CPackConfig.cmake, installed files [${installed}], the build type "
                        "[${type}], tests [${tests}]")
  endif()
  return()
endif()

if(BUILD_DIR)
  run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX})
endif()

# Headers live in include/rizeroz/ only: nothing of ours at the top of include/.
file(GLOB top RELATIVE ${PREFIX}/include ${PREFIX}/include/*)
if(NOT top STREQUAL "rizeroz")
  message(FATAL_ERROR "${PREFIX}/include should hold only the folder rizeroz, not: ${top}")
endif()

run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/build -G ${GENERATOR} -DCMAKE_PREFIX_PATH=${PREFIX}
    -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run(${WORK_DIR}/build/consumer ${WORK_DIR})

find_program(PKG_CONFIG pkg-config)
find_program(CXX NAMES c++ g++)
if(PKG_CONFIG AND CXX)
  file(GLOB pc_dirs ${PREFIX}/lib*/pkgconfig ${PREFIX}/lib/*/pkgconfig)
  string(REPLACE ";" ":" pc_path "${pc_dirs}")
  set(ENV{PKG_CONFIG_PATH} "${pc_path}")
  foreach(query --cflags --libs --modversion)
    execute_process(COMMAND ${PKG_CONFIG} ${query} rizeroz OUTPUT_VARIABLE pc${query}
                    RESULT_VARIABLE failed OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(failed)
      message(FATAL_ERROR "pkg-config does not know rizeroz (PKG_CONFIG_PATH=${pc_path})")
    endif()
  endforeach()
  separate_arguments(flags UNIX_COMMAND "${pc--cflags} ${pc--libs}")
  string(REGEX REPLACE ".*-L([^ ]+).*" "\\1" libdir "${pc--libs}")
  run(${CXX} -std=c++11 -DRIZEROZ_FOUND_VERSION="${pc--modversion}" ${SOURCE_DIR}/main.cpp ${flags}
      -Wl,-rpath,${libdir} -o ${WORK_DIR}/consumer-pc)
  run(${WORK_DIR}/consumer-pc ${WORK_DIR})
endif()

if(PYTHON)
  # The Python package, installed into PYTHON_SITEDIR under the prefix, reads the file
  # with the library installed with it: both must come from the prefix.
  set(ENV{PYTHONPATH} ${PREFIX}/${PYTHON_SITEDIR})
  set(ENV{RIZEROZ_LIBRARY} "")
  run(${PYTHON} -c "import rizeroz, sys; model = rizeroz.read(sys.argv[1]); \
used = [rizeroz.__file__, rizeroz._native._lib._name]; \
assert all(p.startswith(sys.argv[2]) for p in used) and model.fields[0].blocks[0].rows == [b'\\x12\\x34'], used"
      ${WORK_DIR}/consumer.xml ${PREFIX})
endif()
