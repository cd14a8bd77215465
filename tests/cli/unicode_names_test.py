"""The rizeroz tool with file and folder names in several scripts (Greek, Cyrillic, CJK,
emoji): a data file converted to JSON and back, the copy compared with the original by
`diff`, and every file found under its name. Under wine the names travel as UTF-16 to the
Windows side, and the tool must take its arguments (GetCommandLineW), open its files (the
library's util_fopen) and test their write protection (_waccess) in UTF-8.
"""
import os
import shutil

import pytest

NAMES = ["Ελληνικά", "Кириллица", "漢字かな한글", "😀🎉", "Ελλ-Кир-漢-😀 mixed"]


@pytest.mark.parametrize("name", NAMES)
def test_names_in_any_script(tool, name, tmp_path):
    folder = os.path.join(tmp_path, name)
    os.makedirs(folder)
    shutil.copy("data/sample.xml", os.path.join(folder, name + ".xml"))
    # wine reads file names and arguments in the locale's encoding: UTF-8.
    steps = [["convert", name + ".xml", name + ".json"], ["convert", name + ".json", name + "-back.xml"],
             ["diff", name + ".xml", name + "-back.xml"], ["info", name + "-back.xml"]]
    for step in steps:
        done = tool.run(*step, cwd=folder, env={"LC_ALL": "C.UTF-8"})
        assert done.code == 0, "%s: exit %d: %s" % (" ".join(step), done.code, done.err)
    assert sorted(os.listdir(folder)) == sorted([name + ".xml", name + ".json", name + "-back.xml"])
    # A write-protected OUT of that name is refused too (under wine: read-only). Root
    # natively may write anyway.
    if len(tool.command) > 1 or os.name != "posix" or os.geteuid() != 0:
        protected = os.path.join(folder, name + "-back.xml")
        os.chmod(protected, 0o444)
        done = tool.run("convert", name + ".json", name + "-back.xml", cwd=folder, env={"LC_ALL": "C.UTF-8"})
        assert done.code == 2 and "is write-protected" in done.err, done.err
        os.chmod(protected, 0o644)
    shutil.rmtree(folder, ignore_errors=True)
