// The screenshots of docs/web.md: the viewer page (RIZEROZ_SITE, as scripts/web.sh builds
// it) with the bundled sample, in light and dark colours, and comparing the sample with a
// changed copy, written into docs/ as PNG files of at most 256 colours (a page's flat
// colours lose nothing that shows, and the files are a quarter of the size).
// Usage: RIZEROZ_SITE=build/web/site node scripts/doc-shots.mjs   (not run by the tests; tests/web's
// packages installed first: npm ci in tests/web)
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import zlib from "node:zlib";
import { fileURLToPath, pathToFileURL } from "node:url";
import { chooseFile, launch, openPage } from "../tests/web/browser.mjs";

const ROOT = path.resolve(path.dirname(fileURLToPath(import.meta.url)), "..");
const VIEWPORT = { width: 1280, height: 640, deviceScaleFactor: 1 };
const SHOTS = [
  { file: "web-viewer.png", files: ["sample.xml", "changed.xml"], click: "FuseArray_MASK[0][0]" },
  { file: "web-viewer-light.png", files: ["sample.xml"], field: "1" },
  { file: "web-viewer-dark.png", files: ["sample.xml", "changed.xml"], dark: true, keys: ["n"] },
];

// ---- PNG: the screenshot's pixels, and a file of a palette ----

const CRC = Array.from({ length: 256 }, (_, n) => {
  let c = n;
  for (let k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
  return c >>> 0;
});

function crc32(bytes) {
  let c = 0xffffffff;
  for (const byte of bytes) c = CRC[(c ^ byte) & 0xff] ^ (c >>> 8);
  return (c ^ 0xffffffff) >>> 0;
}

function chunk(type, data) {
  const head = Buffer.alloc(8);
  head.writeUInt32BE(data.length, 0);
  head.write(type, 4, "latin1");
  const sum = Buffer.alloc(4);
  sum.writeUInt32BE(crc32(Buffer.concat([head.subarray(4), data])), 0);
  return Buffer.concat([head, data, sum]);
}

// The pixels of an 8-bit RGB or RGBA PNG without interlacing (what Chromium writes), as
// 0xRRGGBB numbers.
function decode(png) {
  let width = 0;
  let height = 0;
  let channels = 0;
  const data = [];
  for (let at = 8; at < png.length;) {
    const length = png.readUInt32BE(at);
    const type = png.toString("latin1", at + 4, at + 8);
    const body = png.subarray(at + 8, at + 8 + length);
    if (type === "IHDR") {
      [width, height] = [body.readUInt32BE(0), body.readUInt32BE(4)];
      channels = { 2: 3, 6: 4 }[body[9]];
      if (body[8] !== 8 || !channels || body[12] !== 0) throw new Error("not an 8-bit RGB(A) PNG without interlacing");
    }
    if (type === "IDAT") data.push(body);
    at += 12 + length;
  }
  const raw = zlib.inflateSync(Buffer.concat(data));
  const stride = width * channels;
  const rows = [];
  let previous = Buffer.alloc(stride);
  for (let y = 0; y < height; ++y) {
    const filter = raw[y * (stride + 1)];
    const row = Buffer.from(raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1)));
    for (let i = 0; i < stride; ++i) {
      const left = i >= channels ? row[i - channels] : 0;
      const up = previous[i];
      const corner = i >= channels ? previous[i - channels] : 0;
      const p = left + up - corner;
      const [pa, pb, pc] = [Math.abs(p - left), Math.abs(p - up), Math.abs(p - corner)];
      const paeth = pa <= pb && pa <= pc ? left : pb <= pc ? up : corner;
      row[i] = (row[i] + [0, left, up, (left + up) >> 1, paeth][filter]) & 0xff;
    }
    rows.push(row);
    previous = row;
  }
  const pixels = new Uint32Array(width * height);
  rows.forEach((row, y) => {
    for (let x = 0; x < width; ++x) {
      const i = x * channels;
      pixels[y * width + x] = (row[i] << 16) | (row[i + 1] << 8) | row[i + 2];
    }
  });
  return { width, height, pixels };
}

// The 256 colours used most, and every pixel as the nearest of them.
function quantize(pixels) {
  const counts = new Map();
  for (const pixel of pixels) counts.set(pixel, (counts.get(pixel) || 0) + 1);
  const palette = [...counts.entries()].sort((a, b) => b[1] - a[1]).slice(0, 256).map(([colour]) => colour);
  const nearest = new Map();
  const channel = (colour, shift) => (colour >> shift) & 0xff;
  const indexOf = (colour) => {
    if (nearest.has(colour)) return nearest.get(colour);
    let best = 0;
    let distance = Infinity;
    palette.forEach((entry, index) => {
      const d = [16, 8, 0].reduce((sum, shift) => sum + (channel(entry, shift) - channel(colour, shift)) ** 2, 0);
      if (d < distance) [best, distance] = [index, d];
    });
    nearest.set(colour, best);
    return best;
  };
  return { palette, indices: Uint8Array.from(pixels, indexOf) };
}

function encode({ width, height, pixels }) {
  const { palette, indices } = quantize(pixels);
  const head = Buffer.alloc(13);
  head.writeUInt32BE(width, 0);
  head.writeUInt32BE(height, 4);
  head.set([8, 3, 0, 0, 0], 8);
  const colours = Buffer.from(palette.flatMap((colour) => [colour >> 16, (colour >> 8) & 0xff, colour & 0xff]));
  const raw = Buffer.alloc(height * (width + 1));
  for (let y = 0; y < height; ++y) raw.set(indices.subarray(y * width, (y + 1) * width), y * (width + 1) + 1);
  return Buffer.concat([Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]), chunk("IHDR", head),
    chunk("PLTE", colours), chunk("IDAT", zlib.deflateSync(raw, { level: 9 })), chunk("IEND", Buffer.alloc(0))]);
}

// ---- The shots ----

const site = process.env.RIZEROZ_SITE || path.join(ROOT, "build/web/site");
const work = fs.mkdtempSync(path.join(os.tmpdir(), "rizeroz-shots-"));
const sample = fs.readFileSync(path.join(ROOT, "tests/data/sample.xml"), "utf8");
fs.writeFileSync(path.join(work, "sample.xml"), sample);
// The changed copy of the page's tests (tests/web/viewer.test.mjs).
fs.writeFileSync(path.join(work, "changed.xml"), sample.replace('version="2.1"', 'version="2.2"')
  .replace("0x0000FFFF", "0x0F00FFFF").replace("EEFF,", "EEFE,").replace("0x5A", "0x5B"));
const browser = await launch();
try {
  for (const shot of SHOTS) {
    const page = await openPage(browser, pathToFileURL(path.join(site, "index.html")).href,
      { viewport: VIEWPORT, dark: shot.dark });
    for (const [slot, name] of shot.files.entries()) await chooseFile(page, path.join(work, name), slot);
    if (shot.field) await page.select("#field-select", shot.field);
    if (shot.click) {
      await page.$$eval("#difference-text .difference", (entries, start) =>
        entries.find((entry) => entry.textContent.startsWith(start)).click(), shot.click);
    }
    for (const key of shot.keys || []) {
      await page.focus("#picture");
      await page.keyboard.press(key);
    }
    await new Promise((resolve) => setTimeout(resolve, 500)); // the last paint and the cell line
    const png = encode(decode(Buffer.from(await page.screenshot())));
    fs.writeFileSync(path.join(ROOT, "docs", shot.file), png);
    console.log(`docs/${shot.file}: ${png.length} bytes`);
    await page.close();
  }
} finally {
  await browser.close();
  fs.rmSync(work, { recursive: true, force: true });
}
