#!/usr/bin/env python3
"""Makes the viewer's worker script: emscripten's loader, the module's bytes and
web/worker.js inside one function, rizerozWorker, whose source text the page turns into
a worker of its own (a blob), since a page opened from file:// may not start a worker
from a file or fetch the module.

Usage: bundle.py LOADER.js MODULE.wasm WORKER.js OUT.js
"""
import base64
import sys


def main(loader, module, worker, out):
    with open(loader, encoding="utf-8") as f:
        loader_text = f.read()
    with open(module, "rb") as f:
        encoded = base64.b64encode(f.read()).decode("ascii")
    with open(worker, encoding="utf-8") as f:
        worker_text = f.read()
    with open(out, "w", encoding="utf-8") as f:
        f.write("// Made by web/bundle.py from emscripten's loader, the module and web/worker.js.\n")
        f.write("function rizerozWorker() {\n")
        f.write(loader_text)
        f.write("\nconst RIZEROZ_MODULE = \"%s\";\n" % encoded)
        f.write(worker_text)
        f.write("\n}\n")


if __name__ == "__main__":
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    main(*sys.argv[1:])
