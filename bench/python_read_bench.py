"""Times reading and writing a data file through the Python package against the C interface.

    PYTHONPATH=BUILD/python python3 bench/python_read_bench.py FILE [--bench BUILD/bin/rizeroz-bench] [--repeat N]

Each measurement runs in a fresh process of its own, the package already imported, after
the file has been read once so that every run finds it in the page cache:

- rz_read: the C interface's read of the file into a model, and freeing the model;
- rz_read_memory: the C interface's read of the file's bytes, loaded before the clock
  starts, where they lie, and freeing the model;
- rizeroz.read: the Python read, which returns with every row at hand: the rows of
  every block move into Python the first time a block is used;
- rizeroz.read, all rows: the same, then every row of every block taken (``for row in
  block``);
- rizeroz.read, block.rows: the same, walking ``block.rows`` instead of iterating the
  block;
- rizeroz.read, arrays: the same, then ``block.array()`` of every block (numpy imported
  before the clock starts);
- rizeroz.read, progress: rizeroz.read with a progress function;
- rizeroz.loads: the Python read of the file's bytes, loaded before the clock starts,
  which the library reads where they lie (rz_read_memory);
- rizeroz.read, file object: the Python read of ``open(FILE, "rb")``, opened after the
  clock starts, which the library pulls a piece at a time (rz_read_stream, readinto);
- rz_write: the C interface writing the model that rz_read made (to a file beside FILE,
  in place: no safe save, whose disk flush would time the disk);
- rizeroz.write, as read: the Python write, the same way, of the model that
  rizeroz.read made, untouched (its rows still in the library's memory);
- rizeroz.write: the same, every row of the model made a ``bytes`` first (so every row
  is in Python);
- rizeroz.write, rows as lists: the same, the rows made lists of ``bytes`` first (as
  changing a row of a block, or asking for ``block.rows``, does);
- C++ Read (with --bench): `rizeroz-bench FILE --read-only`;
- import rizeroz: what `import rizeroz` adds to the interpreter's start, by
  `python -X importtime` (the package's cumulative time), and by the clock (the start
  with the import against a bare start), the package byte-compiled.

Prints the best time of each and the ratios to the C interface (targets: at most 1.5;
reading with every row taken against rz_read_memory),
those of loads and of the file object to rizeroz.read (targets: at most 1.2 and 1.3), and
the import's cost (target: at most 40 ms).
"""

import argparse
import os
import re
import subprocess
import sys
import time

CHILD = r"""
import ctypes, os, sys, time
import rizeroz
from rizeroz import _native
path, kind = sys.argv[1], sys.argv[2]
out = path + ".bench-out.xml"
lib = _native._lib
handle = ctypes.c_void_p()
model = None
if kind == "rz_write":
    lib.rz_read(path.encode(), 0, ctypes.byref(handle), None)
elif kind in ("rizeroz.loads", "rz_read_memory"):
    with open(path, "rb") as file:
        data = file.read()
elif kind == "rizeroz.read, arrays":
    import numpy  # its import is not timed
elif kind.startswith("rizeroz.write"):
    model = rizeroz.read(path)
    for field in model:
        for block in field:
            # Every row in Python: packed as read, or a list of bytes as changing a row makes it.
            if kind.endswith("lists"):
                rows = block.rows
            elif not kind.endswith("as read"):
                rows = list(block)
start = time.perf_counter()
if kind == "rz_read":
    if lib.rz_read(path.encode(), 0, ctypes.byref(handle), None) != 0:
        sys.exit("rz_read failed")
    lib.rz_model_free(handle)
elif kind == "rz_read_memory":
    if lib.rz_read_memory(data, len(data), None, 0, None, None, ctypes.byref(handle), None) != 0:
        sys.exit("rz_read_memory failed")
    lib.rz_model_free(handle)
elif kind == "rizeroz.read":
    model = rizeroz.read(path)
elif kind == "rizeroz.loads":
    model = rizeroz.loads(data)
elif kind == "rizeroz.read, file object":
    with open(path, "rb") as file:
        model = rizeroz.read(file)
elif kind == "rizeroz.read, all rows":
    model = rizeroz.read(path)
    rows = [row for field in model for block in field for row in block]
elif kind == "rizeroz.read, block.rows":
    model = rizeroz.read(path)
    rows = [row for field in model for block in field for row in block.rows]
elif kind == "rizeroz.read, arrays":
    model = rizeroz.read(path)
    arrays = [block.array() for field in model for block in field]
elif kind == "rizeroz.read, progress":
    model = rizeroz.read(path, progress=lambda done, total: None)
elif kind == "rz_write":
    if lib.rz_write(handle, out.encode(), 0, None) != 0:
        sys.exit("rz_write failed")
elif kind.startswith("rizeroz.write"):
    rizeroz.write(model, out, safe=False)
print(time.perf_counter() - start)
if os.path.exists(out):
    os.remove(out)
"""
# Each Python line's counterpart, and the target ratio.
PAIRS = (("rizeroz.read", "rz_read", 1.5), ("rizeroz.read, all rows", "rz_read_memory", 1.5),
         ("rizeroz.read, block.rows", "rz_read_memory", 1.5), ("rizeroz.read, arrays", "rz_read_memory", 1.5),
         ("rizeroz.read, progress", "rizeroz.read", 1.2),
         ("rizeroz.loads", "rizeroz.read", 1.2), ("rizeroz.read, file object", "rizeroz.read", 1.3),
         ("rizeroz.write, as read", "rz_write", 1.5), ("rizeroz.write", "rz_write", 1.5),
         ("rizeroz.write, rows as lists", "rz_write", 1.5))


def seconds(command, pattern):
    output = subprocess.run(command, check=True, capture_output=True, text=True).stdout
    return float(re.search(pattern, output).group(1))


def import_cost(repeat):
    """The best -X importtime figure of rizeroz and the best difference of starts, in s."""
    subprocess.run([sys.executable, "-c", "import rizeroz"], check=True)  # byte-compiles it
    reported, started, bare = [], [], []
    for _ in range(repeat):
        text = subprocess.run([sys.executable, "-X", "importtime", "-c", "import rizeroz"], check=True,
                              capture_output=True, text=True).stderr
        reported.append(int(re.search(r"\|\s*([0-9]+) \| rizeroz$", text, re.M).group(1)) / 1e6)
        for times, code in ((started, "import rizeroz"), (bare, "pass")):
            begin = time.perf_counter()
            subprocess.run([sys.executable, "-c", code], check=True)
            times.append(time.perf_counter() - begin)
    return min(reported), min(started) - min(bare)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("file")
    parser.add_argument("--bench", help="the rizeroz-bench program of the same build, for the C++ Read")
    parser.add_argument("--repeat", type=int, default=5)
    options = parser.parse_args()
    path = os.path.abspath(options.file)
    with open(path, "rb") as warm:
        while warm.read(1 << 24):
            pass

    # The kinds take turns, so that a busy spell of the machine touches them alike.
    kinds = ["rz_read", "rz_read_memory", "rizeroz.read", "rizeroz.read, all rows", "rizeroz.read, block.rows",
             "rizeroz.read, arrays", "rizeroz.read, progress", "rizeroz.loads", "rizeroz.read, file object", "rz_write",
             "rizeroz.write, as read", "rizeroz.write", "rizeroz.write, rows as lists"]
    runs = {kind: [] for kind in kinds + ["C++ Read"]}
    for _ in range(options.repeat):
        if options.bench:
            runs["C++ Read"].append(seconds([options.bench, path, "--read-only"], r" in ([0-9.]+) s"))
        for kind in kinds:
            runs[kind].append(seconds([sys.executable, "-c", CHILD, path, kind], r"^([0-9.e-]+)"))
    best = {kind: min(times) for kind, times in runs.items() if times}
    size = os.path.getsize(path) / 1e6
    print(f"file {path}: {size:.1f} MB, best of {options.repeat} runs")
    for kind, seconds_taken in best.items():
        print(f"{kind:28} {seconds_taken:8.3f} s {size / seconds_taken:8.1f} MB/s")
    for python, other, target in PAIRS:
        print(f"{python} / {other}: {best[python] / best[other]:.2f} (target {target:.2f} or less)")
    reported, clocked = import_cost(options.repeat * 4)
    print(f"import rizeroz: {reported * 1000:.1f} ms by -X importtime, {clocked * 1000:.1f} ms by the clock "
          "(target 40 ms or less)")


if __name__ == "__main__":
    main()
