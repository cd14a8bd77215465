"""Interoperability of the documents the rizeroz tool writes and reads, judged by tools
nobody here wrote: xmllint and Python's xml.etree.ElementTree. For each round-trip model:
  - the data file the tool writes, with and without expressions, validates with
    `xmllint --valid` against the shipped document type file, and ElementTree reads from
    it the same fields and rows (expressions evaluated by a small evaluator of our own);
  - the same document reformatted by `xmllint --format` reads back to the same model;
  - a document built by ElementTree (plain and indented) reads back to the same model.
Models are compared through the tool's JSON output. Runs natively only.
"""
import itertools
import json
import random
import re
import shutil
import subprocess
import xml.etree.ElementTree as ET

import pytest

from conftest import EXIT_OK


def evaluate(expression):
    """Bytes of a row expression (docs/expressions.md): "(" sum ")", sums of terms, terms of
    factors repeated by counts, factors a byte string or a parenthesised sum. Python's own
    + and * on bytes have the grammar's meaning and precedence."""
    text = re.sub(r"\s", "", expression)
    depth = list(itertools.accumulate({"(": 1, ")": -1}.get(c, 0) for c in text))
    if not re.fullmatch(r"\((?:\(|\)|\+|\*[1-9][0-9]*|(?:[0-9A-Fa-f]{2})+)*\)", text) or min(depth[:-1]) < 1:
        raise ValueError("not an expression: " + text)
    return eval(re.sub(r"(?<!\*)\b([0-9A-Fa-f]+)", r"bytes.fromhex('\1')", text), {"__builtins__": {}}, {"bytes": bytes})


def rows_of(text):
    return [row[2:].upper() if row.startswith("0x") else evaluate(row).hex().upper()
            for row in re.sub(r"\s", "", text or "").split(",")]


def model_from_tree(root):
    """The model ElementTree sees in a data file."""
    comment = root.find("Comment")
    fields = [{"name": field.get("name"), "checksum": int(field.get("checksum", "0x0")[2:], 16),
               "blocks": [{"row_width": int(block.get("row_width")), "rows": rows_of(block.text)}
                          for block in field.findall("FieldBlock")]} for field in root.findall("DataField")]
    return {"version": root.get("version"), "comment": comment.text if comment is not None else None, "fields": fields}


def tree_from_model(model):
    """A data file as ElementTree writes it, rows in hexadecimal (the rows as expressions
    are the tool's own, read back above)."""
    root = ET.Element("SVF_Plus_Data", version=model["version"])
    if model["comment"] is not None:
        ET.SubElement(root, "Comment").text = model["comment"]
    for field in model["fields"]:
        element = ET.SubElement(root, "DataField", name=field["name"])
        if field["checksum"]:
            element.set("checksum", "0x%04X" % field["checksum"])
        for block in field["blocks"]:
            rows = ",\n".join("0x" + row for row in block["rows"])
            ET.SubElement(element, "FieldBlock", row_width=str(block["row_width"])).text = rows
    return ET.ElementTree(root)


def round_trip_models():
    rng = random.Random(20240601)
    runs = "".join("%02X" % (n + 1) * (n + 3) for n in range(30))   # an expression longer than 60 characters
    with open("data/cli_model.json", "rb") as f:
        bundled = json.loads(f.read().decode("utf-8"))
    return [
        bundled,
        {"version": "", "comment": None, "fields": []},
        {"version": "2.1", "comment": "  spaced,\n  on two lines  ", "fields": [
            {"name": "Mask Ω µ", "checksum": 0xFFFF, "blocks": [{"row_width": 4, "rows": ["0F", "0A"]}]}]},
        {"version": "9", "comment": "patterns", "fields": [
            {"name": "RUNS", "checksum": 0x0001, "blocks": [
                {"row_width": 4800, "rows": ["00" * 600, "FF" * 300 + "00" * 300]},
                {"row_width": len(runs) * 4, "rows": [runs]},
                {"row_width": 5120, "rows": [("00" * 20 + "FF" * 12) * 20]},
                {"row_width": 8, "rows": ["A5"] * 40}]},
            {"name": "RANDOM", "checksum": 0x8000, "blocks": [
                {"row_width": 8 * n, "rows": ["%0*X" % (2 * n, rng.getrandbits(8 * n)) for _ in range(3)]}
                for n in (1, 2, 29, 30, 31, 61)]}]},
    ]


@pytest.mark.parametrize("number, model", list(enumerate(round_trip_models())))
def test_model(g, option, number, model):
    xmllint = option("--xmllint")
    shutil.copy(option("--dtd"), g.dir)   # the documents name it beside themselves
    def read_back(document, what):
        """The model the library reads from a document, as the tool's JSON."""
        g.run("convert", document, g.path("read-back.json"), code=EXIT_OK)
        got = json.loads(g.read("read-back.json"))
        g.expect(got == model, "%s: models differ\n got: %s\nwant: %s" % (what, json.dumps(got)[:2000],
                                                                         json.dumps(model)[:2000]))

    def xmllint_run(*arguments):
        done = subprocess.run([xmllint, *arguments], capture_output=True, timeout=120)
        g.expect(done.returncode == 0, "xmllint %s" % " ".join(arguments), done.stderr.decode("utf-8", "replace"))
        return done.stdout

    source = g.write("model.json", json.dumps(model))
    for flags in ([], ["--expressions"]):
        what = "model %d %s" % (number, " ".join(flags))
        written = g.path("written.xml")
        g.run("convert", source, written, *flags, code=EXIT_OK)
        xmllint_run("--valid", "--noout", written)
        g.expect(model_from_tree(ET.parse(written).getroot()) == model, what + ": ElementTree")
        read_back(g.write("formatted.xml", xmllint_run("--format", written)), what + ": after xmllint --format")
    for indented in (False, True):
        tree = tree_from_model(model)
        if indented:
            ET.indent(tree)
        tree.write(g.path("tree.xml"), encoding="utf-8", xml_declaration=True)
        read_back(g.path("tree.xml"), "model %d by ElementTree, indented %s" % (number, indented))
