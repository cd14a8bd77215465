#!/usr/bin/env bash
# Builds and runs every test: the native suite, the same suite under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the Windows build under wine.
# Usage: scripts/test.sh [native|sanitize|windows]...   (default: all three)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${RIZEROZ_BUILD_ROOT:-$root/build}
jobs=${RIZEROZ_JOBS:-$(nproc 2>/dev/null || echo 2)}
steps=("$@")
[ ${#steps[@]} -gt 0 ] || steps=(native sanitize windows)

if [ "$(id -u)" = 0 ]; then
  "$root/scripts/setup.sh"
fi

run_suite() {  # name, then cmake arguments
  local name=$1; shift
  echo "=== $name build ==="
  cmake -S "$root" -B "$out/$name" "$@" &&
    cmake --build "$out/$name" -j "$jobs" &&
    echo "=== $name tests ===" &&
    ctest --test-dir "$out/$name" --output-on-failure -j "$jobs"
}

for step in "${steps[@]}"; do
  case "$step" in
    native)
      run_suite native -DCMAKE_BUILD_TYPE=RelWithDebInfo ;;
    sanitize)
      ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        run_suite sanitize -DCMAKE_BUILD_TYPE=Debug -DRIZEROZ_SANITIZE=ON ;;
    windows)
      # 32-bit Windows when wine can run it, else the 64-bit build under wine64.
      if dpkg -s wine32:i386 >/dev/null 2>&1; then
        arch=i686
      else
        arch=x86_64
      fi
      export RIZEROZ_WINEPREFIX="$out/wineprefix-$arch"
      if [ ! -d "$RIZEROZ_WINEPREFIX" ]; then
        WINEPREFIX="$RIZEROZ_WINEPREFIX" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
          timeout 600 wineboot -i >/dev/null 2>&1 || true
      fi
      # The 32-bit DLL is always built and its exports checked, even when it cannot run.
      if [ "$arch" != i686 ]; then
        echo "=== windows-i686 build (not runnable here: exports only) ==="
        cmake -S "$root" -B "$out/windows-i686" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw-w64-i686.cmake" \
          -DCMAKE_BUILD_TYPE=Release -DRIZEROZ_BUILD_TESTS=OFF -DRIZEROZ_BUILD_TOOLS=OFF
        cmake --build "$out/windows-i686" -j "$jobs"
        ctest --test-dir "$out/windows-i686" --output-on-failure -L exports
      fi
      status=0
      run_suite "windows-$arch" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw-w64-$arch.cmake" \
        -DCMAKE_BUILD_TYPE=Release || status=$?
      # wine leaves its server running; stop it so nothing outlives the test run.
      WINEPREFIX="$RIZEROZ_WINEPREFIX" wineserver -k >/dev/null 2>&1 || true
      [ "$status" = 0 ] || exit "$status" ;;
    *)
      echo "unknown step: $step" >&2; exit 2 ;;
  esac
done
echo "All requested test runs passed: ${steps[*]}"
