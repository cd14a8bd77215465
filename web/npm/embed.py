#!/usr/bin/env python3
"""Makes the npm package's rizeroz-wasm.js: the library's WebAssembly module as an ES
module that exports its bytes in base64 (WASM), so that the package needs neither a fetch
nor a file read to load it, and bundlers take it as any other script.

Usage: embed.py MODULE.wasm OUT.js
"""
import base64
import sys


def main(module, out):
    with open(module, "rb") as f:
        encoded = base64.b64encode(f.read()).decode("ascii")
    with open(out, "w", encoding="utf-8") as f:
        f.write("// Made by web/npm/embed.py: the library's WebAssembly module, in base64.\n")
        f.write('export const WASM = "%s";\n' % encoded)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(*sys.argv[1:])
