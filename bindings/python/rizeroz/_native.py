"""The C interface of the rizeroz library (rizeroz.h) through ctypes.

The library is found, in this order: the file named by the environment variable
RIZEROZ_LIBRARY; the library that the build or the installation placed beside this
package (recorded in _location.py); the system's loader ("librizeroz.so", "rizeroz.dll").
"""

from __future__ import annotations

import ctypes
import ctypes.util
import itertools
import os
import sys
from typing import List, Optional, Union

from .model import Block, Field, Model, ReadWarning, check_text, check_whole

PathLike = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]

# rizeroz.h's values; the test code_tables holds every "RZ_NAME = VALUE" line to the library.
RZ_ERR_ARGUMENT = -301
RZ_ERR_MEMORY = -302
RZ_WRITE_EXPRESSIONS = 1
RZ_WRITE_SAFE = 2
RZ_READ_WARNINGS = 1


class RizErozError(Exception):
    """A failure reported by the library: its result code, its sentence, and where.

    ``path`` is the file as given ("" when none), ``line`` and ``column`` the place in
    the document (0 when not known). ``str(error)`` is the sentence.
    """

    def __init__(self, code: int, message: str, path: str = "", line: int = 0, column: int = 0) -> None:
        super().__init__(message)
        self.code = code
        self.message = message
        self.path = path
        self.line = line
        self.column = column


def _candidates() -> List[str]:
    explicit = os.environ.get("RIZEROZ_LIBRARY")
    if explicit:
        return [explicit]
    found = []
    try:
        from . import _location  # written by the build and by the installation

        found.append(os.path.normpath(os.path.join(os.path.dirname(__file__), _location.LIBRARY)))
    except ImportError:
        pass
    found.append(ctypes.util.find_library("rizeroz") or ("rizeroz.dll" if os.name == "nt" else "librizeroz.so"))
    return found


def _load() -> ctypes.CDLL:
    tried = []
    for candidate in _candidates():
        try:
            return ctypes.CDLL(candidate)
        except OSError as failure:
            tried.append(f"{candidate}: {failure}")
    raise OSError("the rizeroz library cannot be loaded (" + "; ".join(tried) +
                  "); set RIZEROZ_LIBRARY to the path of librizeroz.so or rizeroz.dll")


_lib = _load()
_P = ctypes.c_void_p
_signatures = {
    "rz_version": (ctypes.c_char_p, []),
    "rz_describe_code": (ctypes.c_char_p, [ctypes.c_int]),
    "rz_error_code": (ctypes.c_int, [_P]),
    "rz_error_message": (ctypes.c_char_p, [_P]),
    "rz_error_path": (ctypes.c_char_p, [_P]),
    "rz_error_line": (ctypes.c_long, [_P]),
    "rz_error_column": (ctypes.c_long, [_P]),
    "rz_error_free": (None, [_P]),
    "rz_read": (ctypes.c_int, [ctypes.c_char_p, ctypes.c_uint, ctypes.POINTER(_P), ctypes.POINTER(_P)]),
    "rz_model_warning_count": (ctypes.c_int, [_P]),
    "rz_model_warning": (_P, [_P, ctypes.c_int]),
    "rz_model_warnings_omitted": (ctypes.c_long, [_P]),
    "rz_write": (ctypes.c_int, [_P, ctypes.c_char_p, ctypes.c_uint, ctypes.POINTER(_P)]),
    "rz_evaluate": (ctypes.c_int, [ctypes.c_char_p, ctypes.c_int, ctypes.c_char_p, ctypes.c_size_t,
                                   ctypes.POINTER(_P)]),
    "rz_model_new": (_P, []),
    "rz_model_free": (None, [_P]),
    "rz_model_version": (ctypes.c_char_p, [_P]),
    "rz_model_set_version": (ctypes.c_int, [_P, ctypes.c_char_p]),
    "rz_model_comment": (ctypes.c_char_p, [_P]),
    "rz_model_set_comment": (ctypes.c_int, [_P, ctypes.c_char_p]),
    "rz_model_field_count": (ctypes.c_int, [_P]),
    "rz_model_field": (_P, [_P, ctypes.c_int]),
    "rz_model_add_field": (_P, [_P, ctypes.c_char_p]),
    "rz_field_name": (ctypes.c_char_p, [_P]),
    "rz_field_checksum": (ctypes.c_uint, [_P]),
    "rz_field_set_checksum": (ctypes.c_int, [_P, ctypes.c_uint]),
    "rz_field_block_count": (ctypes.c_int, [_P]),
    "rz_field_block": (_P, [_P, ctypes.c_int]),
    "rz_field_add_block": (_P, [_P, ctypes.c_int]),
    "rz_block_row_width": (ctypes.c_int, [_P]),
    "rz_block_row_count": (ctypes.c_int, [_P]),
    "rz_block_byte_count": (ctypes.c_size_t, [_P]),
    "rz_block_take_rows": (ctypes.c_int, [_P, ctypes.c_char_p, ctypes.c_size_t, _P, ctypes.c_size_t]),
    "rz_block_add_rows": (ctypes.c_int, [_P, ctypes.c_char_p, _P, ctypes.c_size_t]),
}
for _name, (_result, _arguments) in _signatures.items():
    _function = getattr(_lib, _name)
    _function.restype = _result
    _function.argtypes = _arguments


def library_version() -> str:
    """The version of the loaded library, "MAJOR.MINOR.PATCH"."""
    return _lib.rz_version().decode("ascii")


def _raise_error(error: ctypes.c_void_p, code: int) -> None:
    if not error:
        _checked(code)
    try:
        raise RizErozError(_lib.rz_error_code(error), _from_c(_lib.rz_error_message(error)) or "",
                           _from_c(_lib.rz_error_path(error)) or "", _lib.rz_error_line(error),
                           _lib.rz_error_column(error))
    finally:
        _lib.rz_error_free(error)


def _checked(code: int) -> int:
    if code == RZ_ERR_MEMORY:
        raise MemoryError()
    if code < 0:
        raise RizErozError(code, f"{_lib.rz_describe_code(code).decode()} (error {code}).")
    return code


def _from_c(text: Optional[bytes]) -> Optional[str]:
    return None if text is None else text.decode("utf-8", "surrogateescape")


def _to_c(text: Optional[str], where: str) -> Optional[bytes]:
    text = check_text(text, where)
    return None if text is None else text.encode("utf-8", "surrogateescape")


def _path(path: PathLike) -> bytes:
    path = os.fspath(path)
    if isinstance(path, bytes):
        return path
    # The library opens files with the C runtime: on Windows in the ANSI code page.
    return path.encode("mbcs") if sys.platform == "win32" else os.fsencode(path)


class _RowMover:
    """Moves the rows of a model's blocks into Python ``bytes``, block by block.

    Each block's rows are copied into one scratch buffer and freed in the library at
    once, so that the rows' memory goes as the ``bytes`` objects come: reading holds
    about one copy of the rows in memory, not two.
    """

    def __init__(self) -> None:
        self.scratch = ctypes.create_string_buffer(0)

    def take(self, block: int) -> List[bytes]:
        count = _lib.rz_block_row_count(block)
        size = _lib.rz_block_byte_count(block)
        if size > len(self.scratch):
            self.scratch = ctypes.create_string_buffer(size)
        ends = (ctypes.c_size_t * count)()
        _checked(_lib.rz_block_take_rows(block, self.scratch, len(self.scratch), ends, count))
        scratch = self.scratch
        ends_list = list(ends)
        return [scratch[start:end] for start, end in zip([0] + ends_list, ends_list)]


def _to_python(handle: int) -> Model:
    """The model of ``handle`` in Python; its rows leave the library's model."""
    mover = _RowMover()
    model = Model(_from_c(_lib.rz_model_version(handle)), _from_c(_lib.rz_model_comment(handle)))
    for i in range(_lib.rz_model_field_count(handle)):
        field_handle = _lib.rz_model_field(handle, i)
        field = Field(_from_c(_lib.rz_field_name(field_handle)), _lib.rz_field_checksum(field_handle))
        for j in range(_lib.rz_field_block_count(field_handle)):
            block = _lib.rz_field_block(field_handle, j)
            field.blocks.append(Block(_lib.rz_block_row_width(block), mover.take(block)))
        model.fields.append(field)
    for i in range(_lib.rz_model_warning_count(handle)):
        warning = _lib.rz_model_warning(handle, i)
        model.warnings.append(ReadWarning(_lib.rz_error_code(warning), _from_c(_lib.rz_error_message(warning)) or "",
                                          _from_c(_lib.rz_error_path(warning)) or "", _lib.rz_error_line(warning),
                                          _lib.rz_error_column(warning)))
    model.warnings_omitted = _lib.rz_model_warnings_omitted(handle)
    return model


def _fill(handle: int, model: Model) -> None:
    if not isinstance(model, Model):
        raise TypeError(f"a rizeroz.Model is due, not {type(model).__name__}")
    _checked(_lib.rz_model_set_version(handle, _to_c(model.version, "version")))
    _checked(_lib.rz_model_set_comment(handle, _to_c(model.comment, "comment")))
    for i, field in enumerate(model.fields):
        where = f"fields[{i}]"
        field_handle = _lib.rz_model_add_field(handle, _to_c(field.name, where + ".name"))
        if not field_handle:
            raise MemoryError()
        _checked(_lib.rz_field_set_checksum(field_handle, check_whole(field.checksum, 0, 0xFFFF, where + ".checksum")))
        for j, block in enumerate(field.blocks):
            block_where = f"{where}.blocks[{j}]"
            width = check_whole(block.row_width, -(2**31), 2**31 - 1, block_where + ".row_width")
            block_handle = _lib.rz_field_add_block(field_handle, width)
            if not block_handle:
                raise MemoryError()
            try:
                data = b"".join(block.rows)
                lengths = [memoryview(row).nbytes for row in block.rows]
            except TypeError:
                raise TypeError(f"{block_where}.rows must be a list of bytes") from None
            ends = (ctypes.c_size_t * len(lengths))(*itertools.accumulate(lengths))
            _checked(_lib.rz_block_add_rows(block_handle, data, ends, len(lengths)))


def read(path: PathLike, warnings: bool = False) -> Model:
    """Reads the data file ``path`` into a new :class:`Model`.

    With ``warnings``, ``model.warnings`` lists what the reader took leniently
    (:class:`ReadWarning`, docs/warnings.md); what is read is the same either way.
    Raises :class:`RizErozError` with the reader's code, sentence, line and column when
    the file cannot be read or is refused.
    """
    handle = ctypes.c_void_p()
    error = ctypes.c_void_p()
    flags = RZ_READ_WARNINGS if warnings else 0
    code = _lib.rz_read(_path(path), flags, ctypes.byref(handle), ctypes.byref(error))
    if code != 0:
        _raise_error(error, code)
    try:
        return _to_python(handle.value)
    finally:
        _lib.rz_model_free(handle)


def write(model: Model, path: PathLike, expressions: bool = False, safe: bool = True) -> None:
    """Writes ``model`` to the data file ``path`` in the library's layout.

    With ``expressions``, rows are written as expressions where those are shorter. With
    ``safe`` (the default), the text goes to a temporary file beside ``path`` that takes
    its place once every byte is on the disk, so that a failure leaves the old file as it
    was; with ``safe=False``, the file is truncated when writing begins and then written
    in place. Raises ValueError or TypeError for a value a data model cannot hold, naming
    it, and :class:`RizErozError` when the file cannot be written or not every byte
    reached it.
    """
    handle = _lib.rz_model_new()
    if not handle:
        raise MemoryError()
    try:
        _fill(handle, model)
        error = ctypes.c_void_p()
        flags = (RZ_WRITE_EXPRESSIONS if expressions else 0) | (RZ_WRITE_SAFE if safe else 0)
        code = _lib.rz_write(handle, _path(path), flags, ctypes.byref(error))
        if code != 0:
            _raise_error(error, code)
    finally:
        _lib.rz_model_free(handle)


def evaluate(expression: str, row_width: int) -> bytes:
    """The row the reader makes of a row expression for a row of ``row_width`` bits.

    Raises :class:`RizErozError` when the expression does not evaluate.
    """
    text = _to_c(expression, "expression") or b""
    width = check_whole(row_width, -(2**31), 2**31 - 1, "row_width")
    error = ctypes.c_void_p()
    length = _lib.rz_evaluate(text, width, None, 0, ctypes.byref(error))
    if length < 0:
        _raise_error(error, length)
    row = ctypes.create_string_buffer(length)
    _checked(_lib.rz_evaluate(text, width, row, length, None))
    return row.raw
