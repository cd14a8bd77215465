#!/usr/bin/env bash
# Builds the library and its command-line tool, and shows the tool at work on the bundled
# sample: what the file holds, a conversion to JSON and back to a data file (with rows as
# expressions), and a check of the file written.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${RIZEROZ_BUILD_ROOT:-$root/build}/demo
[ "$(id -u)" != 0 ] || "$root/scripts/setup.sh" demo   # only what the demo needs
cmake -S "$root" -B "$out" -DCMAKE_BUILD_TYPE=Release -DRIZEROZ_BUILD_TESTS=OFF >/dev/null
cmake --build "$out" -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
tool=$out/bin/rizeroz
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$root/tests/data/sample.xml" "$work/"
cd "$work"

step() {
  echo
  echo "\$ rizeroz $*"
  "$tool" "$@"
}
show() {
  echo "--- $1 ---"
  cat "$1"
}

step info sample.xml
step convert sample.xml sample.json
show sample.json
step convert sample.json copy.xml --expressions
show copy.xml
step check copy.xml
echo
echo "The tool works: see docs/cli.md for every command, and '$tool --help'."
