# The fuzz targets' seed corpora, replayed under CTest in every build with a plain driver
# (ReplayMain.cpp) instead of libFuzzer: any compiler, the sanitizer build, and Windows
# under wine. Each target is linked with the library's objects themselves, since it also
# calls internal functions, and sees the public headers and the library's internal headers
# (platform/internal/: the driver asks UtVectors.h which paths the processor takes, the row
# target checks UtFastText.h's vector paths) and nothing else of the library. `scripts/test.sh fuzz` still runs the fuzzers proper.
set(RIZEROZ_REPLAY_OBJECTS
  $<TARGET_OBJECTS:rizeroz_utility>
  $<TARGET_OBJECTS:rizeroz_datamodel>
  $<TARGET_OBJECTS:rizeroz_json>
  $<TARGET_OBJECTS:rizeroz_xmlparser>
  $<TARGET_OBJECTS:rizeroz_expression>
  $<TARGET_OBJECTS:rizeroz_handler>)
foreach(target read rows expression json)
  set(name fuzz_${target}_replay)
  add_executable(${name} ${PROJECT_SOURCE_DIR}/fuzz/fuzz_${target}.cpp ${PROJECT_SOURCE_DIR}/fuzz/ReplayMain.cpp
    ${RIZEROZ_REPLAY_OBJECTS})
  if(target STREQUAL "rows")   # its check of the library's vector paths (FastTextCheck.h)
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/fuzz/FastTextCheck.cpp)
  endif()
  target_compile_definitions(${name} PRIVATE RIZEROZ_STATIC)
  target_link_libraries(${name} PRIVATE rizeroz_public_headers rizeroz_internal rizeroz_warnings)
  file(GLOB inputs CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/fuzz/corpus/${target}/*)
  add_test(NAME ${name} COMMAND ${name} ${inputs})
  set_tests_properties(${name} PROPERTIES LABELS fuzz TIMEOUT 120)
endforeach()
