"""Tests of `rizeroz render`: the PNG files it writes are decoded here (zlib and struct)
and their pixels compared with pictures written out from the rows of small models; the
text form is compared with small expected pictures. Every build writes PNG, the Windows
ones (under wine) too.
"""
import os
import struct
import zlib

import pytest

from cli_test import field, model
from conftest import EXIT_ERROR, EXIT_OK, EXIT_USAGE

# The documented palette, one character per colour in the pictures below.
COLOURS = {(0xF2, 0xF2, 0xEE): ".", (0x1F, 0x23, 0x2A): "#", (0xF0, 0xA0, 0x30): "m", (0xC6, 0xD4, 0xE8): " ",
           (0x3A, 0x6E, 0xC8): "=", (0xFA, 0xFA, 0xF8): ",", (0xA8, 0xA8, 0xA8): "+", (0xF6, 0xD8, 0xB0): "f",
           (0xE0, 0x20, 0x20): "X"}


def read_png(path):
    """The pixels of a palette PNG file as rows of the characters above."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "no PNG signature"
    chunks, idat, pos = {}, b"", 8
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        assert struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])[0] == zlib.crc32(kind + body), kind
        idat += body if kind == b"IDAT" else b""
        chunks.setdefault(kind, body)
        pos += 12 + length
    width, height, depth, colour_type, _, _, interlace = struct.unpack(">IIBBBBB", chunks[b"IHDR"])
    assert colour_type == 3 and interlace == 0 and b"IEND" in chunks, "a palette picture, not interlaced"
    palette = [COLOURS[tuple(chunks[b"PLTE"][i:i + 3])] for i in range(0, len(chunks[b"PLTE"]), 3)]
    raw, stride = zlib.decompress(idat), (width * depth + 7) // 8
    assert len(raw) == height * (stride + 1) and all(raw[y * (stride + 1)] == 0 for y in range(height)), "filter 0"
    pixel = lambda line, x: (line[x * depth // 8] >> (8 - depth - x * depth % 8)) & ((1 << depth) - 1)
    return ["".join(palette[pixel(raw[y * (stride + 1) + 1:], x)] for x in range(width)) for y in range(height)]


def scaled(picture, scale):
    """A picture of cells at `scale` pixels a cell; from 8 on, with the grid: the last pixel
    row and column of each cell that is a bit are pale blue (' ')."""
    grid, rows = scale >= 8, []
    for row in picture:
        cells = [c * (scale - 1) + (" " if grid and c not in " =" else c) if scale > 1 else c for c in row]
        rows += ["".join(cells)] * (scale - 1 if grid else scale)
        if grid:
            rows.append("".join(c * scale if c in " =" else " " * scale for c in row))
    return rows


def bits(row, width=None):
    """A row's cells: '#' for a set bit and '.' for a clear one, first byte first, high bit first."""
    cells = "".join(format(byte, "08b") for byte in bytes.fromhex(row)).replace("1", "#").replace("0", ".")
    return cells[:width]


def faded(cells):
    return cells.replace("#", "+").replace(".", ",")


PLAIN = field("P", (16, ["F00F", "0FF0", "1234"]))
PLAIN_PICTURE = [bits("F00F"), bits("0FF0"), bits("1234")]
BLOCKS = field("B", (8, ["81"]), (16, ["F00F"]), (16, []), (4, ["F0"]))
TALL = field("T", (8, ["%02X" % i for i in range(200)]))


def test_png(g):
    short = field("S", (12, ["ABCD", "AB", "ABCDEF"]))
    other = model([field("P", (16, ["F00F", "0FF1"]), (12, ["AB"])), field("Q", (4, ["F0"]))])
    g.write("other.json", other)
    one = ["--scale", "1"]
    cases = [
        # name, fields, arguments, pixels per bit, {file: expected picture at a pixel per bit}
        ("plain", [PLAIN], one, 1, {"": PLAIN_PICTURE}),
        ("short and long rows", [short], one, 1, {"": [bits("ABCD", 12) + " " * 12, bits("AB") + "mmmm" + " " * 12,
                                                       bits("ABCDEF")]}),
        ("blocks", [BLOCKS], one, 1, {"": [bits("81") + " " * 8, "=" * 16, bits("F00F"), "=" * 16, "####" + " " * 12]}),
        ("one block", [BLOCKS], one + ["--field", "B", "--block", "1"], 1, {"": [bits("F00F")]}),
        ("columns", [field("C", (4, ["10", "20", "30", "40", "50"]))], one + ["--columns", "2"], 1,
         {"": [bits("10", 4) + " = " + bits("40", 4), bits("20", 4) + " = " + bits("50", 4),
               bits("30", 4) + " =     "]}),
        ("scale", [PLAIN], ["--scale", "3"], 3, {"": PLAIN_PICTURE}),
        # Without --scale, the least scale that makes the picture 512 pixels wide and 64 tall,
        # within --max-pixels; cells of 8 pixels and more with a grid.
        ("default scale", [PLAIN], [], 32, {"": PLAIN_PICTURE}),
        ("default scale within --max-pixels", [PLAIN], ["--max-pixels", "20000"], 20, {"": PLAIN_PICTURE}),
        ("default scale of a wide field", [field("W", (520, ["FF" * 65] * 64))], [], 1, {"": ["#" * 520] * 64}),
        ("default scale of a short field", [field("S", (64, ["F0" * 8] * 4))], [], 16,
         {"": [bits("F0" * 8)] * 4}),
        ("grid from 8", [field("G", (2, ["80"]))], ["--scale", "8"], 8, {"": ["#."]}),
        ("default scale at most 100", [field("N", (1, ["80"]))], [], 100, {"": ["#"]}),
        # A differing row is marked in a margin on the left (8 pixels here, a quarter of it a gap).
        ("diff", [field("P", (16, ["F00F", "0FF0", "1234"]), (12, ["AB"])), field("P", (12, ["AB"])),
                  field("", (8, ["01"]))], one + ["--diff", g.path("other.json")], 1,
         {"-P": ["        " + faded(bits("F00F")), "XXXXXX  " + faded(bits("0FF0"))[:15] + "X",
                 "XXXXXX  " + "X" * 16, "        " + "=" * 16, "        " + faded(bits("AB")) + "ffff    "],
          "-P-1": ["XXXXXX  " + "X" * 12], "-field2": ["XXXXXX  " + "X" * 8], "-Q": ["XXXXXX  XXXX"]}),
    ]
    for number, (name, fields, arguments, scale, pictures) in enumerate(cases):
        source = g.write("case%d.json" % number, model(fields))
        # render names every file it wrote, one per line.
        written = "".join(g.path("case%d%s.png\n" % (number, suffix)) for suffix in pictures)
        g.run("render", source, "-o", g.path("case%d.png" % number), *arguments, code=EXIT_OK, out=written)
        for suffix, expected in pictures.items():
            actual = read_png(g.path("case%d%s.png" % (number, suffix)))
            expected = scaled(expected, scale)
            g.expect(actual == expected, "%s: picture%s" % (name, suffix), "\n".join(actual))
    g.expect(len([f for f in os.listdir(g.dir) if f.endswith(".png")]) == len(cases) + 3, "one file per field")

    # A tall field is cut into columns that keep the picture near square, read top to bottom.
    g.run("render", g.write("tall.json", model([TALL])), "-o", g.path("tall.png"), "--scale", "1", code=EXIT_OK)
    tall = read_png(g.path("tall.png"))
    g.expect(len(tall[0]) > 11 and 0.5 < len(tall[0]) / len(tall) < 2, "tall: columns", (len(tall[0]), len(tall)))
    g.expect([row[:8] for row in tall] == [bits("%02X" % i) for i in range(len(tall))] and tall[0][8:11] == " = ",
             "tall: the first column", "\n".join(tall))

    wide = g.write("wide.json", model([field("W", (20000, ["FF"]))]))
    g.expect_error(g.run("render", wide, "-o", g.path("w.png"), "--scale", "100"), "would be 2000000 x 100 pixels")
    g.expect_error(g.run("render", "data/sample.xml", "-o", g.path("no/such.png")),
                   "no/such-Usercode_MASK.png: error: the file cannot be saved")
    if os.path.exists("/dev/full") and not g.tool.emulated:   # a Linux device, not one under wine
        g.expect_error(g.run("render", "data/sample.xml", "--field", "Usercode_MASK", "-o", "/dev/full"),
                       "/dev/full: error: the file cannot be saved", "No space left on device")


def raw_png(path):
    """Width, height and the pixel rows of a 4-bit palette PNG file, each a filter byte
    (0) and two pixels a byte: for large pictures, read a few pixels only."""
    with open(path, "rb") as f:
        data = f.read()
    width, height = struct.unpack(">II", data[16:24])
    idat, pos = b"", 8
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        idat += data[pos + 8:pos + 8 + length] if kind == b"IDAT" else b""
        pos += 12 + length
    return width, height, zlib.decompress(idat), (width + 1) // 2 + 1


# The sample's fields as seen without --scale: square cells of 32 and 16 pixels with a
# grid, at least 64 pixels tall. One bit that differs in a picture of 1,000 pixel rows is
# marked by a band in the margin reaching 5 rows (a 200th of the height) beyond its row, as
# wide as a 32nd of the picture less a gap, seen when the picture is shown small.
def test_png_sizes_and_marks(g):
    g.run("render", "data/sample.xml", "-o", g.path("s.png"), code=EXIT_OK)
    for name, size, cell in [("Usercode_MASK", (1024, 64), 32), ("FuseArray_MASK", (4096, 64), 16)]:
        width, height, raw, stride = raw_png(g.path("s-%s.png" % name))
        g.expect((width, height) == size, name + ": size", (width, height))
        grid_row = raw[(cell - 1) * stride + 1:(cell - 1) * stride + 1 + cell * 4 // 2]
        g.expect(set(grid_row) == {0x33}, name + ": the grid's row, pale blue", grid_row[:8])
        g.expect((raw[1 + (cell - 1) // 2] & 0x0F) == 3 and raw[1] >> 4 != 3, name + ": the grid's column", raw[:8])

    rows = ["00" * 64] * 2000
    changed = list(rows)
    changed[1500] = "00" * 40 + "08" + "00" * 23
    g.write("a.json", model([field("D", (512, rows))]))
    g.write("b.json", model([field("D", (512, changed))]))
    g.run("render", g.path("a.json"), "--diff", g.path("b.json"), "-o", g.path("d.png"), code=EXIT_OK)
    width, height, raw, stride = raw_png(g.path("d.png"))
    pixel = lambda x, y: (raw[y * stride + 1 + x // 2] >> (0 if x % 2 else 4)) & 15
    g.expect((width, height) == (32 + 1027, 1000), "diff: size, two columns and the margin", (width, height))
    red = [y for y in range(height) if pixel(0, y) == 8]
    g.expect(red == list(range(495, 506)) and all(pixel(23, y) == 8 and pixel(24, y) == 3 for y in red),
             "diff: the band in the margin at the row that differs", red)
    bits_red = sum(1 for y in range(490, 510) for x in range(32, width) if pixel(x, y) == 8)
    g.expect(bits_red == 1, "diff: one bit differs", bits_red)


def test_text(g):
    plain, blocks = g.write("plain.json", model([PLAIN])), g.write("blocks.json", model([BLOCKS]))
    g.run("render", plain, "--text", env={"COLUMNS": "12"}, code=EXIT_OK,
          out="P (cut to 12 of 16 columns)\n▀▀▀▀▄▄▄▄▄▄▄▄\n···▀··▀···▀▀\n")
    g.run("render", blocks, "--text", code=EXIT_OK, out="B\n▀······▀\n▀▀▀▀········▀▀▀▀\n▀▀▀▀\n")
    g.run("render", plain, "--text", "--color", "always", env={"COLUMNS": "4"}, code=EXIT_OK,
          out="P (cut to 4 of 16 columns)\n\x1b[38;5;235m\x1b[48;5;255m▀▀▀▀\x1b[0m\n"
              "\x1b[38;5;255m▀▀▀\x1b[38;5;235m▀\x1b[0m\n")
    r = g.run("render", "data/sample.xml", "--text", env={"COLUMNS": "40"}, code=EXIT_OK)
    g.expect(r.out.startswith("Usercode_MASK\n" + "▀" * 16 + "█" * 16 + "\n\nFuseArray_MASK (cut to 40 of 256"),
             "two fields as text", r)

    errors = [
        ([plain, "--text", "-o", "x.png"], EXIT_USAGE, "excludes"),
        ([plain, "--text", "--color", "sometimes"], EXIT_USAGE, "--color"),
        ([plain, "--text", "--scale", "0"], EXIT_USAGE, "--scale"),
        ([plain, "--text", "--field", "nope"], EXIT_ERROR, 'there is no data field "nope"'),
        ([blocks, "--text", "--block", "4"], EXIT_ERROR, 'field "B" has no block 4 (it has 4 blocks'),
        (["no-such.json", "--text"], EXIT_ERROR, "no-such.json: error: the document cannot be opened"),
        ([plain, "--text", "--diff", "no-such.xml"], EXIT_ERROR, "no-such.xml: error: the document cannot be opened"),
        ([g.write("empty.json", model([])), "--text"], EXIT_ERROR, "there is no data field to draw"),
    ]
    for arguments, code, fragment in errors:
        g.expect_error(g.run("render", *arguments, out=""), fragment, code=code)
