"""Tests of the Python package: reading, building and writing, round trips against the
C++ library's output and the tool's JSON, the containers, errors as Python's own
exceptions, bytes and file objects (read where they lie, or a piece at a time, without a
temporary file), numpy both ways, and the example of docs/python.md.
RIZEROZ_TOOL names the rizeroz tool when it was built."""

import copy
import ctypes
import errno
import gc
import io
import os
import pathlib
import pickle
import re
import shutil
import subprocess
import sys
import tempfile

import pytest

import rizeroz
from rizeroz import Block, Field, Model, RizErozError

HERE = pathlib.Path(__file__).resolve().parent
DATA = HERE.parent / "data"
SAMPLE = DATA / "sample.xml"
TOOL = os.environ.get("RIZEROZ_TOOL")
ROW_ERROR = ('<SVF_Plus_Data version="1">\n<DataField name="A">\n  <FieldBlock row_width="8">0x1g</FieldBlock>\n'
             "</DataField>\n</SVF_Plus_Data>\n")
FUSES = [bytes(range(0, 256, 17)) * 2, b"\xa5" * 32]
# A model of 1 MB: pieces larger than a stream's buffer.
LONG = Model("1", None, [Field("A", 0, [Block(2048, [bytes([i % 251]) * 256 for i in range(4000)])])])


def run_tool(*arguments):
    if not TOOL:
        pytest.skip("the rizeroz tool was not built")
    subprocess.run([TOOL, *map(str, arguments)], check=True, capture_output=True)


@pytest.mark.parametrize("expression, expected", [
    ("model.version, model.comment", ("2.1", "bundled sample: two masks of a small device")),
    ("[(f.name, f.checksum, [b.row_width for b in f]) for f in model]",
     [("Usercode_MASK", 0x1A2B, [32]), ("FuseArray_MASK", 0, [256, 8])]),
    ("model[0][0].rows, model[1][0].rows, model[1][1].rows", ([b"\xff\xff\xff\xff", b"\x00\x00\xff\xff"], FUSES, [b"Z"])),
    ("len(model), len(model[1]), [len(block) for block in model[1]]", (2, 2, [2, 1])),
    ("model['FuseArray_MASK'] is model[1] is model.fields[1]", True),
    ("'Usercode_MASK' in model, 'Other' in model, model[0] in model", (True, False, True)),
    ("model[1][0][1], model[1][0][-2], model[1][0][::-1]", (FUSES[1], FUSES[0], FUSES[::-1])),
    ("list(model[1][0]), b'Z' in model[1][1], model[1][0].index(FUSES[1])", (FUSES, True, 1)),
    ("model[1][0] == Block(256, FUSES), model[1][0] == Block(8, FUSES)", (True, False)),
    ("repr(model)", "<Model version='2.1', 2 fields: 'Usercode_MASK', 'FuseArray_MASK'>"),
    ("repr(model[0]), repr(model[1][1])", ("<Field 'Usercode_MASK' checksum=0x1A2B, 1 block>",
                                           "<Block row_width=8, 1 row>")),
    ("model.get('FuseArray_MASK') is model[1], model.get('Other'), model.get('Other', 7)", (True, None, 7)),
    ("model[1][0][0], repr(model[1][0])", (FUSES[0], "<Block row_width=256, 2 rows, 64 bytes>")),
    # Rows read are read-only views of the block's one buffer, hashed as bytes are.
    ("[(row.readonly, row.obj is model[1][0].rows[0].obj) for row in (model[1][0][1], *model[1][0])]",
     [(True, True)] * 3),
    ("hash(model[1][0][0]) == hash(FUSES[0]), set(model[1][0]) == set(FUSES), bytes(model[1][1][0])",
     (True, True, b"Z")),
    # Lookups refused, with the exception a list or a dict raises.
    ("model['Other']", KeyError), ("model[2]", IndexError), ("model[1][0][2]", IndexError),
    ("model[1][0][-3]", IndexError), ("hash(model[0][0])", TypeError),
])
def test_containers(expression, expected):
    scope = {"model": rizeroz.read(SAMPLE), "Block": Block, "FUSES": FUSES}
    if isinstance(expected, type) and issubclass(expected, Exception):
        with pytest.raises(expected):
            eval(expression, scope)
    else:
        assert eval(expression, scope) == expected


@pytest.mark.parametrize("change", [
    lambda rows: rows.__setitem__(0, b"\x01"), lambda rows: rows.append(b""), lambda rows: rows.insert(1, b"ab"),
    lambda rows: rows.__delitem__(slice(0, 1)), lambda rows: rows.reverse(), lambda rows: rows.extend([b"1", b"2"]),
    lambda rows: rows.__iadd__([b"3"]), lambda rows: rows.remove(FUSES[1])])
def test_block_changes_as_a_list_does(tmp_path, change):
    model = rizeroz.read(SAMPLE)
    expected = list(FUSES)
    change(model[1][0])
    change(expected)
    assert list(model[1][0]) == model[1][0].rows == expected
    rizeroz.write(model, tmp_path / "changed.xml")
    assert rizeroz.read(tmp_path / "changed.xml")[1][0].rows == expected


@pytest.mark.parametrize("duplicate", [copy.copy, copy.deepcopy, lambda model: pickle.loads(pickle.dumps(model))])
def test_copies_hold_the_rows(duplicate):
    model = rizeroz.read(SAMPLE)
    second = duplicate(model)
    assert second == model == rizeroz.read(SAMPLE) and list(second[1][0]) == list(model[1][0]) == FUSES


def test_rows_read_outlive_the_model(tmp_path):
    # Blocks of 1 MB and of 64 bytes lie in one run each and are shown where the library read
    # them, nothing copied; rows of over 512 KB lie in blocks of memory of their own, apart,
    # and are moved. Either way the rows stay right after the model is gone and other reads
    # took its memory.
    wide = [bytes([i]) * 600_000 for i in (1, 2)]
    path, other = tmp_path / "three.xml", tmp_path / "other.xml"
    rizeroz.write(Model("1", None, [Field("A", 0, [Block(256, FUSES), LONG[0][0], Block(4_800_000, wide)])]), path)
    rizeroz.write(Model("1", None, [Field("A", 0, [Block(256, FUSES[::-1])])]), other)
    model = rizeroz.read(path)
    small, large, apart = list(model[0][0]), list(model[0][1]), list(model[0][2])
    assert [isinstance(rows[0].obj, ctypes.Array) for rows in (small, large, apart)] == [True, True, False]
    assert hash(small[1]) == hash(FUSES[1]) and small[0].readonly
    del model
    gc.collect()
    others = [list(rizeroz.read(other)[0][0]) for _ in range(4)]
    assert small == FUSES and large == LONG[0][0].rows and apart == wide and others[3] == FUSES[::-1]


def test_blocks_of_models_read_written_anywhere(tmp_path):
    # Blocks not yet used, from two models read, twice over, then used after the writes.
    first, second = rizeroz.read(SAMPLE), rizeroz.read(SAMPLE)
    mixed = Model("1", None, [Field("A", 0, [first[1][0], second[1][1], first[1][0]]), second[0], second[0]])
    for target in ("a.xml", "b.xml"):
        rizeroz.write(mixed, tmp_path / target)
        assert rizeroz.read(tmp_path / target) == mixed
    assert list(first[1][0]) == FUSES and second == first == rizeroz.read(SAMPLE)


def test_built_model_reads_back(tmp_path):
    # Texts with bytes that are not UTF-8, empty and odd rows, a negative width.
    model = Model("1.0", " caf\udce9 \u00e9 ", [
        Field("A", 0xFFFF, [Block(16, [b"\x12\x34", b"", bytes(range(256))]), Block(-5, [b"\x00"])]),
        Field("", 0, [Block(2**31 - 1, [bytearray(b"\x01")])]),
    ])
    rizeroz.write(model, tmp_path / "built.xml")
    assert rizeroz.read(tmp_path / "built.xml") == model
    assert b" caf\xe9 \xc3\xa9 " in (tmp_path / "built.xml").read_bytes()
    # What a data file does not keep (the library's rule, docs/python.md): no version and no
    # name come back empty, an empty comment as none; the JSON form keeps them.
    lossy = Model(None, "", [Field(None, 1, [Block(8, [b"\x01"])])])
    rizeroz.write(lossy, tmp_path / "lossy.xml")
    rizeroz.write(lossy, tmp_path / "lossy.json")
    assert rizeroz.read(tmp_path / "lossy.xml") == Model("", None, [Field("", 1, [Block(8, [b"\x01"])])])
    assert rizeroz.read(tmp_path / "lossy.json") == lossy == Model.from_json(lossy.to_json())


@pytest.mark.parametrize("form", ["xml", "json"])
@pytest.mark.parametrize("way", ["bytes", "file object", "path object", "bytes path"])
def test_bytes_and_file_objects(tmp_path, way, form):
    """Each way, a data file or JSON: chosen by the name's ending (a file object's too), and
    for bytes by the text's first byte."""
    model = rizeroz.read(SAMPLE, warnings=True)
    expected = SAMPLE.read_bytes() if form == "xml" else model.to_json().encode()
    target = tmp_path / ("\u03b1\u0436\u6f22\U0001f600." + form)   # paths are UTF-8
    if way == "bytes":
        data = rizeroz.dumps(model, format=form)
        again = rizeroz.loads(data)
    elif way == "file object":
        with open(target, "wb") as file:
            rizeroz.write(model, file)
        data = target.read_bytes()
        with open(target, "rb") as file:
            again = rizeroz.read(file)
    else:
        path = target if way == "path object" else os.fsencode(target)
        rizeroz.write(model, path)
        data, again = target.read_bytes(), rizeroz.read(path)
    assert data == expected and again == model


_FIELD = '<DataField name="A">'
_BLOCK = '<FieldBlock row_width="8">0x11'
_JSON = '{"version": "1", "comment": "a\\r\\nb", "fields": [{"name": "A", "checksum": 0, "blocks": []}]}'


# One table of documents through every front end: the tool (convert to JSON, or its error
# on stderr), the C interface (rz_read, rz_write_memory, its error's sentence) and Python
# (read, loads): the same model, or the same code, place and sentence. Texts with CR LF,
# JSON behind a byte order mark and white space, another root, a failure at each level.
@pytest.mark.parametrize("name, text", [
    ("crlf.xml", '<SVF_Plus_Data version="1\r\n">\r\n<Comment>two\r\nlines\r</Comment>\r\n'
                 '<DataField name="A\rB"><FieldBlock row_width="8">0x01,\r\n0x02</FieldBlock></DataField>\r\n'
                 "</SVF_Plus_Data>\r\n"),
    ("bom.json", "\ufeff \r\n\t" + _JSON),
    ("other.xml", "<Other><SVF_Plus_Data/></Other>"),
    ("root.xml", "<Comment>early</Comment>"),
    ("field.xml", '<SVF_Plus_Data version="1"><FieldBlock row_width="8">1</FieldBlock></SVF_Plus_Data>'),
    ("block.xml", '<SVF_Plus_Data version="1">' + _FIELD + _BLOCK + ",0xZZ</FieldBlock></DataField></SVF_Plus_Data>"),
    ("scan.xml", '<SVF_Plus_Data version="1">' + _FIELD + _BLOCK + "</DataField>"),
])
def test_every_front_end_reads_the_same(tmp_path, name, text):
    if not TOOL:
        pytest.skip("the rizeroz tool was not built")
    from rizeroz import _native

    path = tmp_path / name
    path.write_bytes(text.encode("utf-8"))
    lib = _native._lib
    # The C interface: the model as JSON, or (code, line, column, sentence).
    model, error = _native.ctypes.c_void_p(), _native.ctypes.c_void_p()
    json_flag = 2 if name.endswith(".json") else 0
    if lib.rz_read(os.fsencode(path), json_flag, _native.ctypes.byref(model), _native.ctypes.byref(error)) == 0:
        c_said = rizeroz.dumps(rizeroz.read(path), format="json").decode()
        lib.rz_model_free(model)
    else:
        lib.rz_error_sentence.restype = _native.ctypes.c_char_p
        c_said = (lib.rz_error_code(error), lib.rz_error_line(error), lib.rz_error_column(error),
                  lib.rz_error_sentence(error).decode())
        lib.rz_error_free(error)
    # The tool by the file's name, and from standard input, whose form it finds by a look.
    for given in (str(path), "-"):
        tool = subprocess.run([TOOL, "convert", given, str(tmp_path / "out.json"), "--to", "json"],
                              input=path.read_bytes(), capture_output=True)
        if tool.returncode == 0:
            tool_said = (tmp_path / "out.json").read_text(encoding="utf-8")
        else:
            found = re.match(r".*?:(\d+):(\d+): error: (.*) \(error (-\d+)\)\.\n$|.*?: error: (.*) \(error (-\d+)\)"
                             r"\.\n$", tool.stderr.decode(), re.S)
            assert found, tool.stderr
            line, column, sentence, code = found.group(1, 2, 3, 4) if found.group(1) else (0, 0) + found.group(5, 6)
            tool_said = (int(code), int(line), int(column), sentence)
        assert tool_said == c_said, (given, tool_said, c_said)
    python_said = []
    for read in (lambda: rizeroz.read(path), lambda: rizeroz.loads(path.read_bytes(), name=str(path))):
        try:
            python_said.append(rizeroz.dumps(read(), format="json").decode())
        except RizErozError as failure:
            python_said.append((failure.code, failure.line, failure.column, failure.message.split(": error: ", 1)[1]
                                .rsplit(" (error ", 1)[0]))
    # Python's message puts the sentence's first letter as it stands after the place.
    assert [said if isinstance(said, str) else said[:3] for said in python_said] == [
        c_said if isinstance(c_said, str) else c_said[:3]] * 2
    if isinstance(c_said, str):
        assert "\r" not in c_said or name.endswith(".json"), c_said   # line ends as XML reads them
    else:
        assert all(said[3] == c_said[3] for said in python_said), (python_said, c_said)


@pytest.mark.parametrize("name, format, json", [
    ("m.JSON", None, True), ("m.Json", None, True), ("m.json", "xml", False), ("m.xml", "json", True),
    ("json", None, False)])
def test_format_by_name_or_given(tmp_path, name, format, json):
    model = rizeroz.read(SAMPLE)
    rizeroz.write(model, tmp_path / name, format=format)
    data = (tmp_path / name).read_bytes()
    assert data.startswith(b"{") == json and rizeroz.read(tmp_path / name, format=format) == model
    assert rizeroz.loads((b" \r\n\t" if json else b"") + data) == model   # '{' after JSON's white space
    with pytest.raises(ValueError, match='format must be "xml" or "json"'):
        rizeroz.dumps(model, format="JSON")


class Taker(io.RawIOBase):
    """A raw file object whose write() answers call `at` with `reply` (an exception to raise,
    or the count to return: None, -1, more than offered); it takes half of each other piece
    and one byte, or with `whole` all of it."""
    def __init__(self, at=0, reply=None, whole=False):
        self.taken, self.calls, self.at, self.reply, self.whole = bytearray(), 0, at, reply, whole

    def writable(self):
        return True

    def write(self, data):
        self.calls += 1
        if self.calls == self.at:
            if isinstance(self.reply, BaseException):
                raise self.reply
            return self.reply(len(data))
        count = len(data) if self.whole else len(data) // 2 + 1
        self.taken += bytes(data[:count])
        return count


# (the write's answer at call 3, the exception write() raises, its errno, a part of its text)
@pytest.mark.parametrize("reply, raised, number, says", [
    (OSError(errno.ENOSPC, "full"), OSError, errno.ENOSPC, "full"),
    (lambda offered: None, BlockingIOError, errno.EAGAIN, "would block"),   # nothing taken, never "all"
    (lambda offered: -1, OSError, errno.EIO, "returned -1 for"),
    (lambda offered: 0, OSError, errno.EIO, "returned 0 for"),
    (lambda offered: offered + 3, OSError, errno.EIO, "a count from 1 to"),
])
def test_writing_to_memory_and_file_objects(monkeypatch, tmp_path, reply, raised, number, says):
    """dumps and write to a file object make no temporary file; a file object that takes
    part of each piece gets the rest; one that fails, or answers with a count Python's raw
    streams never give, ends the write with an exception naming it, the library's error as
    its cause, and has been given no byte twice."""
    with monkeypatch.context() as patched:
        patched.setattr(tempfile, "tempdir", str(tmp_path / "missing"))
        document, out = rizeroz.dumps(LONG), Taker()
        rizeroz.write(LONG, out)
        stopping = Taker(3, reply, whole=True)
        with pytest.raises(raised, match=re.escape(says)) as stopped:
            rizeroz.write(LONG, stopping)
    assert bytes(out.taken) == document and out.calls > 8 and rizeroz.loads(document) == LONG
    # The library's error has the exception's errno, at the piece the file object did not take.
    cause = stopped.value.__cause__
    assert isinstance(cause, RizErozError) and stopped.value.errno == number
    assert (cause.code, cause.errno, cause.offset) == (-8, number, len(stopping.taken)) and len(stopping.taken) > 0
    assert document.startswith(bytes(stopping.taken)) and stopping.calls == 3
    if raised is BlockingIOError:
        assert stopped.value.characters_written == len(stopping.taken)


@pytest.fixture(scope="module")
def large(tmp_path_factory):
    """A data file beyond the library's window of 256 KiB, its path and its model."""
    path = tmp_path_factory.mktemp("large") / "large.xml"
    rows = [bytes((i * 7 + j) % 256 for j in range(120)) for i in range(3000)]
    rizeroz.write(Model("1", "large", [Field("A", 0x1234, [Block(960, rows), Block(8, [b"\x01"] * 500)])]), path)
    assert path.stat().st_size > 600000
    return path, rizeroz.read(path)


class Pieces(io.RawIOBase):
    """A binary file object over ``data`` that gives at most ``piece`` bytes a call and,
    once ``stop`` bytes are given, raises ``failure`` or else returns ``count``."""

    def __init__(self, data, piece, stop=None, failure=None, count=None):
        super().__init__()
        self.data, self.piece, self.stop, self.failure, self.count, self.at = data, piece, stop, failure, count, 0

    def readable(self):
        return True

    def readinto(self, buffer):
        if self.stop is not None and self.at >= self.stop:
            if self.failure is not None:
                raise self.failure
            return self.count
        count = min(len(buffer), self.piece, len(self.data) - self.at)
        buffer[:count] = self.data[self.at:self.at + count]
        self.at += count
        return count


@pytest.mark.parametrize("form", ["bytes", "bytearray", "memoryview", "read-only slice", "strided view",
                                  "file object", "file object in pieces", "BytesIO", "JSON"])
def test_bytes_and_file_objects_read_without_a_temporary_file(large, tmp_path, monkeypatch, form):
    path, expected = large
    data = path.read_bytes()
    # Any temporary file would fail: its folder does not exist, and tempfile refuses.
    missing = str(tmp_path / "no-such-folder")
    monkeypatch.setenv("TMPDIR", missing)
    monkeypatch.setattr(tempfile, "tempdir", missing)
    for maker in ("mkstemp", "mkdtemp", "NamedTemporaryFile", "TemporaryFile", "SpooledTemporaryFile",
                  "TemporaryDirectory"):
        monkeypatch.setattr(tempfile, maker, lambda *args, **kwargs: pytest.fail("a temporary file was made"))
    if form.startswith("file object"):
        with open(path, "rb", buffering=0 if form.endswith("pieces") else -1) as file:
            model = rizeroz.read(Pieces(data, 1000) if form.endswith("pieces") else file)
            assert model.warnings == [] and file.name == str(path)
    elif form == "BytesIO":
        model = rizeroz.read(io.BytesIO(data), warnings=True)
    elif form == "JSON":
        model = Model.from_json(expected.to_json())
    else:
        given = {"bytes": data, "bytearray": bytearray(data), "memoryview": memoryview(bytearray(data)).cast("c"),
                 "read-only slice": memoryview(b"junk" + data)[4:],
                 "strided view": memoryview(bytes(b for byte in data for b in (byte, 0)))[::2]}[form]
        model = rizeroz.loads(given)
    assert model == expected and len(model[0][0]) == 3000


# The library's error, the exception's cause, has the errno the file object's failure gave
# it (EIO for one that is no OSError) and the offset where the read stopped: the bytes the
# object gave before it failed.
@pytest.mark.parametrize("failure, stop, count, raised, number", [
    (ValueError("the file object's own failure"), 0, None, ValueError, errno.EIO),
    (OSError(errno.ENXIO, "the device went away"), 70000, None, OSError, errno.ENXIO),
    (KeyboardInterrupt(), 300000, None, KeyboardInterrupt, errno.EIO),
    (None, 1000, None, BlockingIOError, errno.EAGAIN),  # readinto gives None: no bytes at hand
    (None, 1000, 10 ** 9, ValueError, errno.EIO),  # more than there was room for
])
def test_file_objects_that_fail_raise_their_own_exception(large, failure, stop, count, raised, number):
    path, expected = large
    data = path.read_bytes()
    source = Pieces(data, 4096, stop, failure, count)
    with pytest.raises(raised) as caught:
        rizeroz.read(source)
    assert failure is None or caught.value is failure
    cause = caught.value.__cause__
    assert isinstance(cause, rizeroz.RizErozOSError) and (cause.code, cause.errno) == (-102, number)
    assert cause.offset == source.at >= stop
    with pytest.raises(TypeError, match="not bytes: a binary file object is due"):
        rizeroz.read(io.StringIO(data.decode("ascii")))
    assert rizeroz.read(Pieces(data, 4096)) == expected  # the library reads on as before


@pytest.mark.parametrize("data, code, place, offset", [
    (b"", -109, (1, 1), 0),
    (b"<SVF_Plus_Data version='1'>\n<Comment>a\0b</Comment>\n</SVF_Plus_Data>", -119, (2, 11), 38),
    (ROW_ERROR.encode(), -1, (3, 32), 80),
    (b'\n {"version": "1", "fields": [], "rows": []}', -15, (2, 39), 39),
])
def test_bytes_refused_at_their_place(data, code, place, offset):
    for given in (data, bytearray(data), memoryview(data)):
        with pytest.raises(RizErozError) as caught:
            rizeroz.loads(given, name="doc")
        error = caught.value
        assert (error.code, (error.line, error.column), error.offset, error.path) == (code, place, offset, "doc")
        assert error.message.startswith(f"doc:{place[0]}:{place[1]}: error: ")
    for wrong, kind in (("text", TypeError), (12, TypeError)):
        with pytest.raises(kind):
            rizeroz.loads(wrong)
    with pytest.raises(ValueError, match="NUL"):
        rizeroz.loads(data, name="a\0b")


@pytest.mark.parametrize("source, name", [(io.BytesIO(b"<SVF_Plus_Data>\n  <DataField/>\n"), "<stream>"),
                                          (b"<SVF_Plus_Data>\n  <DataField/>\n", "<bytes>")])
def test_bytes_named_in_errors_and_warnings(source, name):
    with pytest.raises(RizErozError) as caught:
        rizeroz.read(source) if isinstance(source, io.BytesIO) else rizeroz.loads(source)
    assert caught.value.path == name and caught.value.message.startswith(f"{name}:3:1: error: ")
    warned = rizeroz.loads(b"<SVF_Plus_Data>\n  <DataField/>\n</SVF_Plus_Data>\n", warnings=True, name="x")
    assert [(w.path, str(w)[:15]) for w in warned.warnings] == [("x", "x:1:1: warning:"), ("x", "x:2:3: warning:")]


# The JSON reader's full table of refusals is the tool's (tests/cli/cli_test.py,
# test_convert_failures); here white space and a digit of another script in a row, and syntax.
@pytest.mark.parametrize("text, message", [
    ('{"version": null, "fields": [{"name": "A", "blocks": [{"row_width": 8, "rows": ["12  34"]}]}]}',
     ':1:84: error: fields[0].blocks[0].rows[0] holds " " where a hexadecimal digit is due'),
    ('{"version": null, "fields": [{"name": "A", "blocks": [{"row_width": 8, "rows": ["\\u0661\\u0661"]}]}]}',
     "fields[0].blocks[0].rows[0] holds a character where a hexadecimal digit is due"),
    ('{"version": ', ":1:13: error: the JSON text is malformed"),
])
def test_json_refused(text, message):
    with pytest.raises(ValueError, match=re.escape(message)) as caught:
        Model.from_json(text)
    assert str(caught.value).startswith("<json>:1:") and caught.value.__cause__.code in (-14, -15)


@pytest.mark.parametrize("name, flags", [("py.xml", []), ("py.xml", ["--expressions"]), ("py.json", [])])
def test_writes_what_the_tool_writes(tmp_path, name, flags):
    """The package writes the bytes the rizeroz tool writes: a data file, with and without
    expressions, and JSON in the tool's shape, which reads back to the same text."""
    text = (DATA / "cli_model.json").read_text(encoding="utf-8")
    assert Model.from_json(text).to_json() == text
    rizeroz.write(rizeroz.read(SAMPLE), tmp_path / name, expressions=bool(flags))
    run_tool("convert", SAMPLE, tmp_path / name.replace("py", "cpp"), *flags)
    written = (tmp_path / name).read_bytes()
    assert written == (tmp_path / name.replace("py", "cpp")).read_bytes() and (b"(" in written) == bool(flags)


@pytest.mark.parametrize("field, error, where", [
    (Field("A", 0x10000), ValueError, r"fields\[0\].checksum"),
    (Field("A", 0, [Block(2**31)]), ValueError, r"fields\[0\].blocks\[0\].row_width"),
    (Field("A\0"), ValueError, r"fields\[0\].name holds a NUL"),
    (Field("A", 0, [Block(8, ["12"])]), TypeError, r"fields\[0\].blocks\[0\].rows must be a list of bytes"),
    (1, TypeError, r"fields\[0\] must be a rizeroz.Field, not int"),
    (Field("A", 0, [2]), TypeError, r"fields\[0\].blocks\[0\] must be a rizeroz.Block, not int"),
])
def test_write_refuses_values(tmp_path, field, error, where):
    with pytest.raises(error, match=where):
        rizeroz.write(Model("1", None, [field]), tmp_path / "x.xml")
    assert not (tmp_path / "x.xml").exists()
    with pytest.raises(error, match=where):
        Model("1", None, [field]).to_json()


@pytest.mark.parametrize("path", ["a\0b.xml", b"a\0x", pathlib.Path("sub\0") / "x.xml"])
@pytest.mark.parametrize("action", ["read", "write"])
def test_paths_with_a_nul_refused(tmp_path, monkeypatch, path, action):
    monkeypatch.chdir(tmp_path)
    (tmp_path / "a").write_bytes(SAMPLE.read_bytes())
    with pytest.raises(ValueError, match="NUL"):
        rizeroz.read(path) if action == "read" else rizeroz.write(Model("1"), path)
    assert sorted(os.listdir(tmp_path)) == ["a"] and (tmp_path / "a").read_bytes() == SAMPLE.read_bytes()


# Each failure: the exception's classes, the library's code, the system's error number
# (the library's record of it) and the byte offset (a folder fails its first read, at 0).
@pytest.mark.parametrize("target, action, kinds, code, number, offset", [
    ("missing/x.xml", "read", (rizeroz.RizErozFileNotFoundError, FileNotFoundError), -101, errno.ENOENT, -1),
    ("missing/x.json", "read", (rizeroz.RizErozFileNotFoundError, FileNotFoundError), -101, errno.ENOENT, -1),
    ("missing/x.json", "write", (rizeroz.RizErozFileNotFoundError, FileNotFoundError), -9, errno.ENOENT, -1),
    ("missing/x.json", "write in place", (FileNotFoundError,), -5, errno.ENOENT, -1),
    (".", "read", (rizeroz.RizErozIsADirectoryError, IsADirectoryError), -102, errno.EISDIR, 0),
    # A long write fails as its pieces are written, not at the end.
    ("/dev/full", "write", (rizeroz.RizErozOSError,), -9, errno.ENOSPC, -1),
    ("/dev/full", "write in place", (rizeroz.RizErozOSError,), -8, errno.ENOSPC, -1),
    ("/dev/full", "write json", (rizeroz.RizErozOSError,), -9, errno.ENOSPC, -1),
    ("/dev/full", "write json in place", (rizeroz.RizErozOSError,), -8, errno.ENOSPC, -1),
    ("/sys/kernel/notes", "write in place", (rizeroz.RizErozPermissionError, PermissionError), -5, errno.EACCES, -1),
    ("row.xml", "read", (RizErozError,), -1, None, 80),
])
def test_errors_are_pythons_own(tmp_path, monkeypatch, target, action, kinds, code, number, offset):
    monkeypatch.chdir(tmp_path)
    pathlib.Path("row.xml").write_text(ROW_ERROR)
    if target.startswith("/") and not os.path.exists(target):
        pytest.skip(f"{target} is not on this system")
    with pytest.raises(RizErozError) as caught:
        if action == "read":
            rizeroz.read(target)
        else:
            rizeroz.write(LONG, target, safe="in place" not in action, format="json" if "json" in action else None)
    error = caught.value
    assert isinstance(error, kinds) and error.code == code and str(error) == error.message
    assert type(error).__module__ == "rizeroz" and getattr(rizeroz, type(error).__name__) is type(error)
    assert error.message.startswith(target) and error.path == target and error.offset == offset
    if number is None:
        assert not isinstance(error, OSError) and (error.line, error.column) == (3, 32)
    else:
        assert (error.errno, error.strerror, error.filename) == (number, os.strerror(number), target)
    # A process pool passes it on: it pickles whole.
    again = pickle.loads(pickle.dumps(error))
    assert type(again) is type(error) and again.__reduce__() == error.__reduce__() and str(again) == str(error)
    assert (again.line, again.column, again.offset, getattr(again, "errno", None)) == (error.line, error.column,
                                                                                        offset, number)


def test_warnings_carry_the_place(tmp_path):
    path = tmp_path / "doc.xml"
    path.write_text("<SVF_Plus_Data>\n  <DataField/>\n</SVF_Plus_Data>\n")
    quiet, warned = rizeroz.read(path), rizeroz.read(path, warnings=True)
    assert quiet.warnings == [] and quiet == warned and warned.warnings_omitted == 0
    assert [(w.code, w.path, w.line, w.column, w.offset) for w in warned.warnings] == [(6, str(path), 1, 1, 0),
                                                                                       (8, str(path), 2, 3, 18)]
    assert str(warned.warnings[1]).startswith(f"{path}:2:3: warning: data field 0 has no")
    assert repr(warned.warnings[1]).startswith(f"ReadWarning(code=8, message={str(warned.warnings[1])!r}, path=")


def test_progress_after_each_field_block(monkeypatch):
    told, calls = [], []
    # The library calls into Python once a field block, not once a row as well.
    made = rizeroz._native._READ_CALLBACK
    monkeypatch.setattr(rizeroz._native, "_READ_CALLBACK",
                        lambda function: made(lambda *called: calls.append(called) or function(*called)))
    model = rizeroz.read(SAMPLE, progress=lambda done, total: told.append((done, total)))
    size = SAMPLE.stat().st_size
    assert model == rizeroz.read(SAMPLE) and len(told) == len(calls) == 3 and all(total == size for _, total in told)
    assert [done for done, _ in told] == sorted(done for done, _ in told) and 0 < told[0][0] <= told[-1][0] <= size
    assert rizeroz.loads(SAMPLE.read_bytes(), progress=lambda *_: None) == model



@pytest.fixture(scope="module")
def many_blocks(tmp_path_factory):
    """A data file and its JSON form of 16 field blocks (each its own width, so that none
    joins the one before), each over 128 KB of text."""
    folder = tmp_path_factory.mktemp("many")
    model = Model("1", None, [Field("A", 0, [Block(512 + b, [bytes([b, r % 256]) * 32 for r in range(1000)])
                                             for b in range(16)])])
    rizeroz.write(model, folder / "many.xml")
    rizeroz.write(model, folder / "many.json")
    return folder


# A progress function that raises stops the read there: it is not called again, the
# library reads no further, and its exception comes out with the library's record of the
# stop (code -17) as the cause; after it, the same file reads whole.
@pytest.mark.parametrize("name, way, stop_at", [
    ("many.xml", "path", 1), ("many.xml", "path", 3), ("many.xml", "bytes", 2), ("many.xml", "file object", 2),
    ("many.json", "path", 1), ("many.json", "bytes", 2), ("many.json", "file object", 1),
])
def test_progress_that_raises_stops_the_read(many_blocks, name, way, stop_at):
    path = many_blocks / name
    told = []

    def stop(done, total):
        told.append((done, total))
        if len(told) == stop_at:
            raise KeyboardInterrupt

    opened = open(path, "rb") if way == "file object" else None
    source = {"path": path, "bytes": path.read_bytes(), "file object": opened}[way]
    read = rizeroz.loads if way == "bytes" else rizeroz.read
    kind = {"format": "json"} if name.endswith(".json") else {}
    with pytest.raises(KeyboardInterrupt) as caught:
        read(source, progress=stop, **kind)
    size = path.stat().st_size
    assert len(told) == stop_at and told[-1][0] < size / 2
    assert opened is None or opened.tell() <= told[-1][0] + 262144 < size
    cause = caught.value.__cause__
    assert isinstance(cause, RizErozError) and cause.code == -17 and "stopped" in str(cause)
    if opened is not None:
        opened.close()
    assert len(read(path.read_bytes() if way == "bytes" else path, **kind)[0]) == 16


def test_evaluate():
    assert rizeroz.evaluate("(00*2+A5C3)", 32) == b"\x00\x00\xa5\xc3"
    assert rizeroz.evaluate("(00*2+A5C3)", 12) == b"\x00\x00"
    with pytest.raises(RizErozError) as caught:
        rizeroz.evaluate("(FF*", 8)
    assert caught.value.code == -201


@pytest.mark.parametrize("lines, dtype, row_width, rows", [
    ([[1, 2], [3, 4]], "uint8", 16, [b"\x01\x02", b"\x03\x04"]),
    ([[0xFF, 0x80]], "int8", 16, [b"\xff\x80"]),
    ([[1, 0, 1, 1, 0, 0, 0, 0, 1], [0] * 9], "bool", 9, [b"\xb0\x80", b"\x00\x00"]),
    (list(range(3)), "uint8", None, "must have 2 dimensions"),
    ([[1.5]], "float64", None, "must hold uint8 or bool values"),
])
def test_numpy_both_ways(tmp_path, lines, dtype, row_width, rows):
    numpy = pytest.importorskip("numpy")
    array = numpy.array(lines).astype(dtype)
    if isinstance(rows, str):
        with pytest.raises(ValueError, match=rows):
            Block.from_array(array)
        return
    block = Block.from_array(array)
    assert (block.row_width, block.rows) == (row_width, rows)
    rizeroz.write(Model("1", None, [Field("A", 0, [block])]), tmp_path / "a.xml")
    back = rizeroz.read(tmp_path / "a.xml")[0][0].array()
    assert back.dtype == numpy.uint8 and back.tolist() == [list(row) for row in rows]


def test_array_of_rows_read():
    numpy = pytest.importorskip("numpy")
    block = rizeroz.read(SAMPLE)[1][0]
    array = block.array()
    assert array.dtype == numpy.uint8 and array.shape == (2, 32) and bytes(array[1]) == block[1]
    assert (numpy.asarray(block) == array).all() and numpy.asarray(block, dtype=numpy.int16).dtype == numpy.int16
    # The block's own buffer, read-only; a copy only when one is asked for.
    assert numpy.shares_memory(array, block[0]) and not array.flags.writeable
    owned = block.__array__(copy=True)
    assert owned.flags.writeable and not numpy.shares_memory(owned, array) and (owned == array).all()
    with pytest.raises(ValueError):
        block.__array__(numpy.int16, copy=False)
    assert Block.from_array(array, 256) == block and Block(8).array().shape == (0, 0)
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
