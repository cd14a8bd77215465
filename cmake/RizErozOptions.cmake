# Compile settings shared by every target of the library: warnings, symbol visibility,
# the export macro's build side, and the sanitizers when asked for.
# No include folders: each part of the library declares what it sees (rizeroz_component).
add_library(rizeroz_options INTERFACE)
target_compile_definitions(rizeroz_options INTERFACE RIZEROZ_BUILDING)

# The declarations of the collaborating libraries, interfaces/ (all of them public and
# installed): besides its own folder, what a platform library sees.
add_library(rizeroz_interfaces INTERFACE)
target_include_directories(rizeroz_interfaces INTERFACE ${PROJECT_SOURCE_DIR}/interfaces)

# The headers the library's parts share with one another and never install,
# platform/internal/ (vector paths, the rows' arena, wide paths, XML name classes): seen
# by the parts through the utility library, and outside the library only by the few tests
# that check those pieces themselves (arena_test, the fuzz targets of the row reader).
add_library(rizeroz_internal INTERFACE)
target_include_directories(rizeroz_internal INTERFACE ${PROJECT_SOURCE_DIR}/platform/internal)

# Every target of the project takes these warnings; RIZEROZ_WERROR makes them errors.
add_library(rizeroz_warnings INTERFACE)
target_compile_options(rizeroz_warnings INTERFACE -Wall -Wextra $<$<BOOL:${RIZEROZ_WERROR}>:-Werror>)
target_link_libraries(rizeroz_options INTERFACE rizeroz_warnings)

# The library's own calls to the functions it exports go straight to them, and can be
# inlined, instead of through the dynamic linker's table (no program replaces them). ELF
# shared libraries only: a DLL and WebAssembly have no such table to skip.
if(NOT EMSCRIPTEN AND NOT WIN32)
  target_compile_options(rizeroz_options INTERFACE $<$<CXX_COMPILER_ID:GNU,Clang>:-fno-semantic-interposition>)
endif()

set(CMAKE_CXX_VISIBILITY_PRESET hidden)
set(CMAKE_VISIBILITY_INLINES_HIDDEN ON)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

if(RIZEROZ_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

if(EMSCRIPTEN)
  # The library turns exhausted memory into result codes with try and catch: WebAssembly's
  # own exceptions (the viewer page's module, web/; browsers of 2022 on run them).
  # Its vector instructions (SSE2 and SSSE3 code becomes 128-bit WebAssembly vector code)
  # and bulk memory (memcpy and memset as single instructions).
  add_compile_options(-fwasm-exceptions -msimd128 -msse2 -mbulk-memory)
  add_link_options(-fwasm-exceptions -mbulk-memory)
endif()

if(MINGW)
  # A self-contained DLL and executables: no MinGW runtime DLLs to ship beside them.
  add_link_options(-static-libgcc -static-libstdc++ -static)
endif()

# One part of the library: an object library whose objects go into the shared library.
#   rizeroz_component(NAME SOURCES... DEPENDS TARGETS...)
# It sees its own folder and what the targets it depends on give (no folder is on every
# part's include path), so the build fails when a part includes a header of a library it
# does not declare, or of one above it: the layers of docs/design.md.
function(rizeroz_component name)
  cmake_parse_arguments(PARSE_ARGV 1 component "" "" "DEPENDS")
  add_library(${name} OBJECT ${component_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE rizeroz_options PUBLIC ${component_DEPENDS})
endfunction()

# A header-only library of the build machine (a Debian -dev package) as an interface target:
#   rizeroz_build_headers(TARGET FOLDER HEADER MESSAGE)
# finds FOLDER/HEADER under /usr/include, for the cross builds too, and makes FOLDER visible
# through a folder of the build tree that holds nothing else, so that a cross build never
# sees the host's other system headers. Without it, configuring fails with MESSAGE.
function(rizeroz_build_headers target folder header message)
  find_path(RIZEROZ_${target}_DIR ${folder}/${header} PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH
    DOC "Folder holding ${folder}/${header}")
  if(NOT RIZEROZ_${target}_DIR)
    message(FATAL_ERROR "${message}")
  endif()
  set(seen ${PROJECT_BINARY_DIR}/${target}-include)
  if(NOT EXISTS ${seen}/${folder})
    file(MAKE_DIRECTORY ${seen})
    file(CREATE_LINK ${RIZEROZ_${target}_DIR}/${folder} ${seen}/${folder} COPY_ON_ERROR SYMBOLIC)
  endif()
  add_library(${target} INTERFACE)
  target_include_directories(${target} SYSTEM INTERFACE ${seen})
endfunction()

# The vector levels of the text kernels (platform/utility, UtSimd.h) added to TARGET: each
# file compiled for its own instructions, nothing else of the library with them, and
# RIZEROZ_KERNELS_<LEVEL> telling the table that the level is there. x86 gets SSE2 (in a
# 32-bit build realigning the stack: Microsoft's compiler calls with 4-byte alignment);
# 64-bit x86 SSSE3 and AVX2 too (on Windows every vector move unaligned: the compiler does
# not align the stack to 32 bytes there); WebAssembly gets SSE2 and SSSE3 as its 128-bit
# vector instructions; 32-bit x86 stays at SSE2.
#   rizeroz_simd_kernels(TARGET)
function(rizeroz_simd_kernels target)
  set(folder ${PROJECT_SOURCE_DIR}/platform/utility)
  set(x86_64 OFF)
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$" AND CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(x86_64 ON)
  endif()
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64|i[3-6]86|x86)$" OR EMSCRIPTEN)
    target_sources(${target} PRIVATE ${folder}/UtKernelsSse2.cpp)
    if(NOT x86_64 AND NOT EMSCRIPTEN)
      set_source_files_properties(${folder}/UtKernelsSse2.cpp PROPERTIES COMPILE_OPTIONS "-msse2;-mstackrealign")
    endif()
    target_compile_definitions(${target} PRIVATE RIZEROZ_KERNELS_SSE2)
  endif()
  if(x86_64 OR EMSCRIPTEN)
    target_sources(${target} PRIVATE ${folder}/UtKernelsSsse3.cpp)
    set_source_files_properties(${folder}/UtKernelsSsse3.cpp PROPERTIES COMPILE_OPTIONS -mssse3)
    target_compile_definitions(${target} PRIVATE RIZEROZ_KERNELS_SSSE3)
  endif()
  if(x86_64 AND NOT EMSCRIPTEN)
    set(wide -mavx2 -mbmi -mbmi2 -mpopcnt)
    if(MINGW)
      list(APPEND wide -Wa,-muse-unaligned-vector-move)
    endif()
    target_sources(${target} PRIVATE ${folder}/UtKernelsAvx2.cpp)
    set_source_files_properties(${folder}/UtKernelsAvx2.cpp PROPERTIES COMPILE_OPTIONS "${wide}")
    target_compile_definitions(${target} PRIVATE RIZEROZ_KERNELS_AVX2)
  endif()
endfunction()
