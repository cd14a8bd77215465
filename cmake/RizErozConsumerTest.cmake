# A real client of the installed package: install into a scratch prefix, then configure,
# build and run a small program that finds the library with find_package and, where
# pkg-config is there, with rizeroz.pc as well; then the installed Python package.
# Native, unsanitized builds only.
if(NOT CMAKE_CROSSCOMPILING AND NOT RIZEROZ_SANITIZE)
  add_test(NAME install_consumer
    COMMAND ${CMAKE_COMMAND}
      -DBUILD_DIR=${CMAKE_BINARY_DIR}
      -DSOURCE_DIR=${PROJECT_SOURCE_DIR}/tests/consumer
      -DWORK_DIR=${CMAKE_BINARY_DIR}/consumer-check
      -DGENERATOR=${CMAKE_GENERATOR}
      -DPYTHON=${RIZEROZ_PYTHON_EXECUTABLE}
      -DPYTHON_SITEDIR=${RIZEROZ_PYTHON_INSTALL_DIR}
      -P ${PROJECT_SOURCE_DIR}/cmake/RunConsumerTest.cmake)
  set_tests_properties(install_consumer PROPERTIES LABELS install TIMEOUT 120)
  # The source tree as another project's subproject (add_subdirectory, FetchContent).
  add_test(NAME subproject_consumer
    COMMAND ${CMAKE_COMMAND}
      -DSUBPROJECT=${PROJECT_SOURCE_DIR}
      -DSOURCE_DIR=${PROJECT_SOURCE_DIR}/tests/consumer
      -DWORK_DIR=${CMAKE_BINARY_DIR}/subproject-check
      -DGENERATOR=${CMAKE_GENERATOR}
      -P ${PROJECT_SOURCE_DIR}/cmake/RunConsumerTest.cmake)
  set_tests_properties(subproject_consumer PROPERTIES LABELS install TIMEOUT 300)
endif()
