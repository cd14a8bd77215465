"""The data model in Python: plain objects, lists and ``bytes``, and its JSON form.

A :class:`Model` holds a version, a comment and a list of :class:`Field`; a field holds
a name, a checksum and a list of :class:`Block`; a block holds a row width in bits and
its rows, each a ``bytes`` object. Everything can be read, changed and built freely;
the values are checked when the model is written or converted.

Texts are ``str``. The library keeps texts as bytes (UTF-8 by convention); bytes that
are not UTF-8 come into Python as lone surrogates ("surrogateescape") and go back out
unchanged, so nothing is lost on a round trip.
"""

from __future__ import annotations

import dataclasses
import json
import re
from typing import Any, Dict, List, Optional

_INT32_MIN = -(2**31)
_INT32_MAX = 2**31 - 1
_HEX_PAIRS = re.compile("(?:[0-9A-Fa-f]{2})*")


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


@dataclasses.dataclass(frozen=True)
class ReadWarning:
    """Something the reader took leniently (docs/warnings.md): the kind's ``code``, one
    sentence naming the file, the place and what was read how, the ``path`` as given, and
    the ``line`` and ``column`` where it stands. ``str(warning)`` is the sentence."""

    code: int
    message: str
    path: str
    line: int
    column: int

    def __str__(self) -> str:
        return self.message


@dataclasses.dataclass
class Block:
    """A field block: rows of bytes, each meant to be ``row_width`` bits wide.

    A row may hold more or fewer bytes than the width says; the reader keeps what the
    file holds and the writer writes what the row holds.
    """

    row_width: int
    rows: List[bytes] = dataclasses.field(default_factory=list)

    def array(self) -> Any:
        """The rows as a 2-D ``numpy.uint8`` array, one line per row (a copy).

        Needs numpy, and rows of one length (ValueError otherwise). To put an array
        back: ``block.rows = [bytes(line) for line in array]``.
        """
        import numpy

        lengths = {len(row) for row in self.rows}
        if len(lengths) > 1:
            raise ValueError(f"the rows have different lengths ({min(lengths)} to {max(lengths)} bytes)")
        width = lengths.pop() if lengths else 0
        joined = b"".join(self.rows)
        return numpy.frombuffer(joined, dtype=numpy.uint8).reshape(len(self.rows), width).copy()


@dataclasses.dataclass
class Field:
    """A named data field with its 16-bit checksum (0: none) and its field blocks."""

    name: Optional[str]
    checksum: int = 0
    blocks: List[Block] = dataclasses.field(default_factory=list)


@dataclasses.dataclass
class Model:
    """A data model: version, comment (None when there is none) and data fields."""

    version: Optional[str] = None
    comment: Optional[str] = None
    fields: List[Field] = dataclasses.field(default_factory=list)
    #: What the reader took leniently, when read with ``warnings=True`` (not compared).
    warnings: List["ReadWarning"] = dataclasses.field(default_factory=list, compare=False, repr=False)
    #: Warnings beyond the first 1,000, which were only counted.
    warnings_omitted: int = dataclasses.field(default=0, compare=False, repr=False)

    def to_json(self) -> str:
        """The model as JSON in the shape of the ``rizeroz`` tool (docs/cli.md).

        Indented by two spaces, every member written, rows as upper-case hexadecimal,
        a line feed at the end; text bytes that are not UTF-8 become U+FFFD.
        """
        shape = {
            "version": _json_text(self.version),
            "comment": _json_text(self.comment),
            "fields": [
                {
                    "name": _json_text(field.name),
                    "checksum": field.checksum,
                    "blocks": [
                        {"row_width": block.row_width, "rows": [bytes(row).hex().upper() for row in block.rows]}
                        for block in field.blocks
                    ],
                }
                for field in self.fields
            ],
        }
        return json.dumps(shape, indent=2, ensure_ascii=False) + "\n"

    @classmethod
    def from_json(cls, text: str) -> "Model":
        """A model from JSON in the shape of the ``rizeroz`` tool.

        Every member is checked; ValueError names the one at fault, such as
        ``fields[0].checksum must be a whole number from 0 to 65535``.
        """
        try:
            document = json.loads(text, object_pairs_hook=_unique_members)
        except json.JSONDecodeError as failure:
            raise ValueError(f"line {failure.lineno}, column {failure.colno}: the JSON text is malformed "
                             f"({failure.msg})") from None
        top = _members(document, "the top-level object", ("version", "fields"), ("comment",))
        model = cls(check_text(top["version"], '"version"'), check_text(top.get("comment"), '"comment"'))
        for i, item in enumerate(_array(top["fields"], '"fields"')):
            where = f"fields[{i}]"
            member = _members(item, where, ("name", "blocks"), ("checksum",))
            field = Field(check_text(member["name"], where + ".name"),
                          check_whole(member.get("checksum", 0), 0, 0xFFFF, where + ".checksum"))
            for j, block_item in enumerate(_array(member["blocks"], where + ".blocks")):
                block_where = f"{where}.blocks[{j}]"
                block = _members(block_item, block_where, ("row_width", "rows"), ())
                width = check_whole(block["row_width"], _INT32_MIN, _INT32_MAX, block_where + ".row_width")
                rows = [_json_row(row, f"{block_where}.rows[{k}]")
                        for k, row in enumerate(_array(block["rows"], block_where + ".rows"))]
                field.blocks.append(Block(width, rows))
            model.fields.append(field)
        return model


def _json_text(text: Optional[str]) -> Optional[str]:
    if text is None:
        return None
    return text.encode("utf-8", "surrogateescape").decode("utf-8", "replace")


def _unique_members(pairs: List[Any]) -> Dict[str, Any]:
    members: Dict[str, Any] = {}
    for key, value in pairs:
        if key in members:
            raise ValueError(f'the member "{key}" appears twice in one object')
        members[key] = value
    return members


def _members(value: Any, where: str, required: tuple, optional: tuple) -> Dict[str, Any]:
    if not isinstance(value, dict):
        raise ValueError(f"{where} must be an object")
    for key in value:
        if key not in required and key not in optional:
            raise ValueError(f'{where} has an unknown member "{key}"')
    for key in required:
        if key not in value:
            raise ValueError(f'{where} has no member "{key}"')
    return value


def _array(value: Any, where: str) -> list:
    if not isinstance(value, list):
        raise ValueError(f"{where} must be an array")
    return value


def _json_row(value: Any, where: str) -> bytes:
    if not isinstance(value, str):
        raise ValueError(f"{where} must be a text of hexadecimal digits")
    if len(value) % 2 != 0:
        raise ValueError(f"{where} has an odd number of hexadecimal digits")
    if not _HEX_PAIRS.fullmatch(value):
        raise ValueError(f"{where} holds a character that is no hexadecimal digit")
    return bytes.fromhex(value)
