#!/usr/bin/env bash
# Builds the library and runs it on the bundled sample: read it, print it, write it back
# with expressions, and read the written copy again.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${RIZEROZ_BUILD_ROOT:-$root/build}/demo
[ "$(id -u)" != 0 ] || "$root/scripts/setup.sh"
cmake -S "$root" -B "$out" -DCMAKE_BUILD_TYPE=Release -DRIZEROZ_BUILD_TESTS=OFF >/dev/null
cmake --build "$out" -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
work=$(mktemp -d)
cp "$root/tests/data/sample.xml" "$work/"
"$out/bin/rizeroz-example" "$work" sample.xml copy.xml
"$out/bin/rizeroz-example" "$work" copy.xml
echo "--- copy.xml as written ---"
cat "$work/copy.xml"
rm -rf "$work"
