"""Hostile input meets a bounded, clear refusal: nested entities, deep nesting, many
attributes and many elements for check, endless or long input piped to check, pictures
too large for render, endless or huge JSON. Each hostile file is built here; each run is
watched for memory (the tool's own ground plus 64 MB above the input) and time."""
import json
import os
import re
import signal
import subprocess

import pytest

from conftest import EXIT_ERROR, EXIT_OK, EXIT_WARNINGS, default_signals, wait_for_file_in

# Ten entities, each ten of the one before: 10^10 characters from some 600 bytes.
ENTITIES = "".join('<!ENTITY a%d "%s">\n' % (i, "&a%d;" % (i - 1) * 10 if i else "x" * 10) for i in range(10)) + \
    '<!ENTITY open "<x>">\n<!ENTITY outer "z&open;">\n'   # a fault in an entity within an entity
PROLOGUE = '<?xml version="1.0"?>\n<!DOCTYPE SVF_Plus_Data [\n' + ENTITIES + "]>\n"
FIELD = '<DataField name="A"><FieldBlock row_width="8">%s</FieldBlock></DataField>'


LOOP = "Detected an entity reference loop"


@pytest.mark.parametrize("name, body, error", [
    ("attribute", '<SVF_Plus_Data version="&a9;"/>\n', LOOP),
    ("root text", "<SVF_Plus_Data>&a9;</SVF_Plus_Data>\n", LOOP),
    ("row text", '<SVF_Plus_Data version="2.1">' + FIELD % "&a9;" + "</SVF_Plus_Data>\n", LOOP),
    ("fault in a nested entity", "<SVF_Plus_Data>&outer;</SVF_Plus_Data>\n", "Premature end of data in tag x"),
])
@pytest.mark.parametrize("flags", [[], ["--no-valid"]])
def test_check_refuses_entity_expansion(tool, scratch, baseline_mb, name, body, error, flags):
    path = scratch + "/laughs.xml"
    with open(path, "w") as f:
        f.write(PROLOGUE + body)
    r = tool.run("check", path, *flags, budget_mb=baseline_mb + 64, timeout=30)
    assert r.code == EXIT_ERROR, r
    # The reference's line, and a column on it, in the finding that ends the expansion
    # (not a place in the entity's text).
    place = "%s:%d:(\\d+): error: not well-formed XML: %s" % (path, PROLOGUE.count("\n") + 1, error)
    found = re.search(place, r.out)
    assert found and 0 < int(found.group(1)) <= len(body), r


ROOT = b'<SVF_Plus_Data version="1">'
STOP = "warning: libxml2 checks the document only this far: "


def nested(levels):
    return [ROOT, b"<u>" * levels, b"</u>" * levels, b"</SVF_Plus_Data>\n"]


def attributes(count):
    return [ROOT, b"<u", b"".join(b' a%d="1"' % i for i in range(count)), b"/></SVF_Plus_Data>\n"]


@pytest.mark.parametrize("name, text, at, stop", [
    # libxml2 stops where the reader does, at the element past its 1000 levels.
    ("150,000 nested elements", lambda: nested(150000), len(ROOT) + 3 * 999,
     "the element here is nested more than 1000 levels deep"),
    # Its time grows with the square of an element's attributes: it gets 1000 at most.
    ("100,000 attributes", lambda: attributes(100000), len(ROOT), "the element here has more than 1000 attributes"),
    # 4 million elements: no tree of them; validity stops after 1000 remarks.
    ("16 MB of empty elements", lambda: [ROOT, b"<u/>" * (4 << 20), b"</SVF_Plus_Data>\n"], None,
     "it has made 1000 remarks"),
])
@pytest.mark.parametrize("flags", [[], ["--no-valid"]])
def test_check_within_bounds(tool, scratch, baseline_mb, name, text, at, stop, flags):
    """check takes about the time and memory of info, whatever libxml2 would make of the
    document: libxml2 meets no element beyond the tool's bounds, and says where it stopped."""
    path = scratch + "/hostile.xml"
    with open(path, "wb") as f:
        for piece in text():
            f.write(piece)
    info = tool.run("info", path, timeout=30)
    r = tool.run("check", path, *flags, budget_mb=max(info.peak_mb, baseline_mb) + 64, timeout=30)
    lines = r.out.splitlines()
    stops = [line for line in lines if STOP in line]
    if at is None and flags:   # without validity, libxml2 has nothing to say
        assert r.code == EXIT_WARNINGS and not stops and not any("XML" in line for line in lines), r
        return
    place = "%s:1:%d: " % (path, at + 1) if at is not None else path + ":1:"
    # The start tag beyond the bound, where the reader stops too when it is the depth.
    assert len(stops) == 1 and stops[0].startswith(place) and STOP + stop in stops[0], r
    assert lines.index(stops[0]) == len(lines) - 2 and r.code in (EXIT_ERROR, EXIT_WARNINGS), r
    assert r.code == EXIT_WARNINGS or place + "error: elements are nested too deeply" in r.out, r


def lines_of_y(megabytes):
    """What `yes` writes, in pieces of 1 MB."""
    piece = b"y\n" * (1 << 19)
    for _ in range(megabytes):
        yield piece


SAMPLE = open("data/sample.xml", "rb").read()
BROKEN_ROW = ROOT + b'<DataField name="A"><FieldBlock row_width="8">0xG1</FieldBlock><FieldBlock row_width="8">'
END = b"</FieldBlock></DataField></SVF_Plus_Data>\n"


@pytest.mark.parametrize("name, text, most_mb", [
    # The reader refuses it at its first byte: check ends at once, having taken a few MB.
    ("endless lines of y", lambda: lines_of_y(64), 8),
    # Once the reader has passed the root element's end, the rest is taken in too.
    ("a long tag after the root", lambda: [SAMPLE, b"<junk a='", b"x" * (2 << 20), b"'/>\n"], None),
    # The reader stops at the broken row, before the long text: libxml2 checks the bytes it
    # took, which end inside a two-byte character in one of the two, and says nothing of
    # their early end.
    ("a broken row, then 2 MB of text", lambda: [BROKEN_ROW, "\u00e9".encode() * (1 << 20), END], None),
    ("a broken row, then 2 MB of text a byte later", lambda: [BROKEN_ROW, b" ", "\u00e9".encode() * (1 << 20), END],
     None),
])
def test_check_reads_a_pipe_once(tool, scratch, baseline_mb, native, name, text, most_mb):
    """check reads a pipe once, keeping in memory what the reader took of it (nothing goes
    to TMPDIR, not even for a while), and finds in it what it finds in the same bytes in a
    file."""
    temporary = scratch + "/tmp"
    os.mkdir(temporary)
    seen, taken = [], []

    def watched():   # the pieces, with a look into TMPDIR before each
        for piece in text():
            seen.extend(os.listdir(temporary))
            taken.append(len(piece))
            yield piece
    piped = tool.run("check", "--json", "-", feed=watched(), env={"TMPDIR": temporary}, budget_mb=baseline_mb + 64,
                     timeout=60)
    path = scratch + "/input.xml"
    with open(path, "wb") as f:
        for piece in text():
            f.write(piece)
    alone = tool.run("check", "--json", path, timeout=60)
    assert not seen and not os.listdir(temporary), seen
    assert piped.code == alone.code == EXIT_ERROR, (piped, alone)
    assert json.loads(piped.out)["findings"] == json.loads(alone.out)["findings"], (piped, alone)
    assert most_mb is None or sum(taken) < most_mb << 20, sum(taken)


def write_model(path, rows, row_bytes):
    """A JSON model of one field "A" with `rows` rows of `row_bytes` bytes each."""
    row = "5A" * row_bytes
    with open(path, "w") as f:
        f.write('{"version": "1", "comment": null, "fields": [{"name": "A", "checksum": 0, "blocks": '
                '[{"row_width": %d, "rows": [%s]}]}]}' % (row_bytes * 8, ",".join(['"%s"' % row] * rows)))
    return path


@pytest.mark.parametrize("flags, limit, size, enough", [
    (["--scale", "100"], [], "80000 x 20000 pixels", "1600000000"),   # the default limit: a gigapixel
    ([], ["--max-pixels", "159999"], "800 x 200 pixels", "160000"),
    (["--columns", "2"], ["--max-pixels", "1000"], "1603 x 100 pixels", "160300"),
])
def test_render_refuses_large_pictures(tool, scratch, flags, limit, size, enough):
    """A picture beyond the limit is refused with its size before a byte is written: OUT is
    left as it was, and nothing else appears beside it. Raised, the limit lets it through."""
    source = write_model(scratch + "/m.json", 200, 100)
    out = scratch + "/out.png"
    with open(out, "w") as f:
        f.write("old")
    r = tool.run("render", source, "-o", out, *flags, *limit, timeout=30)
    assert r.code == EXIT_ERROR and ': error: the picture of the data field "A" would be ' + size in r.err, r
    assert "nothing was written" in r.err and len(r.err.splitlines()) == 1, r
    assert open(out).read() == "old" and sorted(os.listdir(scratch)) == ["m.json", "out.png"]
    if "--scale" not in flags:   # a picture of 1.6 Gpixels is not written in a test
        assert tool.run("render", source, "-o", out, *flags, "--max-pixels", enough).code == EXIT_OK
        assert open(out, "rb").read(8) == b"\x89PNG\r\n\x1a\n"


@pytest.mark.parametrize("command, number", [("convert", signal.SIGHUP), ("convert", signal.SIGQUIT),
                                             ("render", signal.SIGINT), ("render", signal.SIGTERM)])
def test_interrupted_leaves_nothing(tool, scratch, native, command, number):
    """A signal that ends convert or render while it writes leaves OUT as it was and no
    other file."""
    source = write_model(scratch + "/m.json", 40000, 512)
    out = scratch + "/out." + ("png" if command == "render" else "xml")
    with open(out, "w") as f:
        f.write("old")
    arguments = ["render", source, "-o", out, "--columns", "1"] if command == "render" else ["convert", source, out]
    process = subprocess.Popen(tool.command + arguments, stdin=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                               preexec_fn=default_signals)
    assert wait_for_file_in(process, scratch, besides=source), "%s opened no file in the folder" % command
    process.send_signal(number)
    process.wait(60)
    assert process.returncode == -number
    assert open(out).read() == "old" and sorted(os.listdir(scratch)) == ["m.json", os.path.basename(out)]


def blanks(count, then=b""):
    """`count` blanks in pieces of 1 MB, then `then`."""
    piece = b" " * (1 << 20)
    for _ in range(count >> 20):
        yield piece
    yield b" " * (count & ((1 << 20) - 1)) + then


@pytest.mark.parametrize("name, text, place, quoted", [
    # White space of any length costs no memory; the message quotes a few characters only.
    ("1 GB of blanks", lambda: blanks(10 ** 9), ":1:1000000001: error: ", "(The document is empty) at the end"),
    ("300 MB of blanks, then a fault", lambda: blanks(3 * 10 ** 8, b"{x"), ":1:300000002: error: ",
     'at "x"'),
    # A number of 20 million digits ends at its 310th or so, at its start.
    ("a huge number", lambda: [b'{"version": "1", "fields": [], "x": ', b"7" * (2 * 10 ** 7), b"}"],
     ":1:37: error: ", "(Number too big to be stored in double) at \"" + "7" * 40 + '..."'),
])
@pytest.mark.parametrize("piped", [True, False])
def test_json_input_in_bounded_memory(tool, scratch, baseline_mb, name, text, place, quoted, piped):
    """JSON is read in a buffer of fixed size, from a file or from a pipe alike: memory
    stays within 64 MB of the tool's own, and the error is one short line with a place."""
    if piped:
        r = tool.run("info", "-", "--from", "json", feed=text(), budget_mb=baseline_mb + 64, timeout=300)
        shown = "<stdin>"
    else:
        shown = scratch + "/hostile.json"
        with open(shown, "wb") as f:
            for piece in text():
                f.write(piece)
        r = tool.run("info", shown, budget_mb=baseline_mb + 64, timeout=300)
    assert r.code == EXIT_ERROR and r.out == "", r
    assert r.err.startswith(shown + place) and quoted in r.err and len(r.err) < 200 + len(shown), r
