"""Hostile input meets a bounded, clear refusal: nested entities for check, pictures too
large for render, endless or huge JSON. Each hostile file is built here; each run is
watched for memory (the tool's own ground plus 64 MB above the input) and time."""
import re

import pytest

from conftest import EXIT_ERROR

# Ten entities, each ten of the one before: 10^10 characters from some 600 bytes.
ENTITIES = "".join('<!ENTITY a%d "%s">\n' % (i, "&a%d;" % (i - 1) * 10 if i else "x" * 10) for i in range(10))
PROLOGUE = '<?xml version="1.0"?>\n<!DOCTYPE SVF_Plus_Data [\n' + ENTITIES + "]>\n"
FIELD = '<DataField name="A"><FieldBlock row_width="8">%s</FieldBlock></DataField>'


@pytest.mark.parametrize("name, body", [
    ("attribute", '<SVF_Plus_Data version="&a9;"/>\n'),
    ("root text", "<SVF_Plus_Data>&a9;</SVF_Plus_Data>\n"),
    ("row text", '<SVF_Plus_Data version="2.1">' + FIELD % "&a9;" + "</SVF_Plus_Data>\n"),
])
@pytest.mark.parametrize("flags", [[], ["--no-valid"]])
def test_check_refuses_entity_expansion(tool, scratch, baseline_mb, name, body, flags):
    path = scratch + "/laughs.xml"
    with open(path, "w") as f:
        f.write(PROLOGUE + body)
    r = tool.run("check", path, *flags, budget_mb=baseline_mb + 64, timeout=30)
    assert r.code == EXIT_ERROR, r
    # The reference's line, and a column on it, in the finding that ends the expansion.
    place = "%s:%d:(\\d+): error: not well-formed XML: Detected an entity reference loop" % (path, PROLOGUE.count("\n") + 1)
    found = re.search(place, r.out)
    assert found and 0 < int(found.group(1)) <= len(body), r
