"""Read and write RIZ Eroz data files from Python.

    import rizeroz

    model = rizeroz.read("sample.xml")
    for field in model.fields:
        print(field.name, [row.hex() for block in field.blocks for row in block.rows])
    model.fields[0].blocks[0].rows[0] = b"\\x12\\x34\\x56\\x78"
    rizeroz.write(model, "changed.xml")

The package calls the rizeroz library (librizeroz.so, rizeroz.dll) through its C
interface with ctypes; it needs no compiler. See docs/python.md.
"""

from ._native import RizErozError, evaluate, library_version, read, write
from .model import Block, Field, Model, ReadWarning

__all__ = ["Block", "Field", "Model", "ReadWarning", "RizErozError", "evaluate", "library_version", "read", "write"]
__version__ = library_version()
