#!/usr/bin/env python3
"""The rizeroz tool with file and folder names in several scripts (Greek, Cyrillic, CJK,
emoji): a data file converted to JSON and back, the copy compared with the original by
`diff`, and every file found under its name. Under wine the names travel as UTF-16 to the
Windows side, and the tool must take its arguments (GetCommandLineW) and open its files
(the library's util_fopen) in UTF-8.
"""
import argparse
import os
import shutil
import subprocess
import sys

NAMES = ["Ελληνικά", "Кириллица", "漢字かな한글", "😀🎉", "Ελλ-Кир-漢-😀 mixed"]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True)
    parser.add_argument("--emulator", default="")
    args = parser.parse_args()
    command = ([args.emulator] if args.emulator else []) + [args.tool]
    # wine reads file names and arguments in the locale's encoding: UTF-8.
    environment = dict(os.environ, LC_ALL="C.UTF-8")
    failures = 0
    for name in NAMES:
        folder = "scratch-tool-" + name
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        shutil.copy("data/sample.xml", os.path.join(folder, name + ".xml"))
        steps = [["convert", name + ".xml", name + ".json"], ["convert", name + ".json", name + "-back.xml"],
                 ["diff", name + ".xml", name + "-back.xml"], ["info", name + "-back.xml"]]
        for step in steps:
            done = subprocess.run(command + step, cwd=folder, env=environment, capture_output=True)
            if done.returncode != 0:
                failures += 1
                print("%s: exit %d: %s" % (" ".join(step), done.returncode, done.stderr.decode("utf-8", "replace")))
        present = sorted(os.listdir(folder))
        expected = sorted([name + ".xml", name + ".json", name + "-back.xml"])
        if present != expected:
            failures += 1
            print("%s holds %s, not %s" % (folder, present, expected))
        shutil.rmtree(folder, ignore_errors=True)
    print("%d names, %d failures" % (len(NAMES), failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
