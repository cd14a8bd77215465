#!/usr/bin/env bash
# Times the viewer page opening a generated file in headless Chromium against the native
# `rizeroz info` of it (bench/web_bench.mjs; docs/performance.md, "The viewer page"). Builds
# the page (scripts/web.sh), a Release build of the tool and the generator, and the file.
# Usage: bench/web_bench.sh [MB] [ROUNDS]   (default: 64 MB of random 512-byte rows, 5 rounds)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${RIZEROZ_BUILD_ROOT:-$root/build}
size=${1:-64} rounds=${2:-5}
"$root/scripts/web.sh" >/dev/null
cmake -S "$root" -B "$out/web-bench" -DCMAKE_BUILD_TYPE=Release -DRIZEROZ_BUILD_BENCH=ON -DRIZEROZ_BUILD_TESTS=OFF \
  >/dev/null
cmake --build "$out/web-bench" -j "${RIZEROZ_JOBS:-2}" --target rizeroz-cli rizeroz-generate >/dev/null
(cd "$root/tests/web" && [ -d node_modules ] || npm ci --no-audit --no-fund --loglevel=error)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$out/web-bench/bin/rizeroz-generate" "$work/r$size.xml" --size "$size" --kind random --row-bytes 512
node "$root/bench/web_bench.mjs" --tool "$out/web-bench/bin/rizeroz" --site "$out/web/site" --file "$work/r$size.xml" \
  --rounds "$rounds"
