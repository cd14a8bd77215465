#!/usr/bin/env bash
# Builds the viewer page (docs/web.md): the library, its C interface and the tool's
# comparison and pictures as a WebAssembly module, with Debian's emscripten, and the page
# beside it in $RIZEROZ_BUILD_ROOT/web/site (default build/web/site): open its index.html
# in a browser, from disk or from any static server. Prints the sizes of the module and
# its loader.
# Usage: scripts/web.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${RIZEROZ_BUILD_ROOT:-$root/build}/web
jobs=${RIZEROZ_JOBS:-$(nproc 2>/dev/null || echo 2)}
# A node that is not Debian's still lets emcc find the JavaScript helpers Debian installs.
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}
if ! command -v emcmake >/dev/null 2>&1; then
  echo "web: emcmake is missing: install the Debian package emscripten (scripts/setup.sh does)" >&2
  exit 1
fi
mkdir -p "$out"
# emcmake names the command it runs: its output is shown only when configuring fails.
emcmake cmake -S "$root" -B "$out" -DCMAKE_BUILD_TYPE=Release -DRIZEROZ_BUILD_WEB=ON -DRIZEROZ_BUILD_TESTS=OFF \
  -DRIZEROZ_BUILD_TOOLS=OFF -DRIZEROZ_INSTALL=OFF -DRIZEROZ_WERROR="${RIZEROZ_WERROR:-ON}" >"$out/configure.log" 2>&1 ||
  { cat "$out/configure.log" >&2; exit 1; }
cmake --build "$out" -j "$jobs" --target rizeroz-web-site
for file in "$out/rizeroz-web.wasm" "$out/rizeroz-web.js" "$out/site/rizeroz-worker.js"; do
  printf '%-28s %9d bytes\n' "$(basename "$file")" "$(stat -c %s "$file")"
done
echo "The page: $out/site/index.html"
