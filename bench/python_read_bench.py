"""Times reading a data file through the Python package against the C++ Read.

    PYTHONPATH=BUILD/python python3 bench/python_read_bench.py FILE --bench BUILD/bin/rizeroz-bench [--repeat N]

Each measurement runs in a fresh process of its own, after the file has been read once
so that every run finds it in the page cache, as rizeroz-bench does:

- C++ Read: `rizeroz-bench FILE --read-only` (InitSvfPlusDataFile and Read);
- rz_read: the C interface's read of the file into a model, and freeing the model;
- rizeroz.read: the whole Python read (the C read, every row copied into Python `bytes`,
  the C model freed), the package already imported.

Prints the best time of each and the ratio of rizeroz.read to the C++ Read (target: at
most 1.5).
"""

import argparse
import os
import re
import subprocess
import sys

CHILD = r"""
import ctypes, sys, time
import rizeroz
from rizeroz import _native
path = sys.argv[1]
start = time.perf_counter()
if sys.argv[2] == "python":
    model = rizeroz.read(path)
    rows = sum(len(block.rows) for field in model.fields for block in field.blocks)
else:
    handle = ctypes.c_void_p()
    if _native._lib.rz_read(path.encode(), 0, ctypes.byref(handle), None) != 0:
        sys.exit("rz_read failed")
    rows = 0
    _native._lib.rz_model_free(handle)
print(time.perf_counter() - start, rows)
"""


def seconds(command, pattern):
    output = subprocess.run(command, check=True, capture_output=True, text=True).stdout
    return float(re.search(pattern, output).group(1))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("file")
    parser.add_argument("--bench", required=True, help="the rizeroz-bench program of the same build")
    parser.add_argument("--repeat", type=int, default=5)
    options = parser.parse_args()
    path = os.path.abspath(options.file)
    with open(path, "rb") as warm:
        while warm.read(1 << 24):
            pass

    # The three take turns, so that a busy spell of the machine touches them alike.
    runs = {"cpp": [], "c": [], "python": []}
    for _ in range(options.repeat):
        runs["cpp"].append(seconds([options.bench, path, "--read-only"], r" in ([0-9.]+) s"))
        for kind in ("c", "python"):
            runs[kind].append(seconds([sys.executable, "-c", CHILD, path, kind], r"^([0-9.e-]+) "))
    cpp, c, python = min(runs["cpp"]), min(runs["c"]), min(runs["python"])
    size = os.path.getsize(path) / 1e6
    print(f"file {path}: {size:.1f} MB, best of {options.repeat} runs")
    for name, best in (("C++ Read", cpp), ("rz_read + free", c), ("rizeroz.read", python)):
        print(f"{name:16} {best:8.3f} s {size / best:8.1f} MB/s {best / cpp:6.2f}")
    print(f"rizeroz.read / C++ Read: {python / cpp:.2f} (target 1.50 or less)")


if __name__ == "__main__":
    main()
