"""The C interface of the rizeroz library (rizeroz.h) through ctypes.

The library is found, in this order: the file named by the environment variable
RIZEROZ_LIBRARY; the library beside this package, where the wheel, the build tree and
the installation put it (its place relative to the package is in _location.py); the
system's loader ("librizeroz.so", "rizeroz.dll").
"""

from __future__ import annotations

import ctypes
import os
import sys
from array import array
from threading import Lock

from .model import Block, Field, Model, ReadWarning, Report, check_kind, check_text, check_whole

TYPE_CHECKING = False
if TYPE_CHECKING:  # typing's names cost an import: only the checker needs them
    from typing import Any, BinaryIO, Callable, List, Optional, Tuple, Union

    from .model import Packed

    PathLike = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]

# rizeroz.h's values; the test code_tables holds every "RZ_NAME = VALUE" line to the library.
RZ_ERR_ARGUMENT = -301
RZ_ERR_MEMORY = -302
RZ_ERR_STOPPED = -17
RZ_WRITE_EXPRESSIONS = 1
RZ_WRITE_SAFE = 2
RZ_WRITE_JSON = 4
RZ_READ_WARNINGS = 1
RZ_READ_JSON = 2
RZ_READ_PROGRESS_ONLY = 4
RZ_READ_STOPPABLE = 8
RZ_FORM_JSON = 2   # rz_text_form: the JSON form
# The library's code for memory that ran out while reading.
_NO_MEMORY = -12


class RizErozError(Report, Exception):
    """A failure reported by the library: its result code, its sentence, and where.

    ``path`` is the file as given ("" when none), ``line`` and ``column`` the place in
    the document (0 when not known), ``offset`` the byte offset in it (-1 when not known).
    ``str(error)`` is the message: ``FILE:LINE:COLUMN: error: SENTENCE (error CODE).``
    """

    __module__ = "rizeroz"

    def __init__(self, code: int, message: str, path: str = "", line: int = 0, column: int = 0,
                 offset: int = -1) -> None:
        Exception.__init__(self, message)
        self._keep(code, message, path, line, column, offset)

    def __str__(self) -> str:
        return self.message

    def __reduce__(self) -> Tuple[Any, ...]:
        # pickle and copy make it again from its fields (a process pool passes it on).
        return type(self), self._fields()


class RizErozOSError(RizErozError, OSError):
    """A file the library could not open, read, write or save, for the system's reason:
    also an ``OSError`` with ``errno`` (the library's, rz_error_errno), ``strerror`` and
    ``filename`` (the path)."""

    __module__ = "rizeroz"

    def __init__(self, code: int, message: str, path: str, number: int, line: int = 0, column: int = 0,
                 offset: int = -1) -> None:
        RizErozError.__init__(self, code, message, path, line, column, offset)
        OSError.__init__(self, number, os.strerror(number), path)

    def __str__(self) -> str:
        return self.message

    def __reduce__(self) -> Tuple[Any, ...]:
        return type(self), (self.code, self.message, self.path, self.errno, self.line, self.column, self.offset)


class RizErozFileNotFoundError(RizErozOSError, FileNotFoundError):
    """The file, or a folder on its path, does not exist (``errno.ENOENT``)."""

    __module__ = "rizeroz"


class RizErozPermissionError(RizErozOSError, PermissionError):
    """The system refused access to the file (``errno.EACCES``, ``errno.EPERM``)."""

    __module__ = "rizeroz"


class RizErozIsADirectoryError(RizErozOSError, IsADirectoryError):
    """A folder was given where a file is due (``errno.EISDIR``)."""

    __module__ = "rizeroz"


def _candidates() -> List[str]:
    explicit = os.environ.get("RIZEROZ_LIBRARY")
    if explicit:
        return [explicit]
    found = []
    try:
        from ._location import LIBRARY  # written by the build, the installation and the wheel

        found.append(os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), LIBRARY)))
    except ImportError:
        pass
    found.append("rizeroz.dll" if os.name == "nt" else "librizeroz.so")
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
_SIZES = ctypes.POINTER(ctypes.c_size_t)
# The array type code of size_t, which holds the rows' ends.
_SIZE_BYTES = ctypes.sizeof(ctypes.c_size_t)
_SIZE_CODE = "Q" if _SIZE_BYTES == 8 else "I"
_signatures = {
    "rz_version": (ctypes.c_char_p, []),
    "rz_describe_code": (ctypes.c_char_p, [ctypes.c_int]),
    "rz_error_code": (ctypes.c_int, [_P]),
    "rz_error_message": (ctypes.c_char_p, [_P]),
    "rz_error_path": (ctypes.c_char_p, [_P]),
    "rz_error_line": (ctypes.c_long, [_P]),
    "rz_error_column": (ctypes.c_long, [_P]),
    "rz_error_errno": (ctypes.c_int, [_P]),
    "rz_error_offset": (ctypes.c_longlong, [_P]),
    "rz_error_free": (None, [_P]),
    "rz_text_form": (ctypes.c_int, [ctypes.c_char_p, _P, ctypes.c_size_t, ctypes.c_int]),
    "rz_read": (ctypes.c_int, [ctypes.c_char_p, ctypes.c_uint, ctypes.POINTER(_P), ctypes.POINTER(_P)]),
    "rz_read_with_callback": (ctypes.c_int, [ctypes.c_char_p, ctypes.c_uint, _P, _P, ctypes.POINTER(_P),
                                             ctypes.POINTER(_P)]),
    "rz_read_memory": (ctypes.c_int, [_P, ctypes.c_size_t, ctypes.c_char_p, ctypes.c_uint, _P, _P,
                                      ctypes.POINTER(_P), ctypes.POINTER(_P)]),
    "rz_read_stream": (ctypes.c_int, [_P, _P, ctypes.c_char_p, ctypes.c_uint, _P, _P, ctypes.POINTER(_P),
                                      ctypes.POINTER(_P)]),
    "rz_model_warning_count": (ctypes.c_int, [_P]),
    "rz_model_warning": (_P, [_P, ctypes.c_int]),
    "rz_model_warnings_omitted": (ctypes.c_long, [_P]),
    "rz_write": (ctypes.c_int, [_P, ctypes.c_char_p, ctypes.c_uint, ctypes.POINTER(_P)]),
    "rz_write_memory": (ctypes.c_int, [_P, ctypes.c_uint, ctypes.POINTER(_P), ctypes.POINTER(ctypes.c_size_t),
                                       ctypes.POINTER(_P)]),
    "rz_free": (None, [_P]),
    "rz_write_stream": (ctypes.c_int, [_P, ctypes.c_uint, _P, _P, ctypes.c_char_p, ctypes.POINTER(_P)]),
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
    "rz_block_take_rows": (ctypes.c_int, [_P, _P, ctypes.c_size_t, _SIZES, ctypes.c_size_t]),
    "rz_block_packed_rows": (ctypes.c_int, [_P, ctypes.POINTER(_P), _SIZES, ctypes.c_size_t]),
    "rz_block_add_rows": (ctypes.c_int, [_P, _P, _SIZES, ctypes.c_size_t]),
    "rz_block_add_rows_from": (ctypes.c_int, [_P, _P]),
}
for _name, (_result, _arguments) in _signatures.items():
    _function = getattr(_lib, _name)
    _function.restype = _result
    _function.argtypes = _arguments


def library_version() -> str:
    """The version of the loaded library, "MAJOR.MINOR.PATCH"."""
    return str(_lib.rz_version().decode("ascii"))


def _fields(error: Any) -> Tuple[int, str, str, int, int, int]:
    """The fields of an rz_error (a failure's or a warning's), as :class:`Report` has them."""
    return (_lib.rz_error_code(error), _from_c(_lib.rz_error_message(error)) or "",
            _from_c(_lib.rz_error_path(error)) or "", _lib.rz_error_line(error), _lib.rz_error_column(error),
            _lib.rz_error_offset(error))


def _error(error: Any) -> RizErozError:
    """The exception for the rz_error ``error``: an OSError too when the system gave the
    failure's errno."""
    code, message, path, line, column, offset = _fields(error)
    number = _lib.rz_error_errno(error)
    if not number:
        return RizErozError(code, message, path, line, column, offset)
    import errno

    kinds = {errno.ENOENT: RizErozFileNotFoundError, errno.EACCES: RizErozPermissionError,
             errno.EPERM: RizErozPermissionError, errno.EISDIR: RizErozIsADirectoryError}
    return kinds.get(number, RizErozOSError)(code, message, path, number, line, column, offset)


def _taken_error(error: ctypes.c_void_p, code: int) -> BaseException:
    """The exception for a failed call's ``error`` (freed here), or for its ``code``
    alone when it gave none."""
    if not error:
        return MemoryError() if code == RZ_ERR_MEMORY else RizErozError(code, _described(code))
    try:
        return _error(error)
    finally:
        _lib.rz_error_free(error)


def _raise_error(error: ctypes.c_void_p, code: int) -> None:
    raise _taken_error(error, code)


def _described(code: int) -> str:
    return f"{_lib.rz_describe_code(code).decode()} (error {code})."


def _checked(code: int) -> int:
    if code == RZ_ERR_MEMORY:
        raise MemoryError()
    if code < 0:
        raise RizErozError(code, _described(code))
    return code


def _from_c(text: Optional[bytes]) -> Optional[str]:
    return None if text is None else text.decode("utf-8", "surrogateescape")


def _to_c(text: Optional[str], where: str) -> Optional[bytes]:
    text = check_text(text, where)
    return None if text is None else text.encode("utf-8", "surrogateescape")


def _path(path: PathLike) -> bytes:
    """The path as the library takes it: UTF-8 on every system; a NUL is refused, as
    ``open`` does, because the library would take the path as ending there."""
    name = os.fspath(path)
    encoded = name if isinstance(name, bytes) else name.encode("utf-8", "surrogateescape")
    if b"\0" in encoded:
        raise ValueError(f"the path {name!r} holds a NUL character")
    return encoded


class _ReadRows:
    """The model that rz_read made, kept while Python shows rows that lie in it (or, for
    a model without such rows, until the Python model is gone). At the first use of any
    block, every block gets its rows: a block whose rows lie one after another in the
    library's memory (as a read leaves nearly all of them) shows them there, read-only,
    copying nothing; the rows of the others move into one ``bytes`` object, each block's
    in one call, whose memory is offered huge pages (Linux) before the library writes
    into it, so that moving them costs the system a few page faults, not one a 4 KB."""

    def __init__(self, handle: int) -> None:
        self.handle = handle
        self.free = _lib.rz_model_free  # kept: at the interpreter's exit the module's names go first
        self.lock = Lock()  # the library's model is for one thread at a time
        self.blocks: List[_BlockRows] = []

    def __del__(self) -> None:
        self.free(self.handle)

    def take_all(self) -> None:
        """Gives every block not yet in Python its rows (under the lock)."""
        waiting = [block for block in self.blocks if block.taken is None and not self._show(block)]
        sizes = [_lib.rz_block_byte_count(block.block) for block in waiting]
        data = _filled(sum(sizes), lambda pointer: self._take_into(waiting, sizes, pointer))
        view, at = memoryview(data), 0
        for block, size in zip(waiting, sizes):
            block.taken = view[at : at + size], block.taken_ends
            at += size

    def _show(self, block: _BlockRows) -> bool:
        """Shows the block's rows where they lie, if they lie one after another: a
        read-only view of the library's memory, whose buffer object keeps this model
        (and so that memory) while any view of it lives. False when they lie apart."""
        count = _lib.rz_block_row_count(block.block)
        ends = array(_SIZE_CODE, bytes(_SIZE_BYTES * count))
        start = _P()
        if not count or _checked(_lib.rz_block_packed_rows(block.block, ctypes.byref(start), _sizes(ends), count)) == 0:
            return False
        memory = _shown_rows_type(ends[-1]).from_address(start.value or 0)
        memory.model = self
        block.taken = memoryview(memory).cast("B").toreadonly(), ends
        block.kept = True
        return True

    @staticmethod
    def _take_into(blocks: List[_BlockRows], sizes: List[int], pointer: Any) -> None:
        start = ctypes.cast(pointer, ctypes.c_void_p).value or 0
        _advise_huge_pages(start, sum(sizes))
        for block, size in zip(blocks, sizes):
            count = _lib.rz_block_row_count(block.block)
            ends = array(_SIZE_CODE, bytes(_SIZE_BYTES * count))
            _checked(_lib.rz_block_take_rows(block.block, start, size, _sizes(ends), count))
            block.taken_ends = ends
            start += size


def _shown_rows_type(size: int) -> Any:
    """A ctypes array type of ``size`` bytes that hashes (by identity): a memoryview hashes
    only when the object whose buffer it shows does, and rows hash as ``bytes`` do."""
    return type("_ShownRows", (ctypes.c_char * size,), {"__hash__": object.__hash__})


class _BlockRows:
    """The rows of one block of a model read: taken into Python the first time they are
    asked for (with every other block's, the same rows every time, two threads may ask at
    once), or, until then, copied by the library straight into the block of a model being
    written."""

    __slots__ = ("model", "block", "taken", "taken_ends", "kept")

    def __init__(self, model: _ReadRows, block: int) -> None:
        self.model = model
        self.block = block
        self.taken: Optional[Packed] = None
        self.taken_ends: array[int] = array(_SIZE_CODE)
        self.kept = False  # whether the library's block still holds the rows
        model.blocks.append(self)

    def __call__(self) -> Packed:
        with self.model.lock:
            if self.taken is None:
                self.model.take_all()
            assert self.taken is not None
            return self.taken

    def copy_to(self, block: int) -> bool:
        """Appends the rows to ``block`` of another model; False once they have moved
        into Python."""
        with self.model.lock:
            if self.taken is not None and not self.kept:
                return False
            _checked(_lib.rz_block_add_rows_from(block, self.block))
            return True


def _huge_page_advice() -> Optional[Callable[[int, int], None]]:
    """madvise(..., MADV_HUGEPAGE) of the C library on Linux; None elsewhere."""
    if not sys.platform.startswith("linux"):
        return None
    try:
        madvise = ctypes.CDLL(None, use_errno=True).madvise
    except (OSError, AttributeError):
        return None
    madvise.argtypes = [ctypes.c_void_p, ctypes.c_size_t, ctypes.c_int]
    madvise.restype = ctypes.c_int

    def advise(start: int, size: int) -> None:
        madvise(start, size, 14)  # MADV_HUGEPAGE; a system without it refuses, which is no matter

    return advise


_MADVISE = _huge_page_advice()


def _advise_huge_pages(start: int, size: int) -> None:
    """Offers huge pages for the whole 2 MB pages in [start, start + size): on a system
    that keeps them for memory asked for them, one page fault instead of 512."""
    huge = 2 << 20
    first = (start + huge - 1) // huge * huge
    end = (start + size) // huge * huge
    if _MADVISE is not None and end > first:
        _MADVISE(first, end - first)


def _new_bytes() -> Optional[Callable[[None, int], bytes]]:
    """Python's PyBytes_FromStringAndSize, which makes a ``bytes`` object whose bytes its
    maker fills (None where ctypes cannot call the interpreter)."""
    api: Any = getattr(ctypes, "pythonapi", None)
    if api is None:
        return None
    # A prototype of its own: setting restype on ctypes.pythonapi's would change it for all.
    made: Callable[[None, int], bytes] = ctypes.PYFUNCTYPE(ctypes.py_object, _P, ctypes.c_ssize_t)(
        ("PyBytes_FromStringAndSize", api))
    return made


_NEW_BYTES = _new_bytes()


def _filled(size: int, fill: Callable[[Any], object]) -> bytes:
    """A new ``bytes`` object of ``size`` bytes that ``fill(pointer)`` writes, given the
    address where they go: the library writes a block's rows straight into the object
    that Python keeps them in, which rows are then read-only views of (a ``bytes``, so
    that they hash). The object is filled as C code fills one it made with
    PyBytes_FromStringAndSize(NULL, size): before anything else holds it or its hash is
    known; the shared objects of no byte and of one byte are never written to (for them,
    and where the interpreter cannot be called, a buffer is filled and copied)."""
    if _NEW_BYTES is not None and size > 1:
        data = _NEW_BYTES(None, size)
        fill(data)
        return data
    buffer = bytearray(size)
    fill(_address(buffer))
    return bytes(buffer)


def _sizes(ends: array[int]) -> Any:
    """``ends`` as the C interface's ``size_t*``."""
    return (ctypes.c_size_t * len(ends)).from_buffer(ends) if ends else None


def _address(data: Union[bytes, bytearray]) -> Any:
    """``data`` as the C interface's ``void*``."""
    if isinstance(data, bytearray) and data:
        return (ctypes.c_char * len(data)).from_buffer(data)
    return bytes(data)


def _to_python(handle: int) -> Model:
    """The model of ``handle`` in Python, which owns the handle from now on."""
    rows = _ReadRows(handle)
    model = Model(_from_c(_lib.rz_model_version(handle)), _from_c(_lib.rz_model_comment(handle)))
    for i in range(_lib.rz_model_field_count(handle)):
        field_handle = _lib.rz_model_field(handle, i)
        field = Field(_from_c(_lib.rz_field_name(field_handle)), _lib.rz_field_checksum(field_handle))
        for j in range(_lib.rz_field_block_count(field_handle)):
            block = _lib.rz_field_block(field_handle, j)
            field.blocks.append(Block._from_packed(_lib.rz_block_row_width(block), _lib.rz_block_row_count(block),
                                                   _BlockRows(rows, block)))
        model.fields.append(field)
    for i in range(_lib.rz_model_warning_count(handle)):
        model.warnings.append(ReadWarning(*_fields(_lib.rz_model_warning(handle, i))))
    model.warnings_omitted = _lib.rz_model_warnings_omitted(handle)
    return model


def _add_block(field_handle: int, block: Block, where: str) -> None:
    width = check_whole(block.row_width, -(2**31), 2**31 - 1, where + ".row_width")
    block_handle = _lib.rz_field_add_block(field_handle, width)
    if not block_handle:
        raise MemoryError()
    source = block._source
    if isinstance(source, _BlockRows) and source.copy_to(block_handle):
        return
    try:
        data, ends = block._packed_rows()
    except TypeError:
        raise TypeError(f"{where}.rows must be a list of bytes") from None
    if not isinstance(ends, array) or ends.typecode != _SIZE_CODE:
        ends = array(_SIZE_CODE, ends)
    _checked(_lib.rz_block_add_rows(block_handle, _address(data), _sizes(ends), len(ends)))


def _fill(handle: int, model: Model) -> None:
    if not isinstance(model, Model):
        raise TypeError(f"a rizeroz.Model is due, not {type(model).__name__}")
    _checked(_lib.rz_model_set_version(handle, _to_c(model.version, "version")))
    _checked(_lib.rz_model_set_comment(handle, _to_c(model.comment, "comment")))
    for i, field in enumerate(model.fields):
        where = f"fields[{i}]"
        check_kind(field, Field, where)
        field_handle = _lib.rz_model_add_field(handle, _to_c(field.name, where + ".name"))
        if not field_handle:
            raise MemoryError()
        _checked(_lib.rz_field_set_checksum(field_handle, check_whole(field.checksum, 0, 0xFFFF, where + ".checksum")))
        for j, block in enumerate(field.blocks):
            _add_block(field_handle, check_kind(block, Block, f"{where}.blocks[{j}]"), f"{where}.blocks[{j}]")


# rz_read_callback: context, field, block, row, the row's bytes, bytes read, bytes in all.
_READ_CALLBACK = ctypes.CFUNCTYPE(None, _P, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_size_t,
                                  ctypes.c_ulonglong, ctypes.c_ulonglong)
# rz_read_function: context, buffer, capacity; returns a count, 0 at the end, or -errno.
_READ_FUNCTION = ctypes.CFUNCTYPE(ctypes.c_longlong, _P, _P, ctypes.c_size_t)


def _format(format: Optional[str], name: Any = None) -> bool:
    """True for JSON: as ``format`` ("xml" or "json") says, or when it is None, as the name
    (a path, or a file object's name) says, as the rizeroz tool decides: JSON for a name
    ending in ".json" in any letter case."""
    if format is None:
        if not isinstance(name, (str, bytes, os.PathLike)):
            return False
        named = os.fspath(name)
        text = named if isinstance(named, bytes) else named.encode("utf-8", "surrogateescape")
        return bool(_lib.rz_text_form(text.replace(b"\0", b""), None, 0, 0) == RZ_FORM_JSON)
    if format not in ("xml", "json"):
        raise ValueError(f'format must be "xml" or "json", not {format!r}')
    return format == "json"


def _read(start: Callable[[int, Any, Any, Any, Any], int], warnings: bool,
          progress: Optional[Callable[[int, int], object]], raised: List[BaseException], json: bool = False) -> Model:
    """The model that ``start(flags, callback, context, model, error)``, one of the C
    interface's reads, makes (of JSON when ``json``). An exception cannot cross the C
    library: one that ``progress`` raises stops the read there (the read's control, whose
    ``stop`` the library looks at after each call: RZ_READ_STOPPABLE), and it, or one that
    the source raised into ``raised``, is raised once the read has returned, with no model."""
    handle = ctypes.c_void_p()
    error = ctypes.c_void_p()
    callback = None
    control = ctypes.c_int(0)  # an rz_read_control: its one member, stop
    if progress is not None:
        report: Callable[[int, int], object] = progress

        def told(context: Any, field: int, block: int, row: int, size: int, done: int, total: int) -> None:
            # The library tells the progress alone (RZ_READ_PROGRESS_ONLY): once a field block.
            if not raised:
                try:
                    report(done, total)
                except BaseException as failure:  # noqa: B902 - re-raised below, whatever it is
                    raised.append(failure)
                    control.value = 1

        callback = _READ_CALLBACK(told)
    flags = ((RZ_READ_WARNINGS if warnings else 0) | (RZ_READ_JSON if json else 0) |
             (RZ_READ_PROGRESS_ONLY | RZ_READ_STOPPABLE if progress is not None else 0))
    code: int = start(flags, callback and ctypes.cast(callback, _P), ctypes.byref(control) if callback else None,
                      ctypes.byref(handle), ctypes.byref(error))
    if raised:
        if code == 0:
            _lib.rz_model_free(handle)
            raise raised[0]
        # The library's record of where the read ended goes with it.
        raise raised[0] from _taken_error(error, code)
    if code != 0:
        _raise_error(error, code)
    return _to_python(handle.value or 0)


def _read_file(path: PathLike, warnings: bool, progress: Optional[Callable[[int, int], object]] = None,
               json: bool = False) -> Model:
    encoded = _path(path)
    return _read(lambda flags, callback, context, handle, error: int(_lib.rz_read_with_callback(encoded, flags,
                                                                                                callback, context,
                                                                                                handle, error)),
                 warnings, progress, [], json)


def _shown(name: str) -> bytes:
    """A document's name as the library shows it: UTF-8; a NUL is refused, as in a path."""
    encoded = str(name).encode("utf-8", "surrogateescape")
    if b"\0" in encoded:
        raise ValueError(f"the name {name!r} holds a NUL character")
    return encoded


class _PyBuffer(ctypes.Structure):
    """Python's Py_buffer: where the bytes of an object that lends them lie."""

    _fields_ = [("buf", _P), ("obj", _P), ("len", ctypes.c_ssize_t), ("itemsize", ctypes.c_ssize_t),
                ("readonly", ctypes.c_int), ("ndim", ctypes.c_int), ("format", _P), ("shape", _P),
                ("strides", _P), ("suboffsets", _P), ("internal", _P)]


def _lent(data: Union[bytes, bytearray, memoryview]) -> Tuple[Any, int, Optional[Callable[[], None]]]:
    """``data``'s bytes as the C interface's ``const void*`` and their number, lent where
    they lie, without a copy, wherever ctypes can point at them, and what to call once the
    read is over (None: nothing). A ``bytes`` object is passed as it is; a writable
    buffer through ctypes' from_buffer; a read-only one through Python's own buffer
    interface, and copied only where that is not at hand or its bytes are not contiguous."""
    if isinstance(data, bytes):
        return data, len(data), None
    if not isinstance(data, (bytearray, memoryview)):
        raise TypeError(f"a data file's bytes are due, not {type(data).__name__}")
    view = memoryview(data)
    if not view.c_contiguous:
        copied = view.tobytes()
        return copied, len(copied), None
    view = view.cast("B") if view.format != "B" or view.ndim != 1 else view
    if not view.nbytes:
        return None, 0, None
    if not view.readonly:
        return (ctypes.c_char * view.nbytes).from_buffer(view), view.nbytes, None
    api: Any = getattr(ctypes, "pythonapi", None)
    if api is None:
        copied = view.tobytes()
        return copied, len(copied), None
    lent = _PyBuffer()
    api.PyObject_GetBuffer(ctypes.py_object(view), ctypes.byref(lent), 0)  # PyBUF_SIMPLE; raises on failure

    def release() -> None:
        api.PyBuffer_Release(ctypes.byref(lent))

    return lent.buf, lent.len, release


def _starts_json(data: Union[bytes, bytearray, memoryview]) -> bool:
    """True when the library finds ``data`` to be JSON by its first bytes (``rz_text_form``:
    '{' is its first byte that is no white space, after a byte order mark), as the rizeroz
    tool tells what standard input is; the bytes are lent where they lie, and the library
    looks only as far as that byte."""
    pointer, size, release = _lent(data)
    try:
        return bool(_lib.rz_text_form(None, pointer, size, 0) == RZ_FORM_JSON)
    finally:
        if release is not None:
            release()


def _read_memory(data: Union[bytes, bytearray, memoryview], warnings: bool, name: str,
                 progress: Optional[Callable[[int, int], object]], json: bool = False) -> Model:
    shown = _shown(name)
    pointer, size, release = _lent(data)
    try:
        return _read(lambda flags, callback, context, handle, error: int(_lib.rz_read_memory(pointer, size, shown,
                                                                                             flags, callback, context,
                                                                                             handle, error)),
                     warnings, progress, [], json)
    finally:
        if release is not None:
            release()


def _read_stream(source: BinaryIO, warnings: bool, name: str,
                 progress: Optional[Callable[[int, int], object]], json: bool = False) -> Model:
    """Reads the file object ``source`` a piece at a time: the library asks for bytes into
    its own window, and ``readinto`` (else ``read``) puts them there."""
    import errno

    shown = _shown(name)
    raised: List[BaseException] = []
    readinto = getattr(source, "readinto", None)

    def pull(context: Any, buffer: int, capacity: int) -> int:
        try:
            target = memoryview((ctypes.c_char * capacity).from_address(buffer)).cast("B")
            if readinto is not None:
                count = readinto(target)
                if count is None:
                    raise BlockingIOError(errno.EAGAIN, "the file object has no bytes at hand (it does not block)")
            else:
                piece = source.read(capacity)
                if not isinstance(piece, (bytes, bytearray)):
                    raise TypeError(f"the file object gave {type(piece).__name__}, not bytes: a binary file object "
                                    "is due")
                count = len(piece)
                if count <= capacity:
                    target[:count] = piece
            if not 0 <= count <= capacity:
                raise ValueError(f"the file object gave {count} bytes where at most {capacity} were asked for")
            return int(count)
        except BaseException as failure:  # noqa: B902 - re-raised once the read is over
            raised.append(failure)
            number = failure.errno if isinstance(failure, OSError) else None
            return -(number if isinstance(number, int) and number > 0 else errno.EIO)

    function = _READ_FUNCTION(pull)
    return _read(lambda flags, callback, context, handle, error: int(_lib.rz_read_stream(ctypes.cast(function, _P),
                                                                                         None, shown, flags, callback,
                                                                                         context, handle, error)),
                 warnings, progress, raised, json)


def _written(model: Model, write: Callable[[int], None]) -> None:
    """``write(handle)`` on a C model filled from ``model``; raises what its code says."""
    handle = _lib.rz_model_new()
    if not handle:
        raise MemoryError()
    try:
        _fill(handle, model)
        write(handle)
    finally:
        _lib.rz_model_free(handle)


def _write_flags(expressions: bool, json: bool) -> int:
    return (RZ_WRITE_EXPRESSIONS if expressions else 0) | (RZ_WRITE_JSON if json else 0)


def _write_file(model: Model, path: PathLike, expressions: bool, safe: bool, json: bool = False) -> None:
    def write(handle: int) -> None:
        error = ctypes.c_void_p()
        flags = _write_flags(expressions, json) | (RZ_WRITE_SAFE if safe else 0)
        code = _lib.rz_write(handle, _path(path), flags, ctypes.byref(error))
        if code != 0:
            _raise_error(error, code)

    _written(model, write)


# rz_write_callback: context, the bytes, their count; returns the count taken or -errno.
_WRITE_CALLBACK = ctypes.CFUNCTYPE(ctypes.c_longlong, _P, _P, ctypes.c_size_t)


def _count_taken(target: BinaryIO, taken: object, offered: int, written: int) -> int:
    """How many of the ``offered`` bytes ``target.write`` took, by Python's rule for raw
    streams: ``None`` means none (a non-blocking stream that would block), which ends the
    write with ``BlockingIOError`` (``characters_written``: what the stream took before).
    A count below 1 or above ``offered`` is the file object's fault: writing again or on
    would lose or repeat bytes (and a stream that keeps taking none would never end)."""
    import errno

    name = repr(getattr(target, "name", target))
    if taken is None:
        raise BlockingIOError(errno.EAGAIN, f"{name} would block: it took none of the next {offered} bytes after "
                              f"{written}", written)
    if not isinstance(taken, int) or not 0 < taken <= offered:
        raise OSError(errno.EIO, f"{name}.write() returned {taken!r} for {offered} bytes: a count from 1 to {offered}, "
                      "or None, is due")
    return taken


def _write_stream(model: Model, target: BinaryIO, expressions: bool, json: bool = False) -> None:
    """Writes the document to the file object ``target``, a piece at a time; an exception
    the file object raises comes out as it is, the library's error chained to it."""
    import errno

    raised: List[BaseException] = []
    written = [0]   # bytes the file object took, for BlockingIOError's characters_written

    def put(_context: Optional[int], data: int, count: int) -> int:
        try:
            view = memoryview(ctypes.string_at(data, count))
            while view:
                taken = _count_taken(target, target.write(view), len(view), written[0])
                written[0] += taken
                view = view[taken:]
            return count
        except BaseException as failure:  # noqa: B902 - raised again once the library returns
            raised.append(failure)
            number = failure.errno if isinstance(failure, OSError) else None
            return -(number if isinstance(number, int) and number > 0 else errno.EIO)

    def write(handle: int) -> None:
        error = ctypes.c_void_p()
        callback = _WRITE_CALLBACK(put)
        name = _to_c(str(getattr(target, "name", "<stream>")), "name")
        code = _lib.rz_write_stream(handle, _write_flags(expressions, json), ctypes.cast(callback, _P), None, name,
                                    ctypes.byref(error))
        if raised:
            raise raised[0] from _taken_error(error, code)
        if code != 0:
            _raise_error(error, code)

    _written(model, write)


def read(source: Union[PathLike, BinaryIO], warnings: bool = False,
         progress: Optional[Callable[[int, int], object]] = None, format: Optional[str] = None) -> Model:
    """Reads a data file, or the JSON form of a model, into a new :class:`Model`.

    ``source`` is a path (``str``, ``bytes`` or path object; a backslash also separates
    folders) or a binary file object, which is read to its end a piece at a time (its
    ``readinto``, else ``read``), never whole into memory first; errors and warnings name
    it by its ``name``, else ``"<stream>"``. An exception the file object raises ends the
    read and comes out of ``read`` as it was raised. With ``warnings``,
    ``model.warnings`` lists what the reader took leniently (:class:`ReadWarning`,
    docs/warnings.md); what is read is the same either way. Raises
    :class:`RizErozError` with the reader's code, sentence, line and column when the
    file cannot be read or is refused: :class:`RizErozFileNotFoundError` and
    :class:`RizErozPermissionError` (also ``FileNotFoundError`` and ``PermissionError``)
    when the system would not open it.

    ``progress``, when given, is called as ``progress(bytes_read, bytes_total)`` after each
    field block of the document (the total is the file's size; for a file object, what
    has been read so far); an exception it raises stops the read there (nothing more is
    read, nor is ``progress`` called again) and comes out of ``read``, with the library's
    :class:`RizErozError` (code -17, where the read stopped) as its ``__cause__``.

    ``format`` is "xml" (a data file) or "json" (the JSON form of the rizeroz tool,
    docs/cli.md); by default a path, or a file object's ``name``, ending in ".json" (in
    any letter case) is JSON and anything else a data file. JSON has no warnings, and its
    progress is told after each 256 KiB of the text.
    """
    if isinstance(source, (str, bytes, os.PathLike)):
        return _read_file(source, warnings, progress, _format(format, source))
    if not hasattr(source, "read"):
        raise TypeError(f"a path or a binary file object is due, not {type(source).__name__}")
    name = getattr(source, "name", "<stream>")
    return _read_stream(source, warnings, str(name), progress, _format(format, name))


def loads(data: Union[bytes, bytearray, memoryview], warnings: bool = False, name: str = "<bytes>",
          progress: Optional[Callable[[int, int], object]] = None, format: Optional[str] = None) -> Model:
    """Reads the document ``data`` (``bytes``, ``bytearray`` or ``memoryview``) as
    :func:`read` reads a file; ``name`` stands for its path in errors and warnings. The
    library reads the bytes where they lie, without copying them (a ``memoryview`` that is
    not contiguous is copied; JSON is copied into the library's buffer a piece at a time);
    ``progress`` is told how far into them the read has come. ``format`` is "xml" or
    "json"; by default the bytes are JSON when their first byte that is no white space
    is '{', as the rizeroz tool decides for standard input, and a data file otherwise."""
    if format is None and isinstance(data, (bytes, bytearray, memoryview)):
        json = _starts_json(data)
    else:
        json = _format(format)
    return _read_memory(data, warnings, name, progress, json)


def write(model: Model, target: Union[PathLike, BinaryIO], expressions: bool = False, safe: bool = True,
          format: Optional[str] = None) -> None:
    """Writes ``model`` to a data file in the library's layout, or as JSON.

    ``target`` is a path, or a binary file object that the document's bytes are written
    to. With ``expressions``, rows are written as expressions where those are shorter.
    With ``safe`` (the default), the text goes to a temporary file beside the path that
    takes its place once every byte is on the disk, so that a failure leaves the old
    file as it was; with ``safe=False``, the file is truncated when writing begins and
    then written in place. Raises ValueError or TypeError for a value a data model
    cannot hold, naming it, and :class:`RizErozError` (a :class:`RizErozOSError` for a
    system's reason) when the file cannot be written or not every byte reached it.

    ``format`` is "xml" (a data file) or "json" (the JSON form of the rizeroz tool, the
    text :meth:`Model.to_json` gives); by default a path, or a file object's ``name``,
    ending in ".json" (in any letter case) gets JSON and anything else a data file.
    ``expressions`` means nothing for JSON, whose rows are always hexadecimal.
    """
    if isinstance(target, (str, bytes, os.PathLike)):
        _write_file(model, target, expressions, safe, _format(format, target))
    else:
        _write_stream(model, target, expressions, _format(format, getattr(target, "name", None)))


def dumps(model: Model, expressions: bool = False, format: str = "xml") -> bytes:
    """The document that :func:`write` writes for ``model``, as bytes (line feeds on every
    system, as a file gets on Linux): a data file, or with ``format="json"`` its JSON
    form."""
    document = [b""]
    flags = _write_flags(expressions, _format(format))

    def write(handle: int) -> None:
        data, size, error = ctypes.c_void_p(), ctypes.c_size_t(), ctypes.c_void_p()
        code = _lib.rz_write_memory(handle, flags, ctypes.byref(data), ctypes.byref(size), ctypes.byref(error))
        if code != 0:
            _raise_error(error, code)
        try:
            document[0] = ctypes.string_at(data, size.value) if size.value else b""
        finally:
            _lib.rz_free(data)

    _written(model, write)
    return document[0]


def _from_json(text: str) -> Model:
    """The model of a JSON text (a ``str``), read by the library from its UTF-8 bytes;
    what it refuses raises ValueError with the library's sentence, its error the cause."""
    if not isinstance(text, str):
        raise TypeError(f"a JSON text (str) is due, not {type(text).__name__}")
    try:
        return _read_memory(text.encode("utf-8", "surrogateescape"), False, "<json>", None, True)
    except RizErozError as failure:
        if failure.code in (RZ_ERR_MEMORY, _NO_MEMORY):
            raise
        raise ValueError(str(failure)) from failure


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
