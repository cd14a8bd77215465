#!/usr/bin/env bash
# Installs what building and testing needs on a fresh Debian machine (run as root).
# A failing package index (a mirror in sync, say) does not stop the set-up.
set -uo pipefail
export DEBIAN_FRONTEND=noninteractive
# Wait for a package manager that another process is running instead of failing at once.
apt_get() { apt-get -o DPkg::Lock::Timeout=900 "$@"; }

need_core=(g++ cmake make libgtest-dev libbenchmark-dev googletest pkg-config libxml2-utils python3)
need_windows=(mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine wine64)
need_tool=(libcli11-dev nlohmann-json3-dev)
# The Python package's tests run under Debian's interpreter, with its pytest and numpy.
need_python=(python3-pytest python3-numpy)
# Building and checking the Debian packages (scripts/test.sh package).
need_package=(dpkg-dev file lintian man-db)

missing=()
for p in "${need_core[@]}" "${need_windows[@]}" "${need_tool[@]}" "${need_python[@]}" "${need_package[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  apt_get update || echo "setup: apt-get update reported a failure; going on with the indexes it has"
  apt_get install -y --no-install-recommends "${missing[@]}" || exit 1
fi

# The fuzz step needs clang with libFuzzer. It is optional: when it cannot be installed,
# `scripts/test.sh fuzz` says so and skips the step.
need_fuzz=(clang libclang-rt-14-dev)
# `scripts/setup.sh bench` also installs what the benchmarks compare against and the
# profilers docs/performance.md uses.
need_bench=(libpugixml-dev libexpat1-dev libxml2-dev valgrind)
optional=("${need_fuzz[@]}")
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

# 32-bit Windows programs need wine32 (an i386 package). It is tried once; when it cannot
# be installed, the Windows tests run the 64-bit build under wine64 instead.
if ! dpkg -s wine32:i386 >/dev/null 2>&1 && [ ! -f /var/lib/rizeroz-wine32-tried ]; then
  mkdir -p /var/lib
  touch /var/lib/rizeroz-wine32-tried
  if dpkg --add-architecture i386 && { apt_get update || true; } &&
     apt_get install -y --no-install-recommends wine32:i386; then
    echo "setup: wine32 installed"
  else
    echo "setup: wine32 cannot be installed here; Windows tests use the 64-bit build"
  fi
fi
exit 0
