# Compile settings shared by every target of the library: warnings, symbol visibility,
# the export macro's build side, and the sanitizers when asked for.
add_library(rizeroz_options INTERFACE)
target_compile_definitions(rizeroz_options INTERFACE RIZEROZ_BUILDING)
target_include_directories(rizeroz_options INTERFACE
  ${PROJECT_SOURCE_DIR}/interfaces
  ${PROJECT_SOURCE_DIR}/rodazivuziradovizozari)

# Every target of the project takes these warnings; RIZEROZ_WERROR makes them errors.
add_library(rizeroz_warnings INTERFACE)
target_compile_options(rizeroz_warnings INTERFACE -Wall -Wextra $<$<BOOL:${RIZEROZ_WERROR}>:-Werror>)
target_link_libraries(rizeroz_options INTERFACE rizeroz_warnings)

set(CMAKE_CXX_VISIBILITY_PRESET hidden)
set(CMAKE_VISIBILITY_INLINES_HIDDEN ON)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

if(RIZEROZ_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

if(MINGW)
  # A self-contained DLL and executables: no MinGW runtime DLLs to ship beside them.
  add_link_options(-static-libgcc -static-libstdc++ -static)
endif()

# One collaborating library: an object library whose objects go into the shared library.
function(rizeroz_component name)
  add_library(${name} OBJECT ${ARGN})
  target_link_libraries(${name} PRIVATE rizeroz_options)
endfunction()
