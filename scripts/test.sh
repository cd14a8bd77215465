#!/usr/bin/env bash
# Builds and runs every test: the native suite (with the layout check, tests/format, and the
# size and complexity check, tests/complexity), the
# Python package as a wheel in a fresh virtual environment (run_wheel), the
# same suite under AddressSanitizer and UndefinedBehaviorSanitizer, the Windows build under
# wine (the 32-bit DLL's where wine32 runs, see run_windows), the library as 32-bit x86
# Linux code under qemu-i386 with and without SSE2 (run_i686), the packages (built and
# checked by scripts/package.sh, reusing the native and Windows builds), and the fuzz
# targets for a bounded time each
# (RIZEROZ_FUZZ_SECONDS, default 45), and the viewer page (run_web): the library as
# WebAssembly, tested in headless Chromium, and the npm package made from it. Compiler
# warnings are errors in every build (RIZEROZ_WERROR=OFF in the environment makes them
# warnings again). A test that sets no
# time-out of its own has 120 s.
# Usage: scripts/test.sh [native|web|wheel|sanitize|windows|i686|package|fuzz]...   (default: all eight)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${RIZEROZ_BUILD_ROOT:-$root/build}
jobs=${RIZEROZ_JOBS:-$(nproc 2>/dev/null || echo 2)}
steps=("$@")
werror=(-DRIZEROZ_WERROR="${RIZEROZ_WERROR:-ON}")
[ ${#steps[@]} -gt 0 ] || steps=(native web wheel sanitize windows i686 package fuzz)
native_options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DRIZEROZ_FORMAT_CHECK=ON -DRIZEROZ_COMPLEXITY_CHECK=ON
                -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DRIZEROZ_BUILD_BENCH=ON)

if [ "$(id -u)" = 0 ]; then
  "$root/scripts/setup.sh"
fi

ctest_extra=()   # further ctest arguments for the next run_suite
run_suite() {  # name, then cmake arguments
  local name=$1; shift
  echo "=== $name build ==="
  cmake -S "$root" -B "$out/$name" "${werror[@]}" "$@" &&
    cmake --build "$out/$name" -j "$jobs" &&
    echo "=== $name tests ===" &&
    ctest --test-dir "$out/$name" --output-on-failure --timeout 120 -j "$jobs" "${ctest_extra[@]}"
}

# The fuzz targets: built with clang, AddressSanitizer and UndefinedBehaviorSanitizer, each
# run for a bounded time from the seed corpus in fuzz/corpus. Any crash, leak, sanitizer
# report, broken property, time-out or memory blow-up fails the step; the input that
# caused it is kept under $out/fuzz/artifacts. Without clang and libFuzzer the step
# fails, naming what is missing (scripts/setup.sh installs them).
run_fuzz() {
  local seconds=${RIZEROZ_FUZZ_SECONDS:-45}
  local dir="$out/fuzz"
  local probe
  probe=$(mktemp -d)
  printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' >"$probe/probe.cpp"
  if ! command -v clang++ >/dev/null 2>&1; then
    echo "fuzz: cannot run: clang++ is not installed (Debian packages clang and libclang-rt-dev)" >&2
    rm -rf "$probe"; return 1
  fi
  if ! clang++ -fsanitize=fuzzer,address,undefined "$probe/probe.cpp" -o "$probe/probe" >/dev/null 2>&1; then
    echo "fuzz: cannot run: clang++ cannot link libFuzzer with the sanitizers (Debian package libclang-rt-dev)" >&2
    rm -rf "$probe"; return 1
  fi
  rm -rf "$probe"

  echo "=== fuzz build ==="
  cmake -S "$root" -B "$dir" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo "${werror[@]}" \
    -DRIZEROZ_BUILD_FUZZ=ON -DRIZEROZ_BUILD_TESTS=OFF -DRIZEROZ_BUILD_TOOLS=OFF
  cmake --build "$dir" -j "$jobs" --target rizeroz_fuzz_targets
  mkdir -p "$dir/artifacts"
  local failed=()
  local target
  for target in read rows expression json; do
    local binary="$dir/bin/fuzz_$target"
    if [ ! -x "$binary" ]; then
      echo "=== fuzz $target: not built (see the configure output), skipped ==="
      continue
    fi
    local dict=()
    case "$target" in
      read) dict=(-dict="$root/fuzz/read.dict") ;;
      rows|expression) dict=(-dict="$root/fuzz/expression.dict") ;;
    esac
    mkdir -p "$dir/corpus-$target" "$dir/tmp"
    echo "=== fuzz $target: ${seconds}s ==="
    if TMPDIR="$dir/tmp" ASAN_OPTIONS=detect_leaks=1 "$binary" "${dict[@]}" -max_total_time="$seconds" -timeout=25 \
         -rss_limit_mb=2560 -print_final_stats=1 -artifact_prefix="$dir/artifacts/$target-" \
         "$dir/corpus-$target" "$root/fuzz/corpus/$target" >"$dir/fuzz-$target.log" 2>&1; then
      grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)' \
        "$dir/fuzz-$target.log" || true
    else
      echo "fuzz $target FAILED; the end of its log ($dir/fuzz-$target.log):"
      tail -n 60 "$dir/fuzz-$target.log"
      failed+=("$target")
    fi
  done
  if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz targets with findings: ${failed[*]} (inputs in $dir/artifacts; docs/fuzzing.md)" >&2
    return 1
  fi
  echo "fuzz: every target ran clean"
}

# The Python package as pip users get it: pip builds the wheel from the sources
# (pyproject.toml, the project's own back end; its CMake build folder is kept for the next
# run), the wheel is checked, installed into a fresh virtual environment, and the
# package's tests run there against it. Debian's python3 makes the environment, with its
# own packages visible for pytest and numpy (no package index is reached); the rizeroz
# imported must be the wheel's.
run_wheel() {
  local dir=$out/wheel
  rm -rf "$dir/dist" "$dir/venv"
  /usr/bin/python3 -m venv --system-site-packages "$dir/venv"
  CMAKE_BUILD_PARALLEL_LEVEL=$jobs "$dir/venv/bin/python" -m pip wheel --quiet --no-deps "$root" -w "$dir/dist" \
    --config-settings build-dir="$dir/build"
  "$dir/venv/bin/python" "$root/tests/python/check_wheel.py" "$dir"/dist/rizeroz-*.whl "$root"
  "$dir/venv/bin/python" -m pip install --quiet --no-deps --no-index "$dir"/dist/rizeroz-*.whl
  (cd "$dir" && "$dir/venv/bin/python" -c \
    "import rizeroz, sys; assert rizeroz.__file__.startswith(sys.prefix), rizeroz.__file__; print(rizeroz.__file__)")
  (cd "$dir" && RIZEROZ_TOOL=$out/native/bin/rizeroz PYTHONDONTWRITEBYTECODE=1 \
    "$dir/venv/bin/python" -m pytest -q -p no:cacheprovider "$root/tests/python")
  # An editable install (pip install -e) in a second environment, on the same build of the
  # library: the package must come from the source tree and read the sample.
  rm -rf "$dir/editable"
  /usr/bin/python3 -m venv "$dir/editable"
  "$dir/editable/bin/python" -m pip install --quiet --no-deps --no-index -e "$root" \
    --config-settings build-dir="$dir/build"
  (cd "$dir" && PYTHONDONTWRITEBYTECODE=1 "$dir/editable/bin/python" -c "
import os, rizeroz, sys
assert os.path.samefile(rizeroz.__file__, sys.argv[1]), rizeroz.__file__
model = rizeroz.read(sys.argv[2])
assert len(model) == 2 and len(model[1][0]) == 2, model
print('editable:', rizeroz.__file__)" "$root/bindings/python/rizeroz/__init__.py" "$root/tests/data/sample.xml")
}

# The Windows builds. Every option is given each time, so that a build folder configured
# another way before (tests off, say) is not reused as it is.
windows_options=(-DCMAKE_BUILD_TYPE=Release -DRIZEROZ_BUILD_TESTS=ON -DRIZEROZ_BUILD_TOOLS=ON
                 -DRIZEROZ_BUILD_BENCH=OFF -DRIZEROZ_BUILD_FUZZ=OFF -DRIZEROZ_SANITIZE=OFF -DRIZEROZ_TEST_SUITES=)

# wine runs 32-bit programs when wine32 is installed and the kernel runs its i386 loader
# (some virtual machines' kernels run no 32-bit program).
wine32_runs() {
  dpkg -s wine32:i386 >/dev/null 2>&1 && /lib/ld-linux.so.2 --version >/dev/null 2>&1
}

windows_suite() {  # i686 or x86_64, then cmake arguments: that build's suite under wine, in a prefix of its own
  local arch=$1 status=0
  shift
  export RIZEROZ_WINEPREFIX="$out/wineprefix-$arch"
  # `wine` starts the 32-bit loader whenever wine32 is installed, even where it cannot run;
  # the 64-bit build is run by the 64-bit loader itself.
  export RIZEROZ_WINE=wine
  [ "$arch" = x86_64 ] && [ -x /usr/lib/wine/wine64 ] && RIZEROZ_WINE=/usr/lib/wine/wine64
  if [ ! -d "$RIZEROZ_WINEPREFIX" ]; then
    WINEPREFIX="$RIZEROZ_WINEPREFIX" timeout 900 "$root/scripts/wine-run.sh" wineboot -i >/dev/null 2>&1 || true
  fi
  # Under wine64 a program now and then ended at once with exit code 1 and no output while
  # the tests started and ended many programs; the server is kept running for the whole
  # suite (stopped below), so that no program meets it shutting down. (The 32-bit prefix
  # needs the server wine32 starts itself.)
  # Even so, now and then a program under wine hangs once its work is done while another
  # wine program runs beside it (wine64), or ends at once with exit code 1 and no output
  # (wine32 and wine64); run again, the same program passes. Under wine a test that fails
  # runs once more, and must pass then: a fault of ours fails both runs, and ctest's output
  # shows the first.
  ctest_extra=(--repeat until-pass:2)
  if [ "$arch" = x86_64 ]; then
    WINEPREFIX="$RIZEROZ_WINEPREFIX" wineserver -p >/dev/null 2>&1 || true
  fi
  run_suite "windows-$arch" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw-w64-$arch.cmake" \
    "${windows_options[@]}" "$@" || status=$?
  ctest_extra=()
  # wine leaves its server running; stop it so nothing outlives the test run.
  WINEPREFIX="$RIZEROZ_WINEPREFIX" wineserver -k >/dev/null 2>&1 || true
  return "$status"
}

# The 32-bit DLL, the product's target, runs its whole suite under wine32 where wine32 runs,
# and the 64-bit build rizeroz.hpp's and the tool's tests under wine64 after it
# (RIZEROZ_WINDOWS_64=1: its whole suite). Where wine32 does not
# run, the 32-bit DLL is built with the tests of rizeroz.hpp and its exports checked, and
# the 64-bit build's suite runs.
run_windows() {
  if wine32_runs; then
    echo "=== windows: the 32-bit DLL's suite under wine32 ==="
    windows_suite i686 || return
    # The 64-bit build: rizeroz.hpp's tests, the tool's (file names in several scripts
    # among them), and the text kernels and the reader at every vector level (its AVX2 code
    # is assembled apart for Windows) under wine64; RIZEROZ_WINDOWS_64=1 runs its whole suite.
    local suites="wrapper_test;kernel_test;reader_test"
    [ "${RIZEROZ_WINDOWS_64:-0}" = 1 ] && suites=
    windows_suite x86_64 -DRIZEROZ_TEST_SUITES="$suites"
    return
  else
    echo "=== windows: wine32 does not run here: the 32-bit DLL's exports are checked, its program of rizeroz.hpp is built, and its code runs under qemu-i386 (the i686 step); the 64-bit build's suite runs under wine64 ==="
    cmake -S "$root" -B "$out/windows-i686" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw-w64-i686.cmake" \
      "${windows_options[@]}" "${werror[@]}" -DRIZEROZ_BUILD_TOOLS=OFF -DRIZEROZ_TEST_SUITES=wrapper_test
    cmake --build "$out/windows-i686" -j "$jobs"
    ctest --test-dir "$out/windows-i686" --output-on-failure --timeout 120 -L exports
  fi
  windows_suite x86_64
}

# The library as 32-bit x86 Linux code (-m32), its chosen suites run under qemu-i386 user
# emulation twice: on a processor model with SSE2 (Core Duo) and on one without (Pentium
# III), so that both sides of the run-time processor check run; the fuzz replays fail
# unless the side they report is the one expected (RIZEROZ_EXPECT_SSE2). The suites are
# those of the 32-bit paths (docs/windows.md); GoogleTest is built from Debian's sources.
i686_suites="arena_test;kernel_test;utility_test;expression_test;datamodel_test;reader_test;xmlparser_test;fault_test;memory_test;json_test"
run_i686() {
  echo "=== i686 build ==="
  cmake -S "$root" -B "$out/i686" "${werror[@]}" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/linux-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DRIZEROZ_BUILD_TESTS=ON -DRIZEROZ_BUILD_TOOLS=OFF -DRIZEROZ_BUILD_BENCH=OFF \
    -DRIZEROZ_BUILD_FUZZ=OFF -DRIZEROZ_SANITIZE=OFF -DRIZEROZ_TEST_SUITES="$i686_suites" &&
    cmake --build "$out/i686" -j "$jobs" || return
  local cpu expect
  for cpu in coreduo:1 pentium3:0; do
    expect=${cpu#*:} cpu=${cpu%:*}
    echo "=== i686 tests under qemu-i386 -cpu $cpu (SSE2: $expect) ==="
    RIZEROZ_QEMU_CPU=$cpu RIZEROZ_EXPECT_SSE2=$expect \
      ctest --test-dir "$out/i686" --output-on-failure --timeout 120 -j "$jobs" || return
  done
}

# The viewer page (docs/web.md): scripts/web.sh builds the WebAssembly module and the page
# ($out/web/site), and tests/web/viewer.test.mjs opens files in it with Debian's chromium,
# headless, driven by puppeteer-core as tests/web's lock file pins it (npm ci), holding what
# it shows to the native rizeroz's output (built here when the native step has not run).
# Screenshots of every case land in $out/web/screenshots. Then the npm package
# (docs/javascript.md): scripts/package.sh npm packs it from the same build, and
# tests/npm/npm.test.mjs installs it into an empty project and holds it to the same
# native rizeroz, with tsc from tests/npm's lock file (npm ci); some 25 s more.
run_web() {
  "$root/scripts/web.sh" || return
  if [ ! -f "$out/native/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$out/native" "${werror[@]}" "${native_options[@]}" >/dev/null || return
  fi
  cmake --build "$out/native" -j "$jobs" --target rizeroz-cli >/dev/null || return
  (cd "$root/tests/web" && npm ci --no-audit --no-fund --loglevel=error) || return
  rm -rf "$out/web/screenshots"
  (cd "$root/tests/web" && RIZEROZ_SITE="$out/web/site" RIZEROZ_TOOL="$out/native/bin/rizeroz" \
    RIZEROZ_SHOTS="$out/web/screenshots" node --test viewer.test.mjs) || return
  "$root/scripts/package.sh" npm || return
  (cd "$root/tests/npm" && npm ci --no-audit --no-fund --loglevel=error) || return
  (cd "$root/tests/npm" && RIZEROZ_PACKAGE="$(ls "$out"/packages/rizeroz-[0-9]*.tgz)" \
    RIZEROZ_TOOL="$out/native/bin/rizeroz" node --test npm.test.mjs)
}

timings=()
for step in "${steps[@]}"; do
  started=$SECONDS
  case "$step" in
    native)
      run_suite native "${native_options[@]}" ;;
    web)
      run_web ;;
    wheel)
      run_wheel ;;
    sanitize)
      ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        run_suite sanitize -DCMAKE_BUILD_TYPE=Debug -DRIZEROZ_SANITIZE=ON ;;
    windows)
      run_windows ;;
    i686)
      run_i686 ;;
    package)
      "$root/scripts/package.sh" deb zip web ;;
    fuzz)
      run_fuzz ;;
    *)
      echo "unknown step: $step" >&2; exit 2 ;;
  esac
  timings+=("$step $((SECONDS - started)) s")
  echo "=== $step: passed in $((SECONDS - started)) s ==="
done
echo "All requested test runs passed: $(IFS=,; echo "${timings[*]}" | sed 's/,/, /g')"
