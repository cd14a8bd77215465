"""The data model in Python: containers of plain values, and its JSON form.

A :class:`Model` holds a version, a comment and a list of :class:`Field`; a field holds
a name, a checksum and a list of :class:`Block`; a block holds a row width in bits and
its rows, each a bytes-like object. Each is a container of what it holds: ``len``,
iteration, indexing, ``in``; a model's fields are also found by name.

A block read from a file keeps its rows packed in one ``bytes`` buffer (the rows of every
block of a model read lie in one, moved there when the first block is used), and each row
is a read-only ``memoryview`` of its part of that buffer, made when it is asked for: no
copy of a row's bytes. Changing a row, or asking for ``block.rows``, turns the block into a
plain list of its rows (the same views). Everything can be changed and built freely; the
values are checked when the model is written or converted.

Texts are ``str``. The library keeps texts as bytes (UTF-8 by convention); bytes that
are not UTF-8 come into Python as lone surrogates ("surrogateescape") and go back out
unchanged, so nothing is lost on a round trip.
"""

from __future__ import annotations

from collections.abc import MutableSequence
from itertools import accumulate

TYPE_CHECKING = False
if TYPE_CHECKING:
    from typing import Any, Callable, Iterable, Iterator, List, Optional, Sequence, Tuple, Union, overload

    import numpy
    import numpy.typing

    #: Rows packed one after the other, with the offset just past each row.
    Packed = Tuple[Union[bytes, memoryview], Sequence[int]]
    #: A row: a read-only view of a block's buffer when read, else what was put in.
    Row = Union[bytes, bytearray, memoryview]

else:

    def overload(function):  # for the checker alone: at run time the last definition counts
        return function


def counted(count: int, one: str) -> str:
    """``count`` with ``one`` or its plural: "1 row", "2 rows"."""
    return f"{count} {one}" if count == 1 else f"{count} {one}s"


def check_whole(value: Any, low: int, high: int, where: str) -> int:
    """``value`` when it is a whole number from ``low`` to ``high``, else ValueError."""
    if isinstance(value, bool) or not isinstance(value, int) or not low <= value <= high:
        raise ValueError(f"{where} must be a whole number from {low} to {high}")
    return value


def check_text(value: Any, where: str) -> Optional[str]:
    """``value`` when it is a text a model can hold (or None), else ValueError."""
    if value is not None and not isinstance(value, str):
        raise ValueError(f"{where} must be a text or None")
    if value is not None and "\0" in value:
        raise ValueError(f"{where} holds a NUL character, which a data model text cannot hold")
    return value


def check_kind(value: Any, kind: type, where: str) -> Any:
    """``value`` when it is a ``kind`` (a Field, a Block), else TypeError."""
    if not isinstance(value, kind):
        raise TypeError(f"{where} must be a rizeroz.{kind.__name__}, not {type(value).__name__}")
    return value


class Report:
    """What the library says of a failure or of something it took leniently, the fields of
    its one record: the ``code``, one sentence naming the file, the place and what happened
    (``message``, also ``str()``), the ``path`` as given (or the name shown, such as
    ``"<bytes>"``), the ``line`` and ``column`` (from 1; 0 when not known) and the byte
    ``offset`` in the document (from 0; -1 when not known). The base of
    :class:`RizErozError` and :class:`ReadWarning`."""

    __slots__ = ()
    FIELDS = ("code", "message", "path", "line", "column", "offset")

    code: int
    message: str
    path: str
    line: int
    column: int
    offset: int

    def _keep(self, code: int, message: str, path: str, line: int, column: int, offset: int) -> None:
        # The slots are the subclass's (or its instance's dictionary): set by name.
        for name, value in zip(Report.FIELDS, (code, message, path, line, column, offset)):
            setattr(self, name, value)

    def _fields(self) -> Tuple[Any, ...]:
        return tuple(getattr(self, name) for name in Report.FIELDS)

    def __str__(self) -> str:
        return self.message


class ReadWarning(Report):
    """Something the reader took leniently (docs/warnings.md): the kind's ``code``, one
    sentence naming the file, the place and what was read how, the ``path`` as given, and
    the ``line``, ``column`` and byte ``offset`` where it stands. ``str(warning)`` is the
    sentence."""

    __slots__ = Report.FIELDS

    def __init__(self, code: int, message: str, path: str, line: int, column: int, offset: int = -1) -> None:
        self._keep(code, message, path, line, column, offset)

    def __repr__(self) -> str:
        fields = ", ".join(f"{name}={value!r}" for name, value in zip(Report.FIELDS, self._fields()))
        return f"ReadWarning({fields})"

    def __eq__(self, other: object) -> bool:
        return isinstance(other, ReadWarning) and self._fields() == other._fields()


class Block(MutableSequence["Row"]):
    """A field block: rows of bytes, each meant to be ``row_width`` bits wide; a mutable
    sequence of its rows (``len(block)``, ``block[0]``, ``for row in block``,
    ``block.append(b"...")``).

    A row read is a read-only ``memoryview`` of the block's one buffer: it compares equal
    to the ``bytes`` of the same value, hashes as they do, and ``bytes(row)`` copies it.
    A row put in stays what it was (``bytes``, ``bytearray``, ...).

    A row may hold more or fewer bytes than the width says; the reader keeps what the
    file holds and the writer writes what the row holds.
    """

    __slots__ = ("row_width", "_list", "_packed", "_source", "_count")

    def __init__(self, row_width: int, rows: Iterable[Row] = ()) -> None:
        self.row_width = row_width
        self._list: Optional[List[Row]] = list(rows)
        self._packed: Optional[Packed] = None
        self._source: Optional[Callable[[], Packed]] = None
        self._count = 0

    @classmethod
    def _from_packed(cls, row_width: int, count: int, source: Callable[[], Packed]) -> Block:
        """A block of ``count`` rows that ``source()`` gives packed when first asked for."""
        block = cls(row_width)
        block._list, block._source, block._count = None, source, count
        return block

    def _unpacked(self) -> Optional[Packed]:
        if self._source is not None:
            self._packed, self._source = self._source(), None
        return self._packed

    def _views(self) -> Iterator[memoryview]:
        """Each row packed, as a read-only view of its part of the buffer (no copy)."""
        data, ends = self._unpacked() or (b"", ())
        view = memoryview(data)
        return (view[start:end] for start, end in zip([0, *ends], ends))

    @property
    def rows(self) -> List[Row]:
        """The rows as a list, the block's own: changing it changes the block. The rows
        read are the read-only views that iterating the block gives."""
        if self._list is None:
            self._list = list(self._views())
            self._packed = self._source = None
        return self._list

    @rows.setter
    def rows(self, rows: Iterable[Row]) -> None:
        self._list, self._packed, self._source = list(rows), None, None

    def _packed_rows(self) -> Packed:
        """Every row's bytes one after the other, with the offset just past each row."""
        packed = self._unpacked()
        if packed is not None:
            return packed
        rows = self.rows
        data = b"".join(rows)
        ends = list(accumulate(map(len, rows)))
        if (ends[-1] if ends else 0) != len(data):  # a row whose items are wider than bytes
            ends = list(accumulate(memoryview(row).nbytes for row in rows))
        return data, ends

    def __len__(self) -> int:
        return self._count if self._list is None else len(self._list)

    @overload
    def __getitem__(self, index: int) -> Row: ...

    @overload
    def __getitem__(self, index: slice) -> List[Row]: ...

    def __getitem__(self, index: Union[int, slice]) -> Union[Row, List[Row]]:
        if self._list is not None:
            return self._list[index]
        if isinstance(index, slice):
            return [self[i] for i in range(*index.indices(self._count))]
        i = range(self._count)[index]  # IndexError and negative indexes as a list has them
        data, ends = self._unpacked() or (b"", ())
        return memoryview(data)[ends[i - 1] if i else 0 : ends[i]]

    def __iter__(self) -> Iterator[Row]:
        return iter(self._list) if self._list is not None else self._views()

    def __setitem__(self, index: Any, value: Any) -> None:
        self.rows[index] = value

    def __delitem__(self, index: Union[int, slice]) -> None:
        del self.rows[index]

    def insert(self, index: int, value: Row) -> None:
        self.rows.insert(index, value)

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, Block):
            return NotImplemented
        return self.row_width == other.row_width and len(self) == len(other) and all(a == b for a, b in zip(self, other))

    def __reduce__(self) -> Tuple[Any, ...]:
        # Copies (copy, pickle) get the rows themselves, not what reads them on first use;
        # a view pickles as the bytes it shows.
        return Block, (self.row_width, [bytes(row) if isinstance(row, memoryview) else row for row in self])

    def __repr__(self) -> str:
        shown = f"<Block row_width={self.row_width}, {counted(len(self), 'row')}"
        if self._list is not None:
            shown += ", " + counted(sum(len(row) for row in self._list), "byte")
        elif self._packed is not None:
            shown += ", " + counted(self._packed[1][-1] if self._count else 0, "byte")
        return shown + ">"

    def __array__(self, dtype: Any = None, copy: Optional[bool] = None) -> numpy.typing.NDArray[Any]:
        """``numpy.asarray(block)``: :meth:`array`, in ``dtype`` when one is asked for;
        ``numpy.array(block)`` (``copy=True``) gets a copy of its own, which it can change."""
        rows = self.array()
        if dtype is None or rows.dtype == dtype:
            return rows.copy() if copy else rows
        if copy is False:
            raise ValueError(f"the rows are uint8: {dtype} needs a copy")
        return rows.astype(dtype)

    def array(self) -> numpy.typing.NDArray[numpy.uint8]:
        """The rows as a read-only 2-D ``numpy.uint8`` array, one line per row: a view of
        the block's buffer, not a copy (``.copy()`` gives one that can be changed).

        Needs numpy, and rows of one length (ValueError otherwise). The way back is
        :meth:`from_array`.
        """
        import numpy

        data, ends = self._packed_rows()
        lengths = numpy.diff(numpy.asarray(ends, dtype=numpy.int64), prepend=0)
        width = int(lengths[0]) if len(lengths) else 0
        if len(lengths) and (lengths != width).any():
            raise ValueError(f"the rows have different lengths ({lengths.min()} to {lengths.max()} bytes)")
        # Over a ``bytes`` buffer, so read-only: the rows change only through the block.
        rows: numpy.typing.NDArray[numpy.uint8] = numpy.frombuffer(data, dtype=numpy.uint8).reshape(len(ends), width)
        return rows

    @classmethod
    def from_array(cls, array: Any, row_width: Optional[int] = None) -> Block:
        """A block of the lines of a 2-D array, one row per line.

        A ``uint8`` (or ``int8``) array gives each line's bytes as they are; a ``bool``
        array gives each line's bits, first bit the highest of the first byte, padded
        with zero bits to whole bytes. ``row_width`` is by default the line's length in
        bits (8 per byte, or 1 per bool).
        """
        import numpy

        values = numpy.asarray(array)
        if values.ndim != 2:
            raise ValueError(f"the array must have 2 dimensions, not {values.ndim}")
        if values.dtype == numpy.bool_:
            width = values.shape[1]
            values = numpy.packbits(values, axis=1)
        elif values.dtype in (numpy.uint8, numpy.int8):
            width = values.shape[1] * 8
        else:
            raise ValueError(f"the array must hold uint8 or bool values, not {values.dtype}")
        lines = numpy.ascontiguousarray(values, dtype=numpy.uint8)
        data = lines.tobytes()
        step = lines.shape[1]
        ends = range(step, step * lines.shape[0] + 1, step) if step else [0] * lines.shape[0]
        return cls._from_packed(width if row_width is None else row_width, lines.shape[0], lambda: (data, ends))


class Field(MutableSequence[Block]):
    """A named data field with its 16-bit checksum (0: none) and its field blocks; a
    mutable sequence of its blocks."""

    __slots__ = ("name", "checksum", "blocks")

    def __init__(self, name: Optional[str], checksum: int = 0, blocks: Iterable[Block] = ()) -> None:
        self.name = name
        self.checksum = checksum
        self.blocks: List[Block] = list(blocks)

    def __len__(self) -> int:
        return len(self.blocks)

    @overload
    def __getitem__(self, index: int) -> Block: ...

    @overload
    def __getitem__(self, index: slice) -> List[Block]: ...

    def __getitem__(self, index: Union[int, slice]) -> Union[Block, List[Block]]:
        return self.blocks[index]

    def __setitem__(self, index: Any, value: Any) -> None:
        self.blocks[index] = value

    def __delitem__(self, index: Union[int, slice]) -> None:
        del self.blocks[index]

    def insert(self, index: int, value: Block) -> None:
        self.blocks.insert(index, value)

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, Field):
            return NotImplemented
        return (self.name, self.checksum, self.blocks) == (other.name, other.checksum, other.blocks)

    def __repr__(self) -> str:
        return f"<Field {self.name!r} checksum=0x{self.checksum:04X}, {counted(len(self.blocks), 'block')}>"


class Model(MutableSequence[Field]):
    """A data model: version, comment (None when there is none) and data fields; a
    mutable sequence of its fields, where ``model["NAME"]`` is the first field of that
    name and ``"NAME" in model`` asks whether there is one."""

    __slots__ = ("version", "comment", "fields", "warnings", "warnings_omitted")

    def __init__(self, version: Optional[str] = None, comment: Optional[str] = None, fields: Iterable[Field] = ()) -> None:
        self.version = version
        self.comment = comment
        self.fields: List[Field] = list(fields)
        #: What the reader took leniently, when read with ``warnings=True`` (not compared).
        self.warnings: List[ReadWarning] = []
        #: Warnings beyond the first 1,000, which were only counted.
        self.warnings_omitted = 0

    def __len__(self) -> int:
        return len(self.fields)

    @overload
    def __getitem__(self, index: Union[int, str]) -> Field: ...

    @overload
    def __getitem__(self, index: slice) -> List[Field]: ...

    def __getitem__(self, index: Union[int, str, slice]) -> Union[Field, List[Field]]:
        if not isinstance(index, str):
            return self.fields[index]
        for field in self.fields:
            if field.name == index:
                return field
        raise KeyError(index)

    def get(self, name: str, default: Optional[Field] = None) -> Optional[Field]:
        """The first field named ``name``, else ``default``, as ``dict.get`` gives."""
        return next((field for field in self.fields if field.name == name), default)

    def __contains__(self, item: object) -> bool:
        if isinstance(item, str):
            return any(field.name == item for field in self.fields)
        return item in self.fields

    def __setitem__(self, index: Any, value: Any) -> None:
        self.fields[index] = value

    def __delitem__(self, index: Union[int, slice]) -> None:
        del self.fields[index]

    def insert(self, index: int, value: Field) -> None:
        self.fields.insert(index, value)

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, Model):
            return NotImplemented
        return (self.version, self.comment, self.fields) == (other.version, other.comment, other.fields)

    def __repr__(self) -> str:
        names = ", ".join(repr(field.name) for field in self.fields[:8]) + (", ..." if len(self.fields) > 8 else "")
        return f"<Model version={self.version!r}, {counted(len(self.fields), 'field')}: {names}>"

    def to_json(self) -> str:
        """The model as JSON in the shape of the ``rizeroz`` tool (docs/cli.md), written by
        the library: the text ``rizeroz.dumps(model, format="json")`` gives, as ``str``.

        Indented by two spaces, every member written, rows as upper-case hexadecimal,
        a line feed at the end; text bytes that are not UTF-8 become U+FFFD. The values
        are checked as :func:`rizeroz.write` checks them.
        """
        from ._native import dumps

        return dumps(self, format="json").decode("utf-8")

    @classmethod
    def from_json(cls, text: str) -> Model:
        """A model from JSON in the shape of the ``rizeroz`` tool, read by the library.

        Every member is checked; ValueError gives the library's sentence naming the one
        at fault and its place, such as ``<json>:1:71: error:
        fields[0].checksum must be a whole number from 0 to 65535 (error -15).``; its
        cause is the library's :class:`rizeroz.RizErozError`, with the code, line and
        column.
        """
        from ._native import _from_json

        model = _from_json(text)
        return model if cls is Model else cls(model.version, model.comment, model.fields)
