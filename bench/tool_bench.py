#!/usr/bin/env python3
"""What the rizeroz tool costs on a large file, side by side with `rizeroz info` on the same
data: converting to JSON and back, comparing with a copy that differs in its last byte,
and the peaks of the commands that only read. Every command runs in a process of its own
(its time is the wall time, its CPU time user and system time together and its peak the
peak resident size, from wait4: on a busy machine the wall time waits for a processor as
well, the CPU time does not); the commands
take turns, round after round, so that a busy spell of a shared machine touches them all
alike, and the best of the rounds is kept.

    bench/tool_bench.py --bin build/perf/bin --dir /var/tmp/rizeroz-bench [--size 200] [--repeat 5]

--bin holds rizeroz, rizeroz-generate and rizeroz-bench (configure with
-DRIZEROZ_BUILD_BENCH=ON); the files go to --dir, which needs about 4 x --size MB.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import time


def run(command, stdin=None):
    """(seconds, peak MB, exit code, CPU seconds) of one run, its output thrown away."""
    with open(stdin or os.devnull, "rb") as given, open(os.devnull, "wb") as nothing:
        started = time.perf_counter()
        process = subprocess.Popen(command, stdin=given, stdout=nothing, stderr=subprocess.PIPE)
        _, status, usage = os.wait4(process.pid, 0)
        seconds = time.perf_counter() - started
        errors = process.stderr.read().decode(errors="replace")
        process.stderr.close()
        process.returncode = os.waitstatus_to_exitcode(status)
    if process.returncode not in (0, 1):
        sys.exit("%s failed (%d): %s" % (" ".join(command), process.returncode, errors))
    return seconds, usage.ru_maxrss / 1024.0, process.returncode, usage.ru_utime + usage.ru_stime


def change_last_byte(source, copy):
    """A copy of the data file whose last row differs in its last hexadecimal digit."""
    shutil.copyfile(source, copy)
    with open(copy, "r+b") as f:
        f.seek(0, os.SEEK_END)
        size = f.tell()
        f.seek(max(0, size - 65536))
        tail = f.read()
        at = tail.rindex(b"</FieldBlock>") - 1
        while chr(tail[at]) not in "0123456789ABCDEFabcdef":
            at -= 1
        f.seek(size - len(tail) + at)
        f.write(b"1" if tail[at:at + 1] == b"0" else b"0")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--bin", required=True, help="folder of rizeroz, rizeroz-generate and rizeroz-bench")
    parser.add_argument("--dir", required=True, help="folder for the files")
    parser.add_argument("--size", type=int, default=200, help="MB of the data file (default 200)")
    parser.add_argument("--repeat", type=int, default=5, help="rounds (default 5)")
    options = parser.parse_args()
    tool = os.path.join(options.bin, "rizeroz")
    os.makedirs(options.dir, exist_ok=True)
    path = lambda name: os.path.join(options.dir, name)

    data = path("r%d.xml" % options.size)
    if not os.path.exists(data):
        subprocess.run([os.path.join(options.bin, "rizeroz-generate"), data, "--size", str(options.size),
                        "--kind", "random", "--row-bytes", "512"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run([tool, "convert", data, path("data.json"), "--quiet"], check=True)
    change_last_byte(data, path("last.xml"))

    # The model's size and the library's own Read peak, from rizeroz-bench.
    report = subprocess.run([os.path.join(options.bin, "rizeroz-bench"), data, "--repeat", "1", "--no-peers"],
                            check=True, capture_output=True, text=True).stdout
    found = re.search(r"read memory: peak ([\d.]+) MB; model ([\d.]+) MB", report)
    read_peak, model = float(found.group(1)), float(found.group(2))

    # name, command, standard input, target: ("time", times info) or ("peak", MB)
    commands = [
        ("info", [tool, "info", data], None, None),
        ("convert to JSON", [tool, "convert", data, path("out.json")], None, ("time", 2.0)),
        ("convert from JSON", [tool, "convert", path("data.json"), path("out.xml")], None, ("time", 2.0)),
        ("to JSON, --verify", [tool, "convert", data, path("out.json"), "--verify"], None, None),
        ("from JSON, --verify", [tool, "convert", path("data.json"), path("out.xml"), "--verify"], None, None),
        ("diff, last byte", [tool, "diff", data, path("last.xml")], None, ("time", 2.5)),
        ("dump", [tool, "dump", data], None, None),
        ("check", [tool, "check", data], None, None),
        ("info of the JSON", [tool, "info", path("data.json")], None, ("time", 2.0)),
        ("info of JSON piped", ["sh", "-c", 'cat "$1" | "$0" info - --from json', tool, path("data.json")], None,
         ("time", 2.0)),
        ("info from stdin", [tool, "info", "-"], data, None),
    ]
    peak_targets = {"info": read_peak + 16, "dump": read_peak + 16, "check": read_peak + 16,
                    "convert to JSON": model + 64, "convert from JSON": model + 64,
                    "to JSON, --verify": model + 64, "from JSON, --verify": model + 64}

    best = {}
    load = os.getloadavg()[0]
    for name, command, stdin, _ in commands:   # once, for the page cache
        run(command, stdin)
    for _ in range(options.repeat):
        for name, command, stdin, _ in commands:
            seconds, peak, _, cpu = run(command, stdin)
            old = best.get(name, (float("inf"), 0.0, float("inf")))
            best[name] = (min(old[0], seconds), max(old[1], peak), min(old[2], cpu))

    info = best["info"][0]
    print("%s: %.1f MB, model %.1f MB, the library's Read peak %.1f MB; best of %d rounds; load %.1f -> %.1f"
          % (os.path.basename(data), os.path.getsize(data) / 1e6, model, read_peak, options.repeat, load,
             os.getloadavg()[0]))
    print("%-20s %8s %8s %8s %8s %9s  %s" % ("", "time s", "x info", "CPU s", "x info", "peak MB", "targets"))
    failed = False
    info_cpu = best["info"][2]
    for name, _, _, target in commands:
        seconds, peak, cpu = best[name]
        verdicts = []
        if target:
            verdicts.append("time <= %.1f x info: %s" % (target[1], "yes" if seconds <= target[1] * info else "NO"))
            failed = failed or seconds > target[1] * info
        if name in peak_targets:
            verdicts.append("peak <= %.1f MB: %s" % (peak_targets[name], "yes" if peak <= peak_targets[name] else "NO"))
            failed = failed or peak > peak_targets[name]
        print("%-20s %8.3f %8.2f %8.3f %8.2f %9.1f  %s" % (name, seconds, seconds / info, cpu, cpu / info_cpu, peak,
                                                         "; ".join(verdicts)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
