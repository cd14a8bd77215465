#!/usr/bin/env bash
# Installs what building and testing needs on a fresh Debian machine (run as root).
# A failing package index (a mirror in sync, say) does not stop the set-up.
set -uo pipefail
export DEBIAN_FRONTEND=noninteractive
# Wait for a package manager that another process is running instead of failing at once.
apt_get() { apt-get -o DPkg::Lock::Timeout=900 "$@"; }

need_core=(g++ cmake make libgtest-dev libbenchmark-dev googletest pkg-config libxml2-utils python3)
# The format check (the ctest `format`): every source as .clang-format lays it out.
need_format=(clang-format)
need_windows=(mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine wine64)
need_tool=(libcli11-dev rapidjson-dev libpng-dev libxml2-dev)
# The Python package's tests run under Debian's interpreter, with its pytest and numpy.
need_python=(python3-pytest python3-numpy)
# Building and checking the Debian packages (scripts/test.sh package).
need_package=(dpkg-dev file lintian man-db)
# The fuzz step (scripts/test.sh fuzz): clang with libFuzzer and the sanitizers' run-time
# libraries of Debian's clang version.
need_fuzz=(clang libclang-rt-dev)

missing=()
for p in "${need_core[@]}" "${need_windows[@]}" "${need_tool[@]}" "${need_python[@]}" "${need_package[@]}" \
         "${need_format[@]}" "${need_fuzz[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  apt_get update || echo "setup: apt-get update reported a failure; going on with the indexes it has"
  apt_get install -y --no-install-recommends "${missing[@]}" || exit 1
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

# 32-bit Windows programs need wine32, an i386 package. scripts/install-wine32.py installs
# it even where the versions of the i386 and amd64 package indexes differ, and not at all
# where the kernel runs no 32-bit program; it says in one line what it did, and where it
# cannot install wine32 it leaves dpkg as it found it (no i386 architecture added, no
# i386 package left). Without wine32, the Windows tests use the 64-bit build and say so.
rm -f /var/lib/rizeroz-wine32-tried  # left by set-ups that tried only once per machine
wine32="$(dirname "$0")/install-wine32.py"
if /usr/bin/python3 "$wine32" --kernel-check; then
  dpkg -s python3-apt >/dev/null 2>&1 || apt_get install -y --no-install-recommends python3-apt ||
    echo "setup: could not install python3-apt, which installs wine32"
  /usr/bin/python3 "$wine32" || true
fi
exit 0
