#!/usr/bin/env python3
"""Interoperability of the documents the rizeroz tool writes and reads, judged by tools
nobody here wrote: xmllint and Python's xml.etree.ElementTree.

For each model of a set of round-trip models (JSON, in the tool's shape):
  - the data file the tool writes, with and without expressions, validates with
    `xmllint --valid` against the shipped document type file, and ElementTree reads from
    it the same fields and rows (expressions evaluated by a small evaluator of our own);
  - the same document reformatted by `xmllint --format` reads back to the same model;
  - a document built by ElementTree (plain and indented, rows in hexadecimal or as
    expressions) reads back to the same model.
Models are compared through the tool's JSON output. Runs natively only.
"""
import argparse
import json
import os
import random
import re
import shutil
import subprocess
import sys
import xml.etree.ElementTree as ET


def evaluate(expression):
    """Bytes of a row expression (docs/expressions.md): "(" sum ")", sums of terms, terms of
    factors repeated by counts, factors a byte string or a parenthesised sum."""
    text = re.sub(r"\s", "", expression)
    position = 0

    def peek():
        return text[position] if position < len(text) else ""

    def take(c):
        nonlocal position
        if peek() != c:
            raise ValueError("%r expected at %d in %s" % (c, position, text))
        position += 1

    def total():
        value = term()
        while peek() == "+":
            take("+")
            value += term()
        return value

    def term():
        nonlocal position
        value = factor()
        while peek() == "*":
            take("*")
            digits = re.match(r"[1-9][0-9]*", text[position:]).group(0)
            position += len(digits)
            value *= int(digits)
        return value

    def factor():
        nonlocal position
        if peek() == "(":
            take("(")
            value = total()
            take(")")
            return value
        digits = re.match(r"([0-9A-Fa-f]{2})+", text[position:]).group(0)
        position += len(digits)
        return bytes.fromhex(digits)

    take("(")
    value = total()
    take(")")
    if position != len(text):
        raise ValueError("text after the expression: " + text)
    return value


def rows_of(text):
    rows = []
    for row in re.sub(r"\s", "", text or "").split(","):
        if row.startswith("0x"):
            rows.append(row[2:].upper())
        else:
            rows.append(evaluate(row).hex().upper())
    return rows


def model_from_tree(root):
    """The model ElementTree sees in a data file."""
    comment = root.find("Comment")
    fields = []
    for field in root.findall("DataField"):
        checksum = field.get("checksum")
        fields.append({"name": field.get("name"), "checksum": int(checksum[2:], 16) if checksum else 0,
                       "blocks": [{"row_width": int(block.get("row_width")), "rows": rows_of(block.text)}
                                  for block in field.findall("FieldBlock")]})
    return {"version": root.get("version"), "comment": comment.text if comment is not None else None,
            "fields": fields}


def row_text(row, expressions):
    data = bytes.fromhex(row)
    if expressions and len(data) >= 3 and data == data[:1] * len(data):
        return "(%s*%d)" % (row[:2], len(data))
    return "0x" + row


def tree_from_model(model, expressions):
    """A data file as ElementTree writes it."""
    root = ET.Element("SVF_Plus_Data", version=model["version"])
    if model["comment"] is not None:
        ET.SubElement(root, "Comment").text = model["comment"]
    for field in model["fields"]:
        element = ET.SubElement(root, "DataField", name=field["name"])
        if field["checksum"]:
            element.set("checksum", "0x%04X" % field["checksum"])
        for block in field["blocks"]:
            rows = ",\n".join(row_text(row, expressions) for row in block["rows"])
            ET.SubElement(element, "FieldBlock", row_width=str(block["row_width"])).text = rows
    return ET.ElementTree(root)


def round_trip_models(data):
    rng = random.Random(20240601)
    runs = "".join("%02X" % (n + 1) * (n + 3) for n in range(30))   # an expression longer than 60 characters
    with open(os.path.join(data, "cli_model.json"), "rb") as f:
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


class Check:
    def __init__(self, tool, xmllint, work):
        self.tool, self.xmllint, self.work, self.failures = tool, xmllint, work, []

    def run(self, command, what):
        done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
        if done.returncode != 0:
            self.failures.append("%s: %s exited %d\n%s" % (what, " ".join(command), done.returncode,
                                                           done.stderr.decode("utf-8", "replace")))
        return done

    def model_of(self, document, what):
        """The model the library reads from a document, as the tool's JSON."""
        target = os.path.join(self.work, "read-back.json")
        if self.run([self.tool, "convert", document, target], what).returncode != 0:
            return None
        with open(target, "rb") as f:
            return json.loads(f.read().decode("utf-8"))

    def same(self, got, expected, what):
        if got != expected:
            self.failures.append("%s: models differ\n got: %s\nwant: %s" % (what, json.dumps(got)[:2000],
                                                                           json.dumps(expected)[:2000]))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True)
    parser.add_argument("--xmllint", required=True)
    parser.add_argument("--dtd", required=True)
    parser.add_argument("--data", default="data")
    options = parser.parse_args()

    work = "interop-scratch"
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    shutil.copy(options.dtd, work)   # the documents name it beside themselves
    check = Check(options.tool, options.xmllint, work)

    for number, model in enumerate(round_trip_models(options.data)):
        source = os.path.join(work, "model%d.json" % number)
        with open(source, "wb") as f:
            f.write(json.dumps(model).encode("utf-8"))
        for flags in ([], ["--expressions"]):
            what = "model %d %s" % (number, " ".join(flags))
            written = os.path.join(work, "written%d%s.xml" % (number, "-expr" if flags else ""))
            if check.run([options.tool, "convert", source, written] + flags, what).returncode != 0:
                continue
            check.run([options.xmllint, "--valid", "--noout", written], what + ": xmllint --valid")
            check.same(model_from_tree(ET.parse(written).getroot()), model, what + ": ElementTree")

            formatted = os.path.join(work, "formatted%d.xml" % number)
            done = check.run([options.xmllint, "--format", written], what + ": xmllint --format")
            with open(formatted, "wb") as f:
                f.write(done.stdout)
            check.same(check.model_of(formatted, what), model, what + ": after xmllint --format")

        for expressions in (False, True):
            for indented in (False, True):
                what = "model %d by ElementTree%s%s" % (number, " with expressions" if expressions else "",
                                                        ", indented" if indented else "")
                tree = tree_from_model(model, expressions)
                if indented:
                    ET.indent(tree)
                document = os.path.join(work, "tree%d.xml" % number)
                tree.write(document, encoding="utf-8", xml_declaration=True)
                check.same(check.model_of(document, what), model, what)

    for failure in check.failures:
        print("FAIL " + failure)
    print("%d failures" % len(check.failures))
    if not check.failures:
        shutil.rmtree(work, ignore_errors=True)
    return 1 if check.failures else 0


if __name__ == "__main__":
    sys.exit(main())
