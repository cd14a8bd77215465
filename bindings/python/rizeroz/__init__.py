"""Read and write RIZ Eroz data files from Python.

    import rizeroz

    model = rizeroz.read("sample.xml")
    for field in model:                       # a model holds fields, a field blocks,
        print(field.name, [row.hex() for block in field for row in block])  # a block rows
    model["Usercode_MASK"][0][0] = b"\\x12\\x34\\x56\\x78"
    rizeroz.write(model, "changed.xml")

``read``/``write`` take paths or binary file objects, ``loads``/``dumps`` bytes, each a
data file or the JSON form of a model (``format="json"``, or a name ending in ".json"). The
package calls the rizeroz library (librizeroz.so, rizeroz.dll), which it carries, through
its C interface with ctypes. See docs/python.md.
"""

from ._native import (RizErozError, RizErozFileNotFoundError, RizErozIsADirectoryError, RizErozOSError,
                      RizErozPermissionError, dumps, evaluate, library_version, loads, read, write)
from .model import Block, Field, Model, ReadWarning

__all__ = ["Block", "Field", "Model", "ReadWarning", "RizErozError", "RizErozFileNotFoundError",
           "RizErozIsADirectoryError", "RizErozOSError", "RizErozPermissionError", "dumps", "evaluate",
           "library_version", "loads", "read", "write"]
__version__ = library_version()
