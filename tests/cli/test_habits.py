"""The habits people bring from xmllint, GNU diff, git and jq: several files at once with a
summary line and the worst exit code, -q that only sets the exit code, JSON on standard
input, check of a JSON file as of a data file, unknown options named, usage errors that
cite the command's help (the help and the bash completion: docs_test.py)."""
import json
import os
import subprocess
import threading
import time

import pytest

from conftest import EXIT_DIFFERENT, EXIT_ERROR, EXIT_OK, EXIT_USAGE, EXIT_WARNINGS, pour

SAMPLE, WARNINGS, MODEL = "data/sample.xml", "data/cli_check_warnings.xml", "data/cli_model.json"


@pytest.mark.parametrize("command, files", [
    ("check", [SAMPLE, WARNINGS, MODEL, "data/cli_check_out_of_step.xml"]),   # clean, errors, clean, warnings
    ("check", [WARNINGS, "--no-valid", SAMPLE]),
    ("info", [SAMPLE, "no-such.xml", MODEL]),   # a file that cannot be read gives its error
    ("check", [WARNINGS]),   # one file: no summary
])
def test_several_files(tool, command, files):
    """Each file told in turn, then a summary of their exit codes; the worst is the tool's.
    --json-lines: one compact JSON object per line for each file, the one --json gives of it
    alone; a file that cannot be read gives its error there too."""
    flags = [f for f in files if f.startswith("-")]
    alone = [tool.run(command, f, *flags) for f in files if f not in flags]
    r = tool.run(command, *files)
    assert r.code == max(a.code for a in alone), (r, alone)
    assert r.out.startswith(alone[0].out) and all(a.out in r.out for a in alone), r
    counts = [sum(a.code == code for a in alone) for code in (EXIT_OK, EXIT_WARNINGS, EXIT_ERROR)]
    summary = "%d files: %d clean, %d with warnings, %d with errors." % (len(alone), *counts)
    assert (r.out.splitlines()[-1] == summary) == (len(alone) > 1), r

    lines = tool.run(command, "--json-lines", *files)
    as_json = [tool.run(command, "--json", f, *flags) for f in files if f not in flags]
    assert lines.code == r.code and lines.out.endswith("\n"), lines
    assert all(line.startswith("{") for line in lines.out.splitlines()), lines
    assert [json.loads(line) for line in lines.out.splitlines()] == [json.loads(a.out) for a in as_json], lines
    unread = [json.loads(a.out) for a in as_json if a.code == EXIT_ERROR and command == "info"]
    assert all(set(u) == {"file", "error"} and u["error"]["code"] == -101 for u in unread), unread


@pytest.mark.parametrize("arguments, code", [
    (["check", "--quiet", SAMPLE, MODEL], EXIT_OK),
    (["check", "-q", WARNINGS, "--no-valid"], None),
    (["check", "-q", "--json", WARNINGS], None),
    (["diff", "-q", SAMPLE, SAMPLE], EXIT_OK),
    (["diff", "-q", SAMPLE, MODEL], EXIT_DIFFERENT),
    (["diff", "--quiet", "--json", SAMPLE, MODEL], EXIT_DIFFERENT),
    (["diff", "-q", "--stat", SAMPLE, MODEL], EXIT_DIFFERENT),
])
def test_quiet_sets_the_exit_code_only(tool, arguments, code):
    r = tool.run(*arguments)
    loud = tool.run(*[a for a in arguments if a not in ("-q", "--quiet")])
    assert r.out == "" and r.err == "" and r.code == loud.code, (r, loud)
    assert loud.out != "" or loud.code == EXIT_OK, loud   # what -q left out
    assert code is None or r.code == code, r


JSON_TEXT = open(MODEL, "rb").read()
XML_TEXT = open(SAMPLE, "rb").read()


@pytest.mark.parametrize("through", ["pipe", "file"])
@pytest.mark.parametrize("text, arguments, code", [
    # Standard input without --from is JSON when its first byte that is not white space is '{'.
    (JSON_TEXT, ["info", "-"], EXIT_OK),
    (b"\r\n \t" + JSON_TEXT, ["dump", "-"], EXIT_OK),
    (JSON_TEXT, ["check", "-"], EXIT_OK),
    (JSON_TEXT, ["diff", MODEL, "-"], EXIT_OK),
    (JSON_TEXT, ["convert", "-", "-", "--to", "json"], EXIT_OK),
    (XML_TEXT, ["diff", "-", SAMPLE], EXIT_OK),
    # --from still decides.
    (JSON_TEXT, ["info", "-", "--from", "xml"], EXIT_ERROR),
    (XML_TEXT, ["info", "-", "--from", "json"], EXIT_ERROR),
    (b"  ", ["info", "-"], EXIT_ERROR),
])
def test_standard_input_is_looked_at(tool, text, arguments, code, through):
    if through == "pipe" and tool.emulated:
        pytest.skip("wine cannot peek at a pipe of the host (Windows peeks at its own pipes)")
    r = tool.run(*arguments, **({"feed": [text]} if through == "pipe" else {"input": text}))
    assert r.code == code and "give --from json" not in r.err, r
    if arguments[0] == "convert":
        assert json.loads(r.out) == json.loads(JSON_TEXT), r


def spaced(pieces):
    """The pieces, 0.3 s apart."""
    for number, piece in enumerate(pieces):
        if number:
            time.sleep(0.3)
        yield piece


def test_standard_input_white_space_first(tool, native):
    """White space first in a pipe: what follows it is waited for, unless the pipe is full
    of white space, whose writer waits for a reader."""
    # (Windows looks at what a pipe holds once it holds something.)
    import fcntl
    # (size of the pipe, pieces written 0.3 s apart, exit code)
    cases = [(None, [b"\n  ", JSON_TEXT], EXIT_OK),
             (4096, [b" " * 5000, JSON_TEXT], EXIT_ERROR)]   # read as a data file, which it is not
    for size, pieces, code in cases:
        read, write = os.pipe()
        if size:
            fcntl.fcntl(write, getattr(fcntl, "F_SETPIPE_SZ", 1031), size)
        process = subprocess.Popen(tool.command + ["info", "-"], stdin=read, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE)
        os.close(read)
        threading.Thread(target=pour, args=(spaced(pieces), os.fdopen(write, "wb", buffering=0)), daemon=True).start()
        try:
            out, err = process.communicate(timeout=30)
        finally:
            process.kill()
        # Standard input taken for a data file without a look says what to give if it is JSON.
        assert process.returncode == code and out.startswith(b"File:    <stdin>\n") == (code == EXIT_OK) and \
            err.endswith(b"; if standard input is JSON, give --from json.\n") == (code != EXIT_OK), (out, err)


@pytest.mark.parametrize("arguments, sentence", [
    ([], "rizeroz: error: A subcommand is required (see 'rizeroz --help')."),
    (["frobnicate"], "rizeroz: error: there is no command \"frobnicate\" (see 'rizeroz --help')."),
    # The command meant, when one is a swap, a slip or a missing letter away and no other is as near.
    (["inof", SAMPLE], "rizeroz: error: there is no command \"inof\"; did you mean \"info\"? (see 'rizeroz --help')."),
    (["chekc"], "rizeroz: error: there is no command \"chekc\"; did you mean \"check\"? (see 'rizeroz --help')."),
    (["conver"], "rizeroz: error: there is no command \"conver\"; did you mean \"convert\"? (see 'rizeroz --help')."),
    (["convert", SAMPLE, MODEL, "extra.json"],
     "rizeroz: error: The following argument was not expected: extra.json (see 'rizeroz convert --help')."),
    (["expr", "(FF)"], "rizeroz: error: --width is required (see 'rizeroz expr --help')."),
    (["expr", "(FF)", "--width", "0"],
     "rizeroz: error: --width: Value 0 not in range 1 to 2147483647 (see 'rizeroz expr --help')."),
    (["info", "-v", SAMPLE], "rizeroz: error: there is no option -v (see 'rizeroz info --help')."),
    (["diff", "--bogus", SAMPLE, SAMPLE], "rizeroz: error: there is no option --bogus (see 'rizeroz diff --help')."),
    (["-v"], "rizeroz: error: there is no option -v before the command (see 'rizeroz --help')."),
    (["render", SAMPLE], "rizeroz: error: render needs -o OUT or --text (see 'rizeroz render --help')."),
    (["diff", "-", "-"], "rizeroz: error: standard input (-) can be only one of the files (see 'rizeroz diff --help')."),
    (["check"], "rizeroz: error: FILE is required (see 'rizeroz check --help')."),
    # --json gives one object: several files would be objects one after another, which no JSON reader takes.
    (["info", "--json", SAMPLE, MODEL], "rizeroz: error: --json prints one JSON object, for one file; give "
                                        "--json-lines for a line of JSON for each of several files (see 'rizeroz info "
                                        "--help')."),
    (["check", "--json", "--json-lines", SAMPLE],
     "rizeroz: error: --json and --json-lines cannot be given together (see 'rizeroz check --help')."),
    (["diff", "--stat", "--json", SAMPLE, SAMPLE],
     "rizeroz: error: --stat and --json cannot be given together (see 'rizeroz diff --help')."),
])
def test_usage_errors(tool, arguments, sentence):
    r = tool.run(*arguments)
    assert r.code == EXIT_USAGE and r.out == "" and r.err == sentence + "\n", r


@pytest.mark.parametrize("arguments, environment, painted", [
    (["check", WARNINGS, "--no-valid", "--color", "always"], {}, "\x1b[1;35mwarning:\x1b[0m"),
    (["check", WARNINGS, "--no-valid", "--color", "always"], {"NO_COLOR": "1"}, "\x1b[1;35mwarning:\x1b[0m"),
    (["check", WARNINGS, "--no-valid", "--color", "auto"], {}, None),   # not a terminal
    (["check", WARNINGS, "--no-valid", "--color", "never"], {}, None),
    # diff as git: what the first file has in red, what the second has in green.
    (["diff", SAMPLE, MODEL, "--color", "always"], {}, "\x1b[31m"),
    (["diff", MODEL, SAMPLE, "--color", "always"], {}, "\x1b[32m"),
    (["info", "no-such.xml", "--color", "always"], {}, "\x1b[1;31merror:\x1b[0m"),   # on stderr
])
def test_colour(tool, arguments, environment, painted):
    r = tool.run(*arguments, env=environment)
    printed = r.out + r.err
    assert (painted in printed) if painted else "\x1b[" not in printed, r


@pytest.mark.parametrize("arguments, piped, code", [
    # --from once is for every input; twice, the first is for the first file, the second for the other.
    (["diff", SAMPLE, "-", "--from", "xml", "--from", "json"], "json", EXIT_OK),
    (["diff", "-", SAMPLE, "--from", "json", "--from", "xml"], "json", EXIT_OK),
    (["diff", SAMPLE, "-", "--from", "xml", "--from", "xml"], "json", EXIT_ERROR),
    (["render", SAMPLE, "--text", "--diff", "-", "--from", "xml", "--from", "json"], "json", EXIT_OK),
    (["info", SAMPLE, "--from", "xml", "--from", "json"], "json", EXIT_USAGE),
    (["diff", SAMPLE, SAMPLE, "--from", "xml", "--from", "xml", "--from", "xml"], "xml", EXIT_USAGE),
])
def test_from_per_input(tool, scratch, arguments, piped, code):
    text = open(SAMPLE, "rb").read()
    if piped == "json":
        copy = scratch + "/sample.json"
        assert tool.run("convert", SAMPLE, copy).code == EXIT_OK
        text = open(copy, "rb").read()
    r = tool.run(*arguments, input=text)
    assert r.code == code, r
