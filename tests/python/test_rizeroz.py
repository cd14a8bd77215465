"""Tests of the Python package: reading, building and writing, round trips against the
C++ library's output and the tool's JSON, errors, numpy, and the example of
docs/python.md. RIZEROZ_TOOL names the rizeroz tool when it was built."""

import os
import pathlib
import re
import shutil
import subprocess
import sys

import pytest

import rizeroz
from rizeroz import Block, Field, Model, RizErozError

HERE = pathlib.Path(__file__).resolve().parent
DATA = HERE.parent / "data"
SAMPLE = DATA / "sample.xml"
TOOL = os.environ.get("RIZEROZ_TOOL")
ROW_ERROR = ('<SVF_Plus_Data version="1">\n<DataField name="A">\n  <FieldBlock row_width="8">0x1g</FieldBlock>\n'
             "</DataField>\n</SVF_Plus_Data>\n")


def run_tool(*arguments):
    if not TOOL:
        pytest.skip("the rizeroz tool was not built")
    subprocess.run([TOOL, *map(str, arguments)], check=True, capture_output=True)


def test_read_sample():
    model = rizeroz.read(SAMPLE)
    assert (model.version, model.comment) == ("2.1", "bundled sample: two masks of a small device")
    assert [(f.name, f.checksum, [b.row_width for b in f.blocks]) for f in model.fields] == [
        ("Usercode_MASK", 0x1A2B, [32]), ("FuseArray_MASK", 0, [256, 8])]
    assert model.fields[0].blocks[0].rows == [b"\xff\xff\xff\xff", b"\x00\x00\xff\xff"]
    assert model.fields[1].blocks[0].rows[1] == b"\xa5" * 32 and model.fields[1].blocks[1].rows == [b"Z"]


@pytest.mark.parametrize("expressions", [False, True])
def test_write_gives_the_libraries_bytes(tmp_path, expressions):
    rizeroz.write(rizeroz.read(SAMPLE), tmp_path / "py.xml", expressions=expressions)
    written = (tmp_path / "py.xml").read_bytes()
    assert (b"(" in written) == expressions
    if not expressions:
        assert written == SAMPLE.read_bytes()
    run_tool("convert", SAMPLE, tmp_path / "cpp.xml", *(["--expressions"] if expressions else []))
    assert written == (tmp_path / "cpp.xml").read_bytes()


def test_built_model_reads_back(tmp_path):
    # Texts with bytes that are not UTF-8, empty and odd rows, a negative width.
    model = Model("1.0", " caf\udce9 \u00e9 ", [
        Field("A", 0xFFFF, [Block(16, [b"\x12\x34", b"", bytes(range(256))]), Block(-5, [b"\x00"])]),
        Field("", 0, [Block(2**31 - 1, [bytearray(b"\x01")])]),
    ])
    rizeroz.write(model, tmp_path / "built.xml")
    assert rizeroz.read(tmp_path / "built.xml") == model
    assert b" caf\xe9 \xc3\xa9 " in (tmp_path / "built.xml").read_bytes()


def test_json_in_the_tools_shape(tmp_path):
    text = (DATA / "cli_model.json").read_text(encoding="utf-8")
    assert Model.from_json(text).to_json() == text
    run_tool("convert", SAMPLE, tmp_path / "sample.json")
    assert rizeroz.read(SAMPLE).to_json() == (tmp_path / "sample.json").read_text(encoding="utf-8")


@pytest.mark.parametrize("text, message", [
    ('{"version": null, "fields": [{"name": "A", "checksum": 65536, "blocks": []}]}',
     "fields[0].checksum must be a whole number from 0 to 65535"),
    ('{"version": null, "fields": [{"name": "A", "blocks": [{"row_width": 8, "rows": ["ABC"]}]}]}',
     "fields[0].blocks[0].rows[0] has an odd number of hexadecimal digits"),
    ('{"version": null, "fields": [{"name": "A", "blocks": [{"row_width": 8, "rows": ["1 "]}]}]}',
     "fields[0].blocks[0].rows[0] holds a character that is no hexadecimal digit"),
    ('{"version": null, "fields": [], "nmae": 1}', 'the top-level object has an unknown member "nmae"'),
    ('{"version": null, "version": "x", "fields": []}', 'the member "version" appears twice in one object'),
    ('{"version": "a\\u0000", "fields": []}', '"version" holds a NUL character'),
    ('{"version": ', "line 1, column 13: the JSON text is malformed"),
])
def test_json_refused(text, message):
    with pytest.raises(ValueError, match=re.escape(message)):
        Model.from_json(text)


@pytest.mark.parametrize("field, error, where", [
    (Field("A", 0x10000), ValueError, r"fields\[0\].checksum"),
    (Field("A", 0, [Block(2**31)]), ValueError, r"fields\[0\].blocks\[0\].row_width"),
    (Field("A\0"), ValueError, r"fields\[0\].name holds a NUL"),
    (Field("A", 0, [Block(8, ["12"])]), TypeError, r"fields\[0\].blocks\[0\].rows must be a list of bytes"),
])
def test_write_refuses_values(tmp_path, field, error, where):
    with pytest.raises(error, match=where):
        rizeroz.write(Model("1", None, [field]), tmp_path / "x.xml")
    assert not (tmp_path / "x.xml").exists()


@pytest.mark.parametrize("text, code, line, column", [(ROW_ERROR, -1, 3, 32), ("<Other/>\n", -109, 0, 0), (None, -9, 0, 0)])
def test_errors_carry_the_place(tmp_path, text, code, line, column):
    path = tmp_path / "doc.xml"
    with pytest.raises(RizErozError) as caught:
        if text is None:
            rizeroz.write(Model("1"), tmp_path)  # a folder cannot be written as a file
        else:
            path.write_text(text)
            rizeroz.read(path)
    error = caught.value
    shown = str(tmp_path if text is None else path)
    assert (error.code, error.path, error.line, error.column) == (code, shown, line, column)
    assert str(error) == error.message and error.message.startswith(shown)


@pytest.mark.parametrize("target, options, code", [
    (None, {}, 0), ("/dev/full", {"safe": False}, -8), ("/dev/full", {}, -9)])
def test_write_outcomes(tmp_path, target, options, code):
    # The default, safe, write replaces a file keeping its mode; a full device fails
    # either way, with the path and the system's reason.
    if target is None:
        target = tmp_path / "kept.xml"
        target.write_text("the old text")
        target.chmod(0o640)
    elif not os.path.exists(target):
        pytest.skip(f"{target} is not on this system")
    if code == 0:
        rizeroz.write(rizeroz.read(SAMPLE), target, **options)
        assert target.read_bytes() == SAMPLE.read_bytes() and target.stat().st_mode & 0o7777 == 0o640
        return
    with pytest.raises(RizErozError) as caught:
        rizeroz.write(rizeroz.read(SAMPLE), target, **options)
    assert caught.value.code == code and caught.value.message.startswith(target)
    assert "No space left on device" in caught.value.message


def test_warnings_carry_the_place(tmp_path):
    path = tmp_path / "doc.xml"
    path.write_text("<SVF_Plus_Data>\n  <DataField/>\n</SVF_Plus_Data>\n")
    quiet, warned = rizeroz.read(path), rizeroz.read(path, warnings=True)
    assert quiet.warnings == [] and quiet == warned and warned.warnings_omitted == 0
    assert [(w.code, w.path, w.line, w.column) for w in warned.warnings] == [(6, str(path), 1, 1), (8, str(path), 2, 3)]
    assert str(warned.warnings[1]).startswith(f"{path}, line 2, column 3: data field 0 has no")


def test_evaluate():
    assert rizeroz.evaluate("(00*2+A5C3)", 32) == b"\x00\x00\xa5\xc3"
    assert rizeroz.evaluate("(00*2+A5C3)", 12) == b"\x00\x00"
    with pytest.raises(RizErozError) as caught:
        rizeroz.evaluate("(FF*", 8)
    assert caught.value.code == -201


def test_array():
    numpy = pytest.importorskip("numpy")
    block = rizeroz.read(SAMPLE).fields[1].blocks[0]
    array = block.array()
    assert array.dtype == numpy.uint8 and array.shape == (2, 32) and bytes(array[1]) == block.rows[1]
    assert Block(8).array().shape == (0, 0)
    with pytest.raises(ValueError, match="different lengths"):
        Block(8, [b"a", b"bc"]).array()


def test_example_of_the_docs(tmp_path):
    page = (HERE.parents[1] / "docs" / "python.md").read_text(encoding="utf-8")
    example = page.split("```python\n", 1)[1].split("```", 1)[0]
    shutil.copy(SAMPLE, tmp_path / "sample.xml")
    environment = dict(os.environ, PYTHONPATH=str(pathlib.Path(rizeroz.__file__).parents[1]))
    done = subprocess.run([sys.executable, "-c", example], cwd=tmp_path, env=environment, capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    lines = done.stdout.splitlines()
    assert lines[0] == "Usercode_MASK[0][0] = FFFFFFFF" and "FuseArray_MASK[1][0] = 5A" in lines
    assert lines[-1] == "read back: 12345678"
