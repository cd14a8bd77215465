// The viewer's worker (docs/web.md): holds the library's WebAssembly module and the files
// opened, and answers the page's requests, so that reading a large file never stops the
// page. web/bundle.py puts this text after emscripten's loader (createRizeroz) and the
// module's bytes (RIZEROZ_MODULE, base64) inside one function that the page starts as a
// worker. Every request is {id, op, ...}; every answer {id, ok, ...} or {id, error}.
// Progress goes out as {progress: [done, total], phase} while a file is loaded or read.

const MB = 1024 * 1024;
const PIECE = 4 * MB; // most bytes taken from a file's stream at once
const EIO = 5;
// The document read before the first file (warmUp): WARM_ROWS rows of WARM_ROW_BYTES bytes.
const WARM_ROWS = 1000;
const WARM_ROW_BYTES = 512;
// Flags of the C interface (bindings/c/rizeroz.h).
const RZ_READ_WARNINGS = 1;
const RZ_READ_JSON = 2;
const RZ_FORM_JSON = 2; // rz_text_form: the JSON form
const RZ_WRITE_EXPRESSIONS = 1;
const RZ_WRITE_JSON = 4;
const RZ_ERR_MEMORY = -302; // the C interface's result code: memory ran out
// Lines shown before and after the line of a reader's error.
const CONTEXT_LINES = 3;
// Differences listed at most (the summary line counts them all).
const DIFF_MAX = 1000;
// The paint of a cell that differs between the two files (tools/views/RenderPicture.h).
const PAINT_OUTSIDE = 3;
const PAINT_DIFFERS = 8;
// Lines of a picture looked at in one call for the lines that differ (differingLines).
const LINE_CHUNK = 65536;

let compiled = null; // the module's code, compiled once: every instance of it shares that code
let rz = null; // the module: an instance with its own memory
let startMemory = 0; // bytes of the module's memory once warmed up, before any file
const models = [0, 0]; // rz_model handles: the file shown, the file compared
const names = ["", ""];
let viewer = 0; // the pictures of the fields (rzw_viewer_new)
let pictures = 0; // how many `viewer`s were made: the page names the one it paints by its number
let differing = new Map(); // field -> Uint8Array: 1 for each line of its picture that differs (differingLines)
let readPulled = null; // rzw_read_pulled, able to wait for the file's pieces; null where it cannot
let pieces = null; // the file being read by readPulled (FilePieces)
let telling = true; // whether reads tell the page their progress (not while warming up)

function tellProgress(done, total, phase) {
  if (telling) postMessage({ progress: [done, total], phase });
}

function pulling() {
  return readPulled !== null;
}

function bytesOf(text) {
  const size = rz.lengthBytesUTF8(text) + 1;
  const at = rz._malloc(size);
  rz.stringToUTF8(text, at, size);
  return at;
}

function text(at) {
  return at ? rz.UTF8ToString(at) : null;
}

// Runs `body` with `count` words of scratch memory, freed afterwards.
function withWords(count, body) {
  const at = rz._malloc(4 * count);
  rz.HEAPU32.fill(0, at >> 2, (at >> 2) + count);
  try {
    return body(at);
  } finally {
    rz._free(at);
  }
}

function word(at, index) {
  return rz.HEAPU32[(at >> 2) + index];
}

// The reader's flags for a file named `name` (its UTF-8 bytes in the module's memory):
// JSON when the library finds it so by the name, as the tool and Python do.
function readFlags(name) {
  return rz._rz_text_form(name, 0, 0, 0) === RZ_FORM_JSON ? RZ_READ_JSON : RZ_READ_WARNINGS;
}

// The writer's flags for a kind of saved file.
function writeFlags(kind) {
  return { xml: 0, expressions: RZ_WRITE_EXPRESSIONS, json: RZ_WRITE_JSON }[kind];
}

function describeSize(bytes) {
  return bytes >= 1024 * MB ? (bytes / (1024 * MB)).toFixed(1) + " GB" : (bytes / MB).toFixed(1) + " MB";
}

// What reading a file of `size` bytes may take: the model, which holds at most about twice
// as many bytes (a row's bytes and its 24 bytes of bookkeeping), with 16 MB of room for the
// reader's buffers; and the file itself where it is loaded whole into the module's memory
// (a browser without JavaScript promise integration: see open).
function memoryNeeded(size) {
  return (pulling() ? 2 : 3) * size + 16 * MB;
}

function checkMemory(file) {
  const left = rz._rzw_memory_left();
  if (memoryNeeded(file.size) > left) {
    throw new Error(`${file.name} is ${describeSize(file.size)}: reading it needs about ${describeSize(
      memoryNeeded(file.size))} of memory, and this page can have ${describeSize(left)} more; ` +
      "read it with the rizeroz tool instead (rizeroz info, rizeroz render).");
  }
}

// Copies the file into the module's memory from the browser's stream of it; the address.
async function loadFile(file) {
  const at = rz._malloc(Math.max(file.size, 1));
  if (!at) throw new Error(`${file.name}: there is not enough memory to load its ${describeSize(file.size)}.`);
  const stream = new FilePieces(file, "loading");
  try {
    for (let done = 0, count; done < file.size; done += count) {
      count = await stream.pull(at + done, file.size - done);
      if (count <= 0) throw new Error(count === 0 ? "it ended early" : "the browser cannot read it");
    }
  } catch (failure) {
    rz._free(at);
    throw new Error(`${file.name} cannot be read: ${failure.message}`);
  } finally {
    stream.close();
  }
  return at;
}

// Hands a file over as it is asked for it, from the browser's stream of the file: to the
// library's read (rzw_pull), or into the module's memory (loadFile). While the read works,
// the browser goes on loading the file into the stream, so that loading and reading go on
// side by side; the stream fills one buffer of PIECE bytes again and again (where it can:
// a byte stream), so that no new memory is touched for the file's bytes.
class FilePieces {
  constructor(file, phase) {
    this.size = file.size;
    this.phase = phase; // what the progress bar says is done
    const stream = file.stream();
    try {
      this.reader = stream.getReader({ mode: "byob" });
      this.buffer = new ArrayBuffer(PIECE);
    } catch {
      this.reader = stream.getReader();
      this.buffer = null;
    }
    this.piece = new Uint8Array(0); // the bytes last taken from the stream
    this.used = 0; // bytes of `piece` handed over
    this.given = 0; // bytes handed to the library
    this.told = 0; // bytes told to the page's progress bar
    this.ended = false;
    this.waited = 0; // ms the read waited for the stream
  }

  // Stores at most `capacity` bytes at `at` in the module's memory: how many, 0 at the
  // file's end, or -EIO when the browser cannot read it; a promise of that while the
  // next bytes are still on their way.
  pull(at, capacity) {
    if (this.used < this.piece.length) return this.give(at, capacity);
    if (this.ended) return 0;
    const asked = performance.now();
    const next = this.buffer ? this.reader.read(new Uint8Array(this.buffer)) : this.reader.read();
    return next.then(({ done, value }) => {
      this.waited += performance.now() - asked;
      this.ended = done;
      if (done) return 0;
      if (this.buffer) this.buffer = value.buffer;
      this.piece = value;
      this.used = 0;
      return this.pull(at, capacity);
    }, () => -EIO);
  }

  give(at, capacity) {
    const count = Math.min(capacity, this.piece.length - this.used);
    rz.HEAPU8.set(this.piece.subarray(this.used, this.used + count), at);
    this.used += count;
    this.given += count;
    if (this.given >= this.told + this.size / 100) {
      this.told = this.given;
      tellProgress(this.given, this.size, this.phase);
    }
    return count;
  }

  close() {
    this.reader.cancel().catch(() => {});
  }
}

// The file's first bytes, enough to hold line `last` (from 1) whole, or all of it: what the
// lines about a reader's error are taken from.
function headOf(file, last) {
  const reader = new FileReaderSync();
  for (let size = MB; ; size *= 4) {
    const bytes = new Uint8Array(reader.readAsArrayBuffer(file.slice(0, size)));
    let lines = 0;
    for (let at = bytes.indexOf(10); at >= 0 && lines <= last; at = bytes.indexOf(10, at + 1)) ++lines;
    if (lines > last || size >= file.size) return bytes;
  }
}

// The lines about `line` (from 1) of a document whose first bytes are `bytes`, for a
// reader's error.
function linesAround(bytes, line) {
  const size = bytes.length;
  const first = Math.max(1, line - CONTEXT_LINES);
  let start = 0;
  for (let n = 1; n < first && start >= 0; ++n) {
    const feed = bytes.indexOf(10, start);
    start = feed < 0 ? -1 : feed + 1;
  }
  const lines = [];
  for (let n = first; n <= line + CONTEXT_LINES && start >= 0 && start <= size; ++n) {
    const feed = bytes.indexOf(10, start);
    const end = feed < 0 ? size : feed;
    const shown = bytes.subarray(start, Math.min(end, start + 400));
    lines.push({ number: n, text: new TextDecoder().decode(shown).replace(/\r$/, "") });
    start = feed < 0 ? -1 : feed + 1;
  }
  return lines;
}

function errorOf(error) {
  return {
    code: rz._rz_error_code(error),
    message: text(rz._rz_error_message(error)),
    sentence: text(rz._rz_error_sentence(error)),
    line: rz._rz_error_line(error),
    column: rz._rz_error_column(error),
  };
}

// What the page shows of a model: version, comment, fields, blocks and warnings.
function summary(model) {
  const fields = [];
  for (let f = 0; f < rz._rz_model_field_count(model); ++f) {
    const field = rz._rz_model_field(model, f);
    const blocks = [];
    for (let b = 0; b < rz._rz_field_block_count(field); ++b) {
      const block = rz._rz_field_block(field, b);
      blocks.push({ width: rz._rz_block_row_width(block), rows: rz._rz_block_row_count(block),
                    bytes: rz._rz_block_byte_count(block) });
    }
    fields.push({ name: text(rz._rz_field_name(field)), checksum: rz._rz_field_checksum(field), blocks });
  }
  const warnings = [];
  for (let i = 0; i < rz._rz_model_warning_count(model); ++i) warnings.push(errorOf(rz._rz_model_warning(model, i)));
  return { version: text(rz._rz_model_version(model)), comment: text(rz._rz_model_comment(model)), fields,
           warnings, omitted: rz._rz_model_warnings_omitted(model) };
}

function letViewerGo() {
  if (viewer) rz._rzw_viewer_free(viewer);
  viewer = 0;
  differing = new Map();
}

function closeSlot(slot) {
  letViewerGo();
  if (models[slot]) rz._rz_model_free(models[slot]);
  models[slot] = 0;
}

// A file that is to be shown alone gets a module afresh where files read before grew this
// one's memory: WebAssembly memory never shrinks, so only a new module gives the browser
// the memory back, and lets the next file have all that a module may.
async function freshModule() {
  if (!startMemory || models[0] || models[1] || rz.HEAPU8.length <= startMemory) return;
  rz = await makeModule();
}

// Reads `file` into slot 0 (the file shown) or 1 (the file compared). Where the browser
// can suspend WebAssembly (JavaScript promise integration), the library pulls the file a
// piece at a time while the browser loads the next ones (FilePieces); elsewhere the file
// is loaded into the module's memory whole and read there. A file the reader refuses
// gives its error with the lines about its place.
async function open({ slot, file }) {
  closeSlot(slot);
  await freshModule();
  checkMemory(file);
  const name = bytesOf(file.name);
  const out = rz._malloc(8);
  rz.HEAPU32.fill(0, out >> 2, (out >> 2) + 2);
  const started = performance.now();
  let whole = 0;
  let waited = 0; // time the read waited for the browser's loading
  try {
    let result;
    if (pulling()) {
      pieces = new FilePieces(file, "reading");
      result = await readPulled(name, readFlags(name), out, out + 4);
      waited = pieces.waited;
    } else {
      whole = await loadFile(file);
      waited = performance.now() - started;
      result = rz._rzw_read(whole, file.size, name, readFlags(name), out, out + 4);
    }
    const read = performance.now();
    if (result !== 0) {
      const error = errorOf(word(out, 1));
      rz._rz_error_free(word(out, 1));
      if (error.line > 0) error.context = linesAround(headOf(file, error.line + CONTEXT_LINES), error.line);
      return { failed: error };
    }
    models[slot] = word(out, 0);
    names[slot] = file.name;
    // How long each step took, for the benchmark (bench/web_bench.mjs).
    const timings = { waited, read: read - started, summary: performance.now() - read };
    // JSON has no warnings: the reader of JSON reads the file or refuses it.
    const json = readFlags(name) === RZ_READ_JSON;
    return { summary: { ...summary(models[slot]), json }, timings, memory: rz.HEAPU8.length };
  } finally {
    if (pieces) pieces.close();
    pieces = null;
    rz._free(name);
    rz._free(out);
    if (whole) rz._free(whole);
  }
}

// The pictures of the file shown, compared with the second file when one is open, and
// their number, by which the page names them.
function view() {
  letViewerGo();
  viewer = models[0] ? rz._rzw_viewer_new(models[0], models[1]) : 0;
  const fields = [];
  for (let f = 0; f < rz._rzw_viewer_fields(viewer); ++f) {
    fields.push({ name: text(rz._rzw_viewer_name(viewer, f)), lines: rz._rzw_viewer_lines(viewer, f),
                  cells: rz._rzw_viewer_cells(viewer, f), separators: separatorsOf(f) });
  }
  return { fields, compared: models[1] !== 0, picture: ++pictures };
}

// The lines of field `f`'s picture between two blocks, from the top (the library's).
function separatorsOf(f) {
  const count = rz._rzw_viewer_separators(viewer, f, 0, 0);
  if (count <= 0) return [];
  const at = rz._malloc(8 * count);
  if (!at) throw new Error("there is not enough memory to show the file.");
  try {
    rz._rzw_viewer_separators(viewer, f, at, count);
    return Array.from(new Float64Array(rz.HEAPU8.buffer, at, count));
  } finally {
    rz._free(at);
  }
}

// Whether the pictures numbered `picture` are still those of the files open: a request
// for pictures let go since (the page asked before it learnt of a new file, a comparison,
// or one ended) is answered {dropped: true}, and the page draws nothing for it.
function shown(picture) {
  return viewer !== 0 && picture === pictures;
}

function hex(bytes) {
  let out = "";
  for (const byte of bytes) out += (byte < 16 ? "0" : "") + byte.toString(16).toUpperCase();
  return out;
}

// Row `row` of a block (rz_block handle): its bytes, or null where there is no such row.
function rowBytes(block, row) {
  if (!block || row >= rz._rz_block_row_count(block)) return null;
  return withWords(1, (length) => {
    const at = rz._rz_block_row(block, row, length);
    return rz.HEAPU8.slice(at, at + word(length, 0));
  });
}

// What stands on line `line` of a field's picture: its block and row, and each file's
// bytes of that row.
function locate(field, line) {
  return withWords(4, (out) => {
    if (!rz._rzw_viewer_locate(viewer, field, line, out, out + 8)) return null;
    const rows = [rowBytes(word(out, 2), word(out, 1)), rowBytes(word(out, 3), word(out, 1))];
    return { block: word(out, 0), row: word(out, 1), rows };
  });
}

const HEX_BYTES = 64; // bytes of a row shown in hexadecimal beside the picture

// Paints `lines` lines from `line` and `cells` cells from `x` of a field's picture: a
// byte a cell, its paint (tools/views/RenderPicture.h), line after line.
function paintKinds(field, line, lines, x, cells) {
  const size = lines * cells;
  const at = rz._malloc(Math.max(size, 4));
  try {
    const code = at ? rz._rzw_viewer_paint_kinds(viewer, field, line, lines, x, cells, at) : RZ_ERR_MEMORY;
    if (code !== 0) throw new Error(`the picture cannot be drawn: ${text(rz._rzw_describe_code(code))}.`);
    return rz.HEAPU8.slice(at, at + size);
  } finally {
    rz._free(at);
  }
}

// For each of HEX_BYTES bytes of line `line` from byte `from`: 1 where the picture paints
// one of its bits as differing between the two files, else 0.
function differingBytes(field, line, from, count) {
  const kinds = paintKinds(field, line, 1, 8 * from, 8 * count);
  return Array.from({ length: count }, (_, i) => (kinds.subarray(8 * i, 8 * i + 8).includes(PAINT_DIFFERS) ? 1 : 0));
}

// The row on line `line` of a field's picture in hexadecimal, each file's, `count` bytes
// from byte `from`; in a comparison, with the bytes that differ marked.
function hexRow(field, line, from, compared, count = HEX_BYTES) {
  const place = locate(field, line);
  if (!place) return null;
  const sides = place.rows.map((bytes) => (bytes ? hex(bytes.subarray(from, from + count)) : null));
  const more = place.rows.some((bytes) => bytes && bytes.length > from + count);
  return { block: place.block, row: place.row, from, hex: compared ? sides : [sides[0] ?? sides[1]], more,
           differs: compared ? differingBytes(field, line, from, count) : null };
}

// A part of a field's picture, a byte a cell (its paint), and the rows on its lines in
// hexadecimal (from the byte of its first cell).
function paint({ picture, field, line, lines, x, cells, wrap, segments }) {
  if (!shown(picture)) return { dropped: true };
  if (wrap) return paintWrapped({ field, segments, x, cells, wrap });
  const kinds = paintKinds(field, line, lines, x, cells);
  const compared = models[1] !== 0;
  const rows = [];
  for (let i = 0; i < lines; ++i) rows.push(hexRow(field, line + i, Math.floor(x / 8), compared));
  // In a comparison, which lines in view differ anywhere in their rows, in view or not.
  const differ = compared ? Array.from(differingLines(field).subarray(Math.max(0, line), line + lines)) : null;
  if (differ && line < 0) differ.unshift(...new Array(Math.min(lines, -line)).fill(0));
  return { kinds: kinds.buffer, rows, differ, transfer: [kinds.buffer] };
}

// A field's picture with its rows wrapped, `wrap` cells (a multiple of 8) a line: the
// page's `segments` say what each line drawn shows, [the picture's line, its first cell]
// (the page lays the lines out: a row in several, a line between two blocks in one). As
// paint, the rows in hexadecimal those of the cells in view, and in a comparison which
// lines have a cell that differs.
function paintWrapped({ field, segments, x, cells, wrap }) {
  const lines = segments.length;
  const kinds = new Uint8Array(lines * cells).fill(PAINT_OUTSIDE);
  const compared = models[1] !== 0;
  const rows = [];
  const differ = [];
  for (let i = 0; i < lines; ++i) {
    const [at, from] = segments[i];
    const segment = paintKinds(field, at, 1, from, wrap);
    kinds.set(segment.subarray(Math.min(x, wrap), Math.min(wrap, x + cells)), i * cells);
    differ.push(segment.includes(PAINT_DIFFERS) ? 1 : 0);
    const bytes = Math.ceil(Math.max(0, wrap - x) / 8);
    const row = bytes > 0 ? hexRow(field, at, (from >> 3) + (x >> 3), compared, Math.min(bytes, HEX_BYTES)) : null;
    // A row's next bytes stand on the next line: no line goes on beyond its own.
    if (row) row.more = bytes > HEX_BYTES;
    rows.push(row);
  }
  return { kinds: kinds.buffer, rows, differ: compared ? differ : null, transfer: [kinds.buffer] };
}

// For each line of a field's picture, 1 where it has a cell that differs between the two
// files (the library's paint); kept until the pictures are let go.
function differingLines(field) {
  if (differing.has(field)) return differing.get(field);
  const lines = rz._rzw_viewer_lines(viewer, field);
  const flags = new Uint8Array(lines);
  const at = rz._malloc(LINE_CHUNK);
  try {
    for (let from = 0; from < lines; from += LINE_CHUNK) {
      const count = Math.min(LINE_CHUNK, lines - from);
      const found = at ? rz._rzw_viewer_differing_lines(viewer, field, from, count, at) : RZ_ERR_MEMORY;
      if (found < 0) throw new Error(`the differences cannot be found: ${text(rz._rzw_describe_code(found))}.`);
      flags.set(rz.HEAPU8.subarray(at, at + count), from);
    }
  } finally {
    rz._free(at);
  }
  differing.set(field, flags);
  return flags;
}

// Where the lines that differ stand in a field's picture of `lines` lines, in `buckets`
// equal spans of it: 1 for a span with such a line.
function overview({ picture, field, buckets }) {
  if (!shown(picture)) return { dropped: true };
  const flags = differingLines(field);
  const marks = new Uint8Array(buckets);
  for (let line = flags.indexOf(1); line >= 0; line = flags.indexOf(1, line + 1)) {
    marks[Math.min(buckets - 1, Math.floor((line * buckets) / flags.length))] = 1;
  }
  return { marks: marks.buffer, transfer: [marks.buffer] };
}

// The cell nearest after (`step` 1) or before (`step` -1) the cell (`line`, `bit`) of
// field `field` that differs between the two files, in that field or, past its end, in the
// next fields (the first again after the last); {none: true} where no cell differs.
function seek({ picture, field, line, bit, step }) {
  if (!shown(picture)) return { dropped: true };
  const count = rz._rzw_viewer_fields(viewer);
  for (let k = 0; k <= count && count > 0; ++k) {
    const f = (((field + step * k) % count) + count) % count;
    const flags = differingLines(f);
    const end = step > 0 ? -1 : rz._rzw_viewer_cells(viewer, f);
    let at = k === 0 ? line : (step > 0 ? 0 : flags.length - 1);
    for (let from = k === 0 ? bit : end; at >= 0 && at < flags.length; at += step, from = end) {
      if (!flags[at]) continue;
      const found = rz._rzw_viewer_differing_cell(viewer, f, at, from, step);
      if (found < -1) throw new Error(`the differences cannot be found: ${text(rz._rzw_describe_code(found))}.`);
      if (found >= 0) return { field: f, line: at, bit: found };
    }
  }
  return { none: true };
}

// The cell at (`line`, `bit`) of a field's picture: its place and each file's byte there.
function cell({ picture, field, line, bit }) {
  if (!shown(picture)) return { dropped: true };
  const place = locate(field, line);
  if (!place) return { place: null };
  const byte = Math.floor(bit / 8);
  const values = place.rows.map((bytes) => (bytes && byte < bytes.length ? bytes[byte] : null));
  const lengths = place.rows.map((bytes) => (bytes ? bytes.length : 0));
  return { place: { block: place.block, row: place.row, bit, byte, values, lengths } };
}

// `rizeroz diff`'s text for the two files, the number of differences, and where each
// difference told stands in the pictures numbered `picture`: [field, line, bit, lines of
// text], each -1 where none (a difference of the whole file, of a field or of a block).
function diff({ picture }) {
  if (!models[0] || !models[1]) throw new Error("open two files to compare them.");
  if (!shown(picture)) return { dropped: true };
  return withWords(4, (out) => {
    const at = rz._rzw_diff_places(models[0], models[1], viewer, DIFF_MAX, out, out + 8);
    if (!at) throw new Error("there is not enough memory to compare the files.");
    const count = new Float64Array(rz.HEAPU8.buffer, out, 1)[0];
    const placesAt = word(out, 2);
    const told = Math.min(count, DIFF_MAX);
    const numbers = new Float64Array(rz.HEAPU8.buffer, placesAt, 4 * told);
    const places = Array.from({ length: told }, (_, i) => Array.from(numbers.subarray(4 * i, 4 * i + 4)));
    const result = { text: text(at), count, places };
    rz._free(at);
    rz._free(placesAt);
    return result;
  });
}

// The file shown, written by the library as a data file (with or without expressions) or
// as JSON.
function save({ kind }) {
  if (!models[0]) throw new Error("open a file first.");
  return withWords(3, (out) => {
    const result = rz._rz_write_memory(models[0], writeFlags(kind), out, out + 4, out + 8);
    if (result !== 0) {
      const error = errorOf(word(out, 2));
      rz._rz_error_free(word(out, 2));
      throw new Error(error.message);
    }
    const bytes = rz.HEAPU8.slice(word(out, 0), word(out, 0) + word(out, 1));
    rz._rz_free(word(out, 0));
    return { bytes: bytes.buffer, transfer: [bytes.buffer] };
  });
}

// The tool's colours, [red, green, blue] for each kind of cell (tools/RenderPicture.h).
function palette() {
  return withWords(1, (count) => {
    const at = rz._rzw_palette(count);
    const colours = [];
    for (let i = 0; i < word(count, 0); ++i) colours.push(Array.from(rz.HEAPU8.subarray(at + 3 * i, at + 3 * i + 3)));
    return { colours };
  });
}

function close({ slot }) {
  closeSlot(slot);
  return {};
}

const operations = { open, view, paint, cell, diff, overview, seek, save, close, palette };

async function answer(request) {
  try {
    const result = await operations[request.op](request);
    const transfer = result.transfer || [];
    delete result.transfer;
    postMessage({ id: request.id, ok: result }, transfer);
  } catch (failure) {
    postMessage({ id: request.id, error: failure.message || String(failure) });
  }
}

// A new instance of the module (`compiled`), with memory of its own, by emscripten's
// loader. Where the browser has JavaScript promise integration, the import rzw_pull may
// answer with a promise, which suspends the read until the piece has come, and
// rzw_read_pulled answers with a promise of its result.
function makeModule() {
  const pull = typeof WebAssembly.Suspending === "function" && typeof WebAssembly.promising === "function";
  return new Promise((resolve, reject) => {
    const instantiateWasm = (imports, receive) => {
      if (pull) imports.env.rzw_pull = new WebAssembly.Suspending((at, capacity) => pieces.pull(at, capacity));
      WebAssembly.instantiate(compiled, imports).then((instance) => {
        readPulled = pull ? WebAssembly.promising(instance.exports.rzw_read_pulled) : null;
        receive(instance);
      }, reject);
      return {};
    };
    createRizeroz({ instantiateWasm, onProgress: (done, total) => tellProgress(done, total, "reading") })
      .then(resolve, reject);
  });
}

// Reads a small document made here before the first file comes: the browser compiles the
// module's functions quickly at first, and again for speed once they have run a while, so
// that a file read first would be read with the slower code for a good part. The document
// is read as files are (FilePieces, or whole), its model let go again.
async function warmUp() {
  const row = "0x" + "0123456789ABCDEF".repeat(WARM_ROW_BYTES / 8);
  const rows = new Array(WARM_ROWS).fill(row).join(",\n");
  const document = `<?xml version='1.0' encoding='utf-8' ?>
<!DOCTYPE SVF_Plus_Data SYSTEM "SVF_Plus_Data.dtd" >
<SVF_Plus_Data version="1.0"><DataField name="W"><FieldBlock row_width="${8 * WARM_ROW_BYTES}">
${rows}
</FieldBlock></DataField></SVF_Plus_Data>
`;
  telling = false;
  try {
    const { failed } = await open({ slot: 0, file: new File([document], "warm-up.xml") });
    if (failed) throw new Error(failed.message);
  } finally {
    telling = true;
    closeSlot(0);
  }
}

// Requests are answered one after the other, each when the one before is done: a read
// that waits for the file's pieces lets the worker take messages meanwhile. The module is
// compiled once; the browser compiles its functions again for speed as they run (see
// warmUp), for every instance of it.
function start() {
  const binary = Uint8Array.from(atob(RIZEROZ_MODULE), (c) => c.charCodeAt(0));
  let queue = WebAssembly.compile(binary).then((module) => {
    compiled = module;
    return makeModule();
  }).then(async (module) => {
    rz = module;
    const warmed = performance.now();
    // Only for speed: a page whose warm-up failed still reads (and shows why it cannot).
    await warmUp().catch((failure) => console.warn("warm-up: " + failure.message));
    startMemory = rz.HEAPU8.length;
    postMessage({ ready: text(rz._rz_version()), warmUp: performance.now() - warmed, memory: startMemory });
  }, (failure) => postMessage({ fatal: "the library's module does not start here: " + failure }));
  onmessage = (event) => {
    queue = queue.then(() => (rz ? answer(event.data) : undefined));
  };
}

start();
