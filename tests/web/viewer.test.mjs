// The viewer page (web/, docs/web.md) in headless Chromium: each case opens files as a
// person would and checks what the page shows against the rizeroz tool's own output for
// the same files (its errors, `diff`'s lines, `convert`'s files), the colours of chosen
// cells against the tool's palette (docs/cli.md), and that the page asked for nothing but
// its own files. Run by `scripts/test.sh web` (RIZEROZ_SITE: the built page,
// RIZEROZ_TOOL: the native rizeroz, RIZEROZ_SHOTS: where screenshots go).
import assert from "node:assert/strict";
import { execFileSync, spawnSync } from "node:child_process";
import fs from "node:fs";
import http from "node:http";
import os from "node:os";
import path from "node:path";
import { after, before, test } from "node:test";
import { fileURLToPath, pathToFileURL } from "node:url";
import { chooseFile, launch, openPage } from "./browser.mjs";

const ROOT = path.resolve(path.dirname(fileURLToPath(import.meta.url)), "../..");
const SITE = process.env.RIZEROZ_SITE;
const TOOL = process.env.RIZEROZ_TOOL;
let SHOTS = process.env.RIZEROZ_SHOTS; // without it, the scratch folder's, removed afterwards

// The tool's palette (docs/cli.md, render).
const COLOURS = { clear: "f2f2ee", set: "1f232a", outside: "c6d4e8", separator: "3a6ec8", "faded clear": "fafaf8",
  "faded set": "a8a8a8", differs: "e02020" };

// The files the cases open, made in a scratch folder.
const FILES = {
  "sample.xml": () => fs.readFileSync(path.join(ROOT, "tests/data/sample.xml")),
  "changed.xml": (sample) => sample.replace('version="2.1"', 'version="2.2"').replace("0x0000FFFF", "0x0F00FFFF")
    .replace("EEFF,", "EEFE,").replace("0x5A", "0x5B"),
  "broken.xml": (sample) => sample.replace("0x0000FFFF", "0x0000FGFF"),
  "text.xml": () => "these are not masks\n",
  "truncated.xml": (sample) => sample.slice(0, 300),
  "binary.xml": () => Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0, 0, 0, 0x0d, 0x49, 0x48]),
  "empty.xml": () => "",
  "shape.json": () => '{"version": "2.1", "fields": 3}\n',
  "second-root.xml": (sample) => sample.replace("\t<Comment>", "<SVF_Plus_Data>\n\t<Comment>"),
  "other-fields.xml": () => `<SVF_Plus_Data version="2.1">
  <DataField name="A_MASK"><FieldBlock row_width="16">0x1234, 0x12, 0x123456</FieldBlock><FieldBlock>0x12</FieldBlock></DataField>
  <DataField name="B_MASK"><FieldBlock row_width="0">0x12, 0x3456</FieldBlock></DataField>
</SVF_Plus_Data>\n`,
  "warned.xml": (sample) => sample.replace('checksum="0x1a2b"', 'checksum="0x12"').replace("0x5A", "0x5A1")
    .replace("\t<Comment>", "\t<Extra>x</Extra>\n\t<Comment>"),
  "wide.xml": () => wideFile(false),
  "wide-changed.xml": () => wideFile(true),
  "long.xml": (sample) => longFile(sample, []),
  "long-changed.xml": (sample) => longFile(sample, [PIECE_ROWS, 2 * PIECE_ROWS + 1]),
};

// A file of some 10 MB, which the page hands to the library in many pieces (at most 4 MB
// each): the sample with 700000 rows in place of its second row, row i holding i; the rows
// `changed` hold something else. Each row's line takes 15 bytes: PIECE_ROWS rows reach
// the end of the first 4 MB.
const PIECE_ROWS = Math.floor(4 * 1024 * 1024 / 15);
function longFile(sample, changed) {
  const rows = Array.from({ length: 700000 }, (_, i) => "0x" + i.toString(16).toUpperCase().padStart(8, "0"));
  for (const row of changed) rows[row] = "0xFFFFFFFF";
  return sample.replace("0x0000FFFF", rows.join(",\n\t\t\t"));
}

// A field of 4096 x 400 bits, all clear; changed, bit 3003 of row 300 is set: one cell
// that differs, less than a pixel wide where the field fits the window.
function wideFile(changed) {
  const rows = Array.from({ length: 400 }, () => "00".repeat(512));
  if (changed) rows[300] = "00".repeat(375) + "10" + "00".repeat(136);
  return `<SVF_Plus_Data version="2.1">\n<DataField name="WIDE_MASK"><FieldBlock row_width="4096">\n0x${rows.join(",\n0x")}
</FieldBlock></DataField>\n</SVF_Plus_Data>\n`;
}

// Each case: the files opened (the second compared with the first; with `reopened`, each
// shown in turn), or dropped at once; `zoomedCompare`, a file then dropped to be compared,
// with a click on zoom-in at once (a part of the picture asked for while it is read). Then
// what the page must show; a case that shows its files shows no message unless `message`
// says which. `pointed`: the cell pointed at and what the cell line tells; without a cell,
// what it tells once the field is chosen. A case that ends in a failure opens the sample
// afterwards: the page must stay usable. `keys`: keys pressed on the picture ("Shift+F7"
// held together) and what the cell line then tells; `clicked`: the listed difference
// clicked (by the text it starts with) and what the cell line then tells; `listKeys`: keys
// pressed in the list of differences, and what the cell line then tells; `marked`: the
// bytes of the hexadecimal rows marked as differing; `fills`: fields whose picture fills
// the width with cells of 8 pixels or more (rows wrapped where that takes it); `dark`: the system asks for dark colours; `tabs`: the controls Tab reaches,
// before and after a file is opened; `phone`: a phone's window, before a file is opened;
// `warnings`: the reader's warnings, as `rizeroz check` gives them; `oneBit`: the one cell
// that differs in a large field, marked where its row and cell are; `grid`: a field whose
// cells are large enough for lines between them, and a byte's first cell (line, bit)
// after a clear bit: the line at its left shows, and the ruler has numbers.
const CASES = [
  { name: "sample", files: ["sample.xml"], state: "shown",
    texts: { "#first-file": ["Version2.1", "Commentbundled sample: two masks of a small device", "Usercode_MASK: 0x1A2B",
      "block 0: row width 32 bits, 2 rows, 8 bytes", "FuseArray_MASK: no checksum", "block 1: row width 8 bits, 1 row, 1 byte",
      "no warnings from the reader"], "#hex": ["b0 r1 0000FFFF"] },
    fills: ["FuseArray_MASK", "Usercode_MASK"], grid: ["Usercode_MASK", 1, 8],
    cells: [["Usercode_MASK", 0, 0, "set"], ["Usercode_MASK", 1, 15, "clear"], ["Usercode_MASK", 1, 16, "set"],
      ["FuseArray_MASK", 0, 11, "set"], ["FuseArray_MASK", 0, 12, "clear"], ["FuseArray_MASK", 2, 0, "separator"], ["FuseArray_MASK", 3, 0, "clear"],
      ["FuseArray_MASK", 3, 8, "outside"]],
    pointed: [["FuseArray_MASK", 0, 12, "FuseArray_MASK, block 0, row 0, bit 12: byte 1 = 0x11"],
      ["Usercode_MASK", null, null, "Usercode_MASK, block 0, row 0, bit 0: byte 0 = 0xFF"],
      ["Usercode_MASK", 1, 20, "Usercode_MASK, block 0, row 1, bit 20: byte 2 = 0xFF"]],
    keys: [["ArrowDown ArrowRight ArrowRight ArrowRight", "Usercode_MASK, block 0, row 1, bit 3: byte 0 = 0x00"]] },
  { name: "comparison", files: ["sample.xml", "changed.xml"], state: "shown", diff: true,
    cells: [["Usercode_MASK", 1, 4, "differs"], ["Usercode_MASK", 1, 3, "faded clear"], ["Usercode_MASK", 0, 0, "faded set"],
      ["FuseArray_MASK", 0, 255, "differs"], ["FuseArray_MASK", 0, 254, "faded set"], ["FuseArray_MASK", 3, 7, "differs"]],
    pointed: [["Usercode_MASK", 1, 4, "Usercode_MASK, block 0, row 1, bit 4: byte 0 = 0x00 (second file: 0x0F)"]],
    texts: { "#hex": ["b0 r1 0000FFFF 0F00FFFF"] }, marked: ["00", "0F"],
    clicked: [["FuseArray_MASK[0][0]", "FuseArray_MASK, block 0, row 0, bit 255: byte 31 = 0xFF (second file: 0xFE)"],
      ["FuseArray_MASK[1][0]", "FuseArray_MASK, block 1, row 0, bit 7: byte 0 = 0x5A (second file: 0x5B)"],
      ["Usercode_MASK[0][1]", "Usercode_MASK, block 0, row 1, bit 4: byte 0 = 0x00 (second file: 0x0F)"]],
    listKeys: ["ArrowUp ArrowUp ArrowDown Enter", "FuseArray_MASK, block 0, row 0, bit 255: byte 31 = 0xFF (second file: 0xFE)"],
    keys: [["n", "Usercode_MASK, block 0, row 1, bit 5: byte 0 = 0x00 (second file: 0x0F)"],
      ["p", "Usercode_MASK, block 0, row 1, bit 4: byte 0 = 0x00 (second file: 0x0F)"],
      ["F7 F7 F7 F7", "FuseArray_MASK, block 0, row 0, bit 255: byte 31 = 0xFF (second file: 0xFE)"],
      ["Shift+F7", "Usercode_MASK, block 0, row 1, bit 7: byte 0 = 0x00 (second file: 0x0F)"],
      ["p p p p", "FuseArray_MASK, block 1, row 0, bit 7: byte 0 = 0x5A (second file: 0x5B)"]] },
  { name: "one bit in a large field", files: ["wide.xml", "wide-changed.xml"], state: "shown", diff: true, oneBit: [300, 3003],
    keys: [["n", "WIDE_MASK, block 0, row 300, bit 3003: byte 375 = 0x00 (second file: 0x10)"],
      ["n", "WIDE_MASK, block 0, row 300, bit 3003: byte 375 = 0x00 (second file: 0x10)"]] },
  { name: "dark", dark: true, files: ["sample.xml", "changed.xml"], state: "shown", cells: [["Usercode_MASK", 1, 4, "differs"],
    ["Usercode_MASK", 0, 0, "faded set"]] },
  { name: "tab order", tabs: true, files: ["sample.xml"], state: "shown" },
  { name: "phone", phone: true, viewport: { width: 390, height: 844, deviceScaleFactor: 2, isMobile: true, hasTouch: true },
    files: ["sample.xml"], state: "shown", fits: true },
  { name: "warnings", files: ["warned.xml"], state: "shown", warnings: true },
  { name: "fields the other file lacks", files: ["other-fields.xml"], zoomedCompare: "sample.xml", state: "shown",
    cells: [["A_MASK", 0, 0, "differs"], ["B_MASK", 1, 15, "differs"]],
    clicked: [["FuseArray_MASK: only", "FuseArray_MASK, block 0, row 0, bit 0: byte 0 = none (second file: 0x00)"],
      ["B_MASK: only", "B_MASK, block 0, row 0, bit 0: byte 0 = 0x12 (second file: none)"]] },
  { name: "JSON", files: ["sample.json"], state: "shown",
    texts: { "#first-file": ["Usercode_MASK: 0x1A2B", "block 0: row width 256 bits, 2 rows, 64 bytes"] } },
  { name: "broken row", files: ["broken.xml"], state: "failed", toolError: true,
    texts: { "#failure-lines": ["     9 | \t\t\t0x0000FGFF\n         \t\t\t       ^ here\n", "     6 | "] } },
  { name: "read in pieces", files: ["long.xml", "long-changed.xml"], state: "shown", diff: true,
    texts: { "#first-file": ["block 0: row width 32 bits, 700001 rows"] } },
  { name: "loaded whole", whole: true, files: ["long.xml", "long-changed.xml"], state: "shown", diff: true },
  { name: "after a large file", files: ["long.xml", "sample.xml"], reopened: true, state: "shown", freshMemory: true },
  { name: "broken second file", files: ["sample.xml", "broken.xml"], state: "failed", toolError: true,
    pointed: [["Usercode_MASK", 1, 20, "Usercode_MASK, block 0, row 1, bit 20: byte 2 = 0xFF"]] },
  { name: "second root element", files: ["second-root.xml"], state: "failed", toolError: true,
    viewport: { width: 1366, height: 768, deviceScaleFactor: 1 } },
  { name: "not a data file", files: ["text.xml"], state: "failed", toolError: true },
  { name: "truncated", files: ["truncated.xml"], state: "failed", toolError: true },
  { name: "binary", files: ["binary.xml"], state: "failed", toolError: true },
  { name: "empty", files: ["empty.xml"], state: "failed", toolError: true },
  { name: "JSON of the wrong shape", files: ["shape.json"], state: "failed", toolError: true },
  { name: "too large", files: ["huge.xml"], state: "failed",
    message: /^huge\.xml is 5\.0 GB: reading it needs about 10\.0 GB of memory, and this page can have .* more; read it with the rizeroz tool/ },
  { name: "two files dropped", dropped: ["sample.xml", "changed.xml"],
    message: /^2 files were given; open one file at a time/ },
  { name: "served", served: true, files: ["sample.xml"], state: "shown", cells: [["Usercode_MASK", 1, 0, "clear"]] },
  { name: "200 % zoom", viewport: { width: 683, height: 384, deviceScaleFactor: 2 }, files: ["sample.xml"],
    state: "shown", fits: true, cells: [["Usercode_MASK", 1, 31, "set"]] },
];

// Saving the sample: what the page downloads must be what `rizeroz convert` writes.
const SAVES = [
  { kind: "xml", file: "sample.xml", convert: ["--to", "xml"] },
  { kind: "expressions", file: "sample-expressions.xml", convert: ["--to", "xml", "--expressions"] },
  { kind: "json", file: "sample.json", convert: ["--to", "json"] },
];

let browser;
let server;
let work;

function tool(...args) {
  return spawnSync(TOOL, args, { cwd: work, encoding: "utf8" });
}

before(async () => {
  assert.ok(SITE && TOOL, "RIZEROZ_SITE and RIZEROZ_TOOL must name the built page and the rizeroz tool");
  work = fs.mkdtempSync(path.join(os.tmpdir(), "rizeroz-web-"));
  const sample = FILES["sample.xml"]().toString();
  for (const [name, make] of Object.entries(FILES)) fs.writeFileSync(path.join(work, name), make(sample));
  fs.closeSync(fs.openSync(path.join(work, "huge.xml"), "w"));
  fs.truncateSync(path.join(work, "huge.xml"), 5 * 1024 ** 3); // sparse: no disk taken
  execFileSync(TOOL, ["convert", "sample.xml", "sample.json"], { cwd: work });
  SHOTS = SHOTS || path.join(work, "screenshots");
  fs.mkdirSync(SHOTS, { recursive: true });
  browser = await launch();
  server = http.createServer((request, response) => {
    const file = path.join(SITE, path.normalize(new URL(request.url, "http://x").pathname));
    fs.readFile(file, (failure, bytes) => response.writeHead(failure ? 404 : 200).end(failure ? "" : bytes));
  });
  await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
});

after(async () => {
  await browser?.close();
  server?.close();
  fs.rmSync(work, { recursive: true, force: true });
});

function pageUrl(served) {
  return served ? `http://127.0.0.1:${server.address().port}/index.html` : pathToFileURL(path.join(SITE, "index.html")).href;
}

// Every request of the page is for its own files (or its worker's blob).
function assertOwnRequests(requests, served) {
  const base = pageUrl(served).replace(/index\.html$/, "");
  const foreign = requests.filter((url) => !url.startsWith(base) && !url.startsWith("blob:"));
  assert.deepEqual(foreign, [], "the page asked for more than its own files");
}

async function showField(page, name) {
  const painted = await page.$eval("#picture", (canvas) => Number(canvas.dataset.painted || 0));
  const index = await page.$$eval("#field-select option", (options, wanted) =>
    options.findIndex((option) => option.textContent === wanted), name);
  assert.ok(index >= 0, `no field ${name}`);
  if (await page.$eval("#field-select", (select) => select.value) === String(index)) return;
  await page.select("#field-select", String(index));
  await page.waitForFunction((before) => Number(document.querySelector("#picture").dataset.painted) > before, {}, painted);
}

// The middle of a cell (line, bit) of the library's picture as shown, in CSS pixels from
// the canvas's corner, and the canvas's place and pixels a CSS pixel. Where the page wrapped
// the rows (`wrap` bits a line), a row takes `rows` lines and a line between two blocks
// (`separators`, the picture's lines) one.
async function cellMiddle(page, line, bit) {
  return page.$eval("#picture", (canvas, line, bit) => {
    const { zoom, line: top, x, wrap, rows, separators } = canvas.dataset;
    if (Number(wrap)) {
      const between = separators ? separators.split(" ").map(Number) : [];
      const down = between.includes(line) ? 0 : Math.floor(bit / wrap);
      [line, bit] = [line * rows - (rows - 1) * between.filter((at) => at < line).length + down, bit % wrap];
    }
    const box = canvas.getBoundingClientRect();
    return { x: (bit - x + 0.5) * zoom, y: (line - top + 0.5) * zoom, left: box.left, top: box.top,
      ratio: canvas.width / canvas.clientWidth };
  }, line, bit);
}

async function cellPoint(page, line, bit) {
  const at = await cellMiddle(page, line, bit);
  return { x: at.left + at.x, y: at.top + at.y };
}

async function cellColour(page, line, bit) {
  const at = await cellMiddle(page, line, bit);
  return page.$eval("#picture", (canvas, x, y) => {
    const pixel = canvas.getContext("2d").getImageData(x, y, 1, 1).data;
    return Array.from(pixel.slice(0, 3), (value) => value.toString(16).padStart(2, "0")).join("");
  }, Math.floor(at.x * at.ratio), Math.floor(at.y * at.ratio));
}

// Drops the files on `on`, and clicks `click` (if any) in the same task.
async function dropFiles(page, names, on = "main", click = null) {
  const files = names.map((name) => ({ name, text: fs.readFileSync(path.join(work, name), "utf8") }));
  await page.evaluate((files, on, click) => {
    const transfer = new DataTransfer();
    for (const file of files) transfer.items.add(new File([file.text], file.name));
    document.querySelector(on).dispatchEvent(new DragEvent("drop", { bubbles: true, dataTransfer: transfer }));
    if (click) document.querySelector(click).click();
  }, files, on, click);
}

// The underscores of the lines about a reader's error (in the way of the line below's
// background, the caret's in the end) must show: the lines' pixels change when any one of
// them is made a blank.
async function checkUnderscores(page) {
  const box = await (await page.$("#failure-lines")).boundingBox();
  const shot = () => page.screenshot({ clip: box, encoding: "base64" });
  const shown = await shot();
  const lines = await page.$eval("#failure-lines", (lines) => lines.innerHTML);
  const count = await page.$eval("#failure-lines", (lines) => lines.textContent.split("_").length - 1);
  for (let index = 0; index < count; ++index) {
    const line = await page.$eval("#failure-lines", (lines, index) => {
      const texts = document.createTreeWalker(lines, NodeFilter.SHOW_TEXT);
      for (let node = texts.nextNode(), seen = 0; node; node = texts.nextNode()) {
        for (let at = node.data.indexOf("_"); at >= 0; at = node.data.indexOf("_", at + 1)) {
          if (seen++ === index) return [node.data, node.replaceData(at, 1, " ")][0];
        }
      }
    }, index);
    const blanked = await shot();
    await page.$eval("#failure-lines", (box, lines) => { box.innerHTML = lines; }, lines);
    assert.ok(blanked !== shown, `an underscore of ${JSON.stringify(line)} does not show`);
  }
}

// The controls that Tab reaches, from the page's start, up to `count` of them: each must
// be seen (no control that cannot be seen takes the focus).
async function tabStops(page, count) {
  // The focus starts on a mark placed before everything else, gone again once left.
  await page.evaluate(() => {
    const start = document.createElement("span");
    start.tabIndex = -1;
    start.addEventListener("blur", () => start.remove());
    document.body.prepend(start);
    start.focus();
  });
  const stops = [];
  for (let i = 0; i < count; ++i) {
    await page.keyboard.press("Tab");
    const stop = await page.evaluate(() => {
      const focused = document.activeElement;
      if (!focused || focused === document.body) return null;
      const box = focused.getBoundingClientRect();
      const seen = box.width > 2 && box.height > 2 && Number(getComputedStyle(focused).opacity) > 0;
      return { name: focused.id || focused.dataset.save || focused.textContent.trim(), seen };
    });
    if (!stop) break;
    assert.ok(stop.seen, `Tab stop ${i + 1} (${stop.name}) cannot be seen`);
    stops.push(stop.name);
  }
  return stops;
}

// The number of pixels of `colour` (rrggbb) in a canvas, within `box` ({x, y, width,
// height} in the canvas's own pixels; all of it when not given).
async function countColour(page, selector, colour, box = null) {
  return page.$eval(selector, (canvas, colour, box) => {
    const { x, y, width, height } = box || { x: 0, y: 0, width: canvas.width, height: canvas.height };
    const left = Math.max(0, Math.round(x));
    const top = Math.max(0, Math.round(y));
    const data = canvas.getContext("2d").getImageData(left, top, Math.round(width), Math.round(height)).data;
    const [r, g, b] = [0, 2, 4].map((at) => parseInt(colour.slice(at, at + 2), 16));
    let count = 0;
    for (let i = 0; i < data.length; i += 4) count += data[i] === r && data[i + 1] === g && data[i + 2] === b ? 1 : 0;
    return count;
  }, colour, box);
}

// What the cell line tells, once it tells `text` (or after 5 s, what it tells then).
async function cellInfo(page, text) {
  await page.waitForFunction((text) => document.querySelector("#cell-info").textContent === text, { timeout: 5000 }, text)
    .catch(() => {});
  return page.$eval("#cell-info", (box) => box.textContent);
}

// Presses keys, space apart ("Shift+F7": Shift held about F7).
async function pressKeys(page, keys) {
  for (const key of keys.split(" ")) {
    const held = key.split("+").slice(0, -1);
    for (const modifier of held) await page.keyboard.down(modifier);
    await page.keyboard.press(key.split("+").at(-1));
    for (const modifier of held.reverse()) await page.keyboard.up(modifier);
  }
}

// The cursor is drawn as a black ring inside a white one, never in the red of a cell that
// differs: the pixel just inside its cell's corner is black.
async function checkCursor(page) {
  const corner = await page.$eval("#picture", (canvas) => {
    const { zoom, line: top, x, cursor } = canvas.dataset;
    const ratio = canvas.width / canvas.clientWidth;
    const [line, bit] = cursor.split(" ").map(Number);
    return { x: Math.floor((bit - x) * zoom * ratio) + 1, y: Math.floor((line - top) * zoom * ratio) + 1 };
  });
  assert.equal(await countColour(page, "#picture", "000000", { ...corner, width: 1, height: 1 }), 1, "the cursor is not black");
}

// The one cell that differs in a large field (`line`, `bit`): its row has a band beside
// the picture and a mark in the overview, and its cell a ring about it.
async function checkOneBit(page, [line, bit]) {
  const place = await page.$eval("#picture", (canvas, line, bit) => {
    const { zoom, line: top, x } = canvas.dataset;
    const ratio = canvas.width / canvas.clientWidth;
    return { x: (bit - x + 0.5) * zoom * ratio, y: (line - top + 0.5) * zoom * ratio, ratio };
  }, line, bit);
  const differs = COLOURS.differs;
  assert.ok(await countColour(page, "#marks", differs, { x: 0, y: place.y - 1, width: 4, height: 2 }) > 0,
    "no band beside the row that differs");
  const fraction = await page.$eval("#overview", (canvas, line) => (line / 400) * canvas.height, line);
  assert.ok(await countColour(page, "#overview", differs, { x: 0, y: fraction - 2, width: 4, height: 4 }) > 0,
    "no mark in the overview");
  const around = 8 * place.ratio;
  const ring = await countColour(page, "#picture", differs,
    { x: place.x - around, y: place.y - around, width: 2 * around, height: 2 * around });
  assert.ok(ring >= 20 * place.ratio, `the cell that differs has ${ring} pixels of red about it`);
}

// The page's warnings are the reader's findings of `rizeroz check`, in its words, and it
// says which of check's checks it did not run.
async function checkWarnings(page, name) {
  const lines = tool("check", name).stdout.split("\n").filter((line) => / \(warning \d+\)\.$/.test(line));
  const shown = await page.$$eval("#first-file .warning", (items) => items.map((item) => item.textContent));
  assert.deepEqual(shown, lines);
  const said = await page.$eval("#first-file", (box) => box.textContent);
  assert.ok(said.includes(`${lines.length} warnings from the reader`), said);
  assert.ok(said.includes("Not checked here: well-formedness and validity"), said);
}

// A phone's window: the header takes one line of it, with a file open or not, and the
// place to drop a file shows before one is open, and with one open the picture takes at
// least half its height.
async function checkPhone(page, opened) {
  const { header, zone, picture, height } = await page.evaluate(() => ({
    header: document.querySelector("header").getBoundingClientRect().height,
    zone: document.querySelector("#drop-zone").getBoundingClientRect().toJSON(),
    picture: document.querySelector("#picture").getBoundingClientRect().height,
    height: window.innerHeight,
  }));
  assert.ok(header <= 0.06 * height, `the header is ${header} CSS pixels high`);
  if (!opened) {
    assert.ok(zone.height >= 80 && zone.width >= 300 && zone.bottom <= height, `the drop zone is ${JSON.stringify(zone)}`);
  } else {
    assert.ok(picture >= 0.5 * height, `the picture is ${picture} of ${height} CSS pixels high`);
  }
}

// Finding the differences: clicking them in the list, the keys on the picture and in the
// list, the bytes marked in hexadecimal, the one bit in a large field.
async function checkFinding(page, testCase) {
  for (const [start, text] of testCase.clicked || []) {
    await page.$$eval("#difference-text .difference", (entries, start) =>
      entries.find((entry) => entry.textContent.startsWith(start)).click(), start);
    assert.equal(await cellInfo(page, text), text, `clicking ${start}`);
    assert.equal(await page.evaluate(() => document.activeElement.id), "picture");
    await checkCursor(page);
  }
  if (testCase.marked) {
    assert.deepEqual(await page.$$eval("#hex mark", (marks) => marks.map((mark) => mark.textContent)), testCase.marked);
  }
  await page.focus("#picture");
  for (const [keys, text] of testCase.keys || []) {
    await pressKeys(page, keys);
    assert.equal(await cellInfo(page, text), text, `after ${keys}`);
  }
  if (testCase.oneBit) await checkOneBit(page, testCase.oneBit);
  if (testCase.listKeys) {
    const [keys, text] = testCase.listKeys;
    await page.focus("#difference-text");
    await pressKeys(page, keys);
    assert.equal(await cellInfo(page, text), text, `after ${keys} in the list`);
  }
}

// Lines between the cells of a field whose cells are large: at the left of a byte's first
// cell (`line`, `bit`) after a clear cell; and the ruler has its numbers.
async function checkGrid(page, [field, line, bit]) {
  await showField(page, field);
  const left = await page.$eval("#picture", (canvas, line, bit) => {
    const { zoom, line: top, x } = canvas.dataset;
    const ratio = canvas.width / canvas.clientWidth;
    const pixel = canvas.getContext("2d").getImageData(Math.round((bit - x) * zoom * ratio),
      Math.floor((line - top + 0.5) * zoom * ratio), 1, 1).data;
    return Array.from(pixel.slice(0, 3), (value) => value.toString(16).padStart(2, "0")).join("");
  }, line, bit);
  assert.notEqual(left, COLOURS.clear, "no line between the bytes");
  const inked = await page.$eval("#ruler", (canvas) =>
    canvas.getContext("2d").getImageData(0, 0, canvas.width, canvas.height).data.filter((_, i) => i % 4 === 3 && _ > 0).length);
  assert.ok(inked > 50, `the ruler has ${inked} pixels`);
}

// Below the lines of a field that does not fill the picture's height is the page's paper
// (light or dark), not a paint of the legend.
async function checkBelow(page, field) {
  await showField(page, field);
  const [below, paper, room] = await page.$eval("#picture", (canvas) => {
    const hex = (values) => Array.from(values, (value) => value.toString(16).padStart(2, "0")).join("");
    const paper = getComputedStyle(document.documentElement).getPropertyValue("--paper").trim().slice(1);
    const pixel = canvas.getContext("2d").getImageData(1, canvas.height - 2, 1, 1).data;
    const { zoom, lines, line } = canvas.dataset;
    return [hex(pixel.slice(0, 3)), paper, canvas.clientHeight - (Number(lines) - Number(line)) * Number(zoom)];
  });
  assert.ok(room > 0, `${field} fills the picture's height`);
  assert.equal(below, paper, `below ${field}`);
}

// The room and the looks: cells that fill the width, lines between them, the warnings,
// dark colours, the tab order, a phone, Save only with a file open, rows in hexadecimal
// that are never cut off.
async function checkLayout(page, testCase) {
  for (const name of testCase.fills || []) {
    await showField(page, name);
    await checkBelow(page, name);
    const { filled, width } = await page.$eval("#picture", (canvas) =>
      ({ filled: Number(canvas.dataset.zoom) * Number(canvas.dataset.cells), width: canvas.clientWidth }));
    assert.ok(filled <= width && filled >= 0.9 * width, `${name} fills ${filled} of ${width} CSS pixels`);
    const zoom = await page.$eval("#picture", (canvas) => Number(canvas.dataset.zoom));
    assert.ok(zoom >= 8, `${name}'s cells are ${zoom} CSS pixels`);
  }
  if (testCase.warnings) await checkWarnings(page, testCase.files[0]);
  if (testCase.grid) await checkGrid(page, testCase.grid);
  if (testCase.dark) {
    const [paper, ink] = await page.evaluate(() => ["background-color", "color"].map((property) =>
      getComputedStyle(document.documentElement).getPropertyValue(property).match(/\d+/g).slice(0, 3).map(Number)));
    const light = ([r, g, b]) => (0.2126 * r + 0.7152 * g + 0.0722 * b) / 255;
    assert.ok(light(paper) < 0.2 && light(ink) > 0.7, `dark: paper ${paper}, ink ${ink}`);
    await checkBelow(page, "Usercode_MASK");
  }
  if (testCase.tabs) {
    const stops = await tabStops(page, 16);
    for (const wanted of ["open-button", "compare-button", "xml", "json", "field-select", "picture"]) {
      assert.ok(stops.includes(wanted), `Tab does not reach ${wanted}: ${stops}`);
    }
  }
  if (testCase.phone) await checkPhone(page, true);
  // Saving is offered while a file is open, and only then.
  const open = testCase.state === "shown" || (testCase.state === "failed" && testCase.files.length > 1);
  assert.equal(await page.$eval("#save", (box) => !box.hidden && box.getBoundingClientRect().width > 0), open, "Save");
  if (testCase.state === "shown") {
    const [scrolled, width] = await page.$eval("#hex", (box) => [box.scrollWidth, box.clientWidth]);
    assert.ok(scrolled <= width, `the rows in hexadecimal are ${scrolled} CSS pixels wide in ${width}`);
  }
}

async function checkCase(page, testCase) {
  const fresh = await page.$eval("body", (body) => Number(body.dataset.memory));
  if (testCase.phone) await checkPhone(page, false);
  if (testCase.tabs) {
    assert.equal(await page.$eval("#save", (box) => box.hidden), true, "Save is offered with no file open");
    assert.deepEqual(await tabStops(page, 3), ["open-button"]);
  }
  if (testCase.dropped) await dropFiles(page, testCase.dropped);
  let state;
  for (const [index, name] of (testCase.files || []).entries()) {
    state = await chooseFile(page, path.join(work, name), testCase.reopened ? 0 : index);
  }
  if (testCase.zoomedCompare) {
    await page.evaluate(() => { document.body.dataset.state = "choosing"; });
    await dropFiles(page, [testCase.zoomedCompare], "#second-file", "#zoom-in");
    await page.waitForFunction(() => ["shown", "failed"].includes(document.body.dataset.state), { timeout: 60000 });
    state = await page.evaluate(() => document.body.dataset.state);
  }
  if (testCase.state) assert.equal(state, testCase.state, await page.$eval("#message", (box) => box.textContent));
  if (testCase.message) assert.match(await page.$eval("#message", (box) => box.textContent), testCase.message);
  // After the files read before, the file shown is read by a module that holds no more
  // memory than a fresh one: what they grew it by is the browser's again.
  if (testCase.freshMemory) {
    const memory = await page.$eval("body", (body) => Number(body.dataset.memory));
    assert.ok(memory <= fresh, `the module holds ${memory} bytes after the files, a fresh one ${fresh}`);
  }
  if (testCase.toolError) {
    const name = testCase.files.at(-1);
    const expected = tool("info", name).stderr.trim();
    const shown = await page.$eval("#failure-message", (box) => box.textContent);
    assert.equal(shown, expected);
    await checkUnderscores(page);
  }
  for (const [selector, texts] of Object.entries(testCase.texts || {})) {
    const shown = await page.$eval(selector, (box) => box.textContent);
    for (const text of texts) assert.ok(shown.includes(text), `${selector} does not show ${JSON.stringify(text)}:\n${shown}`);
  }
  if (testCase.diff) {
    const expected = tool("diff", ...testCase.files, "--max", "1000", "--color", "never").stdout;
    assert.equal(await page.$eval("#difference-text", (box) => box.textContent), expected);
    const count = Number(/^(\d+) difference/m.exec(expected)[1]);
    assert.equal(await page.$eval("#differences", (box) => Number(box.dataset.count)), count);
  }
  for (const [field, line, bit, colour] of testCase.cells || []) {
    await showField(page, field);
    assert.equal(await cellColour(page, line, bit), COLOURS[colour], `${field} line ${line} bit ${bit}: ${colour}`);
  }
  for (const [field, line, bit, text] of testCase.pointed || []) {
    await showField(page, field);
    if (line !== null) {
      const point = await cellPoint(page, line, bit);
      await page.mouse.move(point.x, point.y);
    }
    await page.waitForFunction((text) => document.querySelector("#cell-info").textContent === text, { timeout: 5000 }, text);
  }
  await checkFinding(page, testCase);
  await checkLayout(page, testCase);
  if (testCase.state === "shown" && !testCase.message) {
    assert.equal(await page.$eval("#message", (box) => box.hidden ? "" : box.textContent), "");
  }
  if (testCase.fits) {
    const overflow = await page.evaluate(() => document.documentElement.scrollWidth - window.innerWidth);
    assert.ok(overflow <= 0, `the page is ${overflow} CSS pixels wider than the window`);
  }
}

for (const testCase of CASES) {
  test(testCase.name, async () => {
    const requests = [];
    const page = await openPage(browser, pageUrl(testCase.served), { viewport: testCase.viewport, requests,
      whole: testCase.whole, dark: testCase.dark });
    try {
      // The screenshot is taken when the case fails too: it shows why.
      await checkCase(page, testCase).finally(() =>
        page.screenshot({ path: path.join(SHOTS, `${testCase.name.replace(/\W+/g, "-")}.png`) }));
      if (testCase.state !== "shown") {
        assert.equal(await chooseFile(page, path.join(work, "sample.xml")), "shown", "the page is not usable after it");
        assert.equal(await page.$eval("#failure", (box) => box.hidden), true);
      }
      assertOwnRequests(requests, testCase.served);
    } finally {
      await page.close();
    }
  });
}

for (const save of SAVES) {
  test(`save as ${save.kind}`, async () => {
    const downloads = fs.mkdtempSync(path.join(work, "downloads-"));
    const page = await openPage(browser, pageUrl(false), { downloads });
    try {
      assert.equal(await chooseFile(page, path.join(work, "sample.xml")), "shown");
      await page.click(`[data-save=${save.kind}]`);
      const saved = path.join(downloads, save.file);
      await page.waitForFunction(() => /^(Saved|The file cannot)/.test(document.querySelector("#message").textContent));
      assert.match(await page.$eval("#message", (box) => box.textContent), new RegExp(`^Saved as ${save.file} `));
      for (let wait = 0; wait < 100 && !fs.existsSync(saved); ++wait) await new Promise((r) => setTimeout(r, 100));
      const converted = path.join(work, `converted-${save.kind}`);
      assert.equal(tool("convert", "sample.xml", converted, "--force", ...save.convert).status, 0);
      assert.equal(fs.readFileSync(saved, "utf8"), fs.readFileSync(converted, "utf8"));
    } finally {
      await page.close();
    }
  });
}
