# Shared part of the mingw-w64 toolchains; RIZEROZ_MINGW_TRIPLE names the target.
# The posix thread model's compiler is preferred: GoogleTest needs std::mutex.
find_program(CMAKE_CXX_COMPILER NAMES ${RIZEROZ_MINGW_TRIPLE}-g++-posix ${RIZEROZ_MINGW_TRIPLE}-g++ REQUIRED)
find_program(CMAKE_C_COMPILER NAMES ${RIZEROZ_MINGW_TRIPLE}-gcc-posix ${RIZEROZ_MINGW_TRIPLE}-gcc REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${RIZEROZ_MINGW_TRIPLE}-windres)
find_program(CMAKE_OBJDUMP NAMES ${RIZEROZ_MINGW_TRIPLE}-objdump)
set(CMAKE_FIND_ROOT_PATH /usr/${RIZEROZ_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under wine, through a wrapper that keeps wine quiet and its prefix
# inside the build tree.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../../scripts/wine-run.sh)
