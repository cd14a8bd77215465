# RapidJSON (Debian's rapidjson-dev), with which the handler reads and writes the JSON form of a
# model (rodazivuziradovizozari/JsonRead.cpp, JsonWrite.cpp): header-only, and the library's one
# build-time dependency beyond the C++ standard library. Private: no public header includes it
# (RizErozPublicHeaders.cmake refuses one that does), and nothing of it is installed. Its headers
# are found on the build machine, for the cross builds too (the mingw Windows builds, the 32-bit
# x86 one), and made visible through a folder of the build tree that holds nothing else, so that
# a cross build never sees the host's other system headers. The tool uses it for its reports.
rizeroz_build_headers(rizeroz_rapidjson rapidjson reader.h
  "The library reads and writes JSON with RapidJSON's headers (rapidjson/reader.h), which only its build needs: install the Debian package rapidjson-dev (scripts/setup.sh does).")
# RapidJSON 1.1's stack adds to its null pointer before its first allocation, which the
# undefined behaviour sanitizer would stop at: code that reads or writes JSON is built
# without that one check (rizeroz_no_pointer_overflow_check names the sources).
function(rizeroz_no_pointer_overflow_check)
  if(RIZEROZ_SANITIZE OR RIZEROZ_BUILD_FUZZ)
    set_source_files_properties(${ARGN} PROPERTIES COMPILE_OPTIONS -fno-sanitize=pointer-overflow)
  endif()
endfunction()
