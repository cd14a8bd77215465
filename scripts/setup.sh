#!/usr/bin/env bash
# Installs what building and testing needs on a fresh Debian machine (run as root).
# A failing package index (a mirror in sync, say) does not stop the set-up.
# Usage: scripts/setup.sh [bench]   everything (and, with bench, the benchmarks' own)
#        scripts/setup.sh demo      only what scripts/demo.sh needs: the compiler, CMake and
#                                   the libraries of the library and its tool
set -uo pipefail
export DEBIAN_FRONTEND=noninteractive
# Wait for a package manager that another process is running instead of failing at once.
apt_get() { apt-get -o DPkg::Lock::Timeout=900 "$@"; }

# rapidjson-dev: the library reads and writes JSON with RapidJSON's headers (private, at build time).
need_core=(g++ cmake make libgtest-dev googletest pkg-config libxml2-utils python3 rapidjson-dev)
# The format check (the ctest `format`): every source as .clang-format lays it out; the
# size and complexity check (the ctest `complexity`): clang-tidy with .clang-tidy.
need_format=(clang-format clang-tidy)
# llvm: llvm-dlltool makes rizeroz.lib, the import library for Microsoft's linker, and
# llvm-readobj reads it back (the test dll_exports).
need_windows=(mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine wine64 llvm)
# The i686 step: 32-bit x86 Linux code (-m32) run under qemu-i386 user emulation.
need_i686=(gcc-multilib g++-multilib qemu-user)
need_tool=(libcli11-dev libstb-dev libxml2-dev)
# The Python package's tests run under Debian's interpreter, with its pytest and numpy;
# mypy checks its annotations; the wheel's tests run in a virtual environment (venv).
need_python=(python3-pytest python3-numpy python3-mypy python3-venv)
# Building and checking the Debian packages and the Windows zips (scripts/test.sh package);
# clang (for i686- and x86_64-pc-windows-msvc) and lld's lld-link build a program against
# each zip's rizeroz.lib as Microsoft's toolchain would.
need_package=(dpkg-dev file lintian man-db clang lld)
# The viewer page (scripts/test.sh web, scripts/web.sh): emscripten builds the library as
# WebAssembly, and the page's tests drive Debian's chromium headless (nodejs and npm below).
need_web=(emscripten chromium)
# The fuzz step (scripts/test.sh fuzz): clang with libFuzzer and the sanitizers' run-time
# libraries of Debian's clang version.
need_fuzz=(clang libclang-rt-dev)
# The demo (scripts/demo.sh) builds the library and the tool, without tests: the compiler,
# CMake, python3 (the Python package's place is asked of it) and the tool's libraries.
need_demo=(g++ cmake make python3 rapidjson-dev "${need_tool[@]}")

# Installs the packages given that are not installed yet; fails when apt-get cannot.
install_missing() {
  local missing=() p
  for p in "$@"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  apt_get update || echo "setup: apt-get update reported a failure; going on with the indexes it has"
  apt_get install -y --no-install-recommends "${missing[@]}"
}

if [ "${1:-}" = demo ]; then
  install_missing "${need_demo[@]}" || exit 1
  exit 0
fi
install_missing "${need_core[@]}" "${need_windows[@]}" "${need_i686[@]}" "${need_tool[@]}" "${need_python[@]}" \
  "${need_package[@]}" "${need_format[@]}" "${need_fuzz[@]}" "${need_web[@]}" || exit 1
# node and npm run the page's tests (npm ci from tests/web's lock file); a node of another
# source that brings its own npm is used as it is.
if ! command -v npm >/dev/null 2>&1; then
  apt_get install -y --no-install-recommends nodejs npm || exit 1
fi

# `scripts/setup.sh bench` also installs what the benchmarks compare against and the
# profilers docs/performance.md uses.
need_bench=(libpugixml-dev libexpat1-dev valgrind)
optional=()
for arg in "$@"; do
  [ "$arg" = bench ] && optional+=("${need_bench[@]}")
done
missing=()
for p in "${optional[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  { apt_get install -y --no-install-recommends "${missing[@]}" ||
    { apt_get update || true; apt_get install -y --no-install-recommends "${missing[@]}"; }; } ||
    echo "setup: could not install ${missing[*]}; the steps that need them are skipped"
fi

# 32-bit Windows programs need wine32, an i386 package, which runs only where the kernel
# runs 32-bit programs: the i386 loader that g++-multilib brings (libc6-i386) is asked to
# run. There wine32 is installed plainly and the Windows step runs the 32-bit DLL's suite;
# elsewhere the 32-bit DLL's exports are checked and its code runs under qemu-i386 (the
# i686 step).
if /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  if ! dpkg -s wine32:i386 >/dev/null 2>&1; then
    dpkg --add-architecture i386 && apt_get update || true
    apt_get install -y --no-install-recommends wine32:i386 || echo "setup: apt-get could not install wine32"
  fi
else
  echo "setup: this kernel runs no 32-bit program: the 32-bit DLL's exports are checked and its code runs under qemu-i386"
fi
exit 0
