// The viewer page (docs/web.md): opens a data file or its JSON form, lists what it holds,
// draws its masks a cell per bit, compares it with a second file and saves it, all by the
// library's WebAssembly module in a worker (rizeroz-worker.js, made by web/bundle.py), so
// that a large file never stops the page. Nothing is fetched or sent anywhere.
"use strict";

const $ = (id) => document.getElementById(id);
const ZOOMS = [1, 2, 3, 4, 6, 8, 12, 16, 24, 32, 48, 64, 96, 128];
const PAINT_DIFFERS = 8;
// Zooms (CSS pixels a cell) from which lines are drawn between the cells, and below which
// each cell that differs gets a ring of MARK_SIZE pixels around it (a single bit in a
// large field is otherwise a pixel), unless more than MARK_MOST cells in view differ.
const GRID_ZOOM = 8;
const MARK_ZOOM = 4;
const MARK_SIZE = 9;
const MARK_MOST = 2000;
// The tool's paints, in its palette's order (tools/RenderPicture.h), as the legend names them.
const PAINTS = ["clear bit", "set bit", "bit missing from a short row", "no bit", "line between blocks",
  "same in both: clear", "same in both: set", "same in both: missing", "differs"];
const LEGEND = { plain: [0, 1, 2, 3, 4], compared: [5, 6, 7, 8, 4] };

const state = {
  worker: null,
  requests: new Map(), // id -> {resolve, reject}
  nextId: 1,
  files: [null, null], // {name, summary} of the file shown and the file compared
  palette: [],
  words: null, // the palette as RGBA words, a paint each (pixelsOf)
  fields: [], // the pictures' fields: {name, lines, cells}
  picture: 0, // the worker's number of those pictures (view), named in every request for them
  compared: false,
  field: 0,
  zoom: 8,
  line: 0, // the first line shown
  x: 0, // the first cell shown
  cursor: { line: 0, bit: 0 },
  described: false, // whether the cell line tells of a cell (else it says how to point at one)
  painting: false,
  dirty: false,
  painted: 0,
  image: null, // the last picture painted: {canvas, kinds, line, x, lines, cells}
  differences: [], // the differences listed: {field, line, bit, entry}, as the library places them
  overview: null, // the overview of the field shown: {picture, field, buckets, marks}
  placed: false, // whether the cursor was put on a cell (else n starts at the field's first cell)
  seeking: Promise.resolve(), // the steps to cells that differ, one after the other
};

// ---- The worker ----

function startWorker() {
  if (typeof rizerozWorker !== "function") {
    showMessage("The page is incomplete: rizeroz-worker.js is missing beside index.html.");
    return;
  }
  const source = "(" + rizerozWorker.toString() + ")()";
  state.worker = new Worker(URL.createObjectURL(new Blob([source], { type: "text/javascript" })));
  state.worker.onmessage = (event) => onWorkerMessage(event.data);
  state.worker.onerror = (event) => onWorkerFailure(event.message || "the worker stopped");
}

function onWorkerMessage(data) {
  if (data.progress) return showProgress(data.progress[0], data.progress[1], data.phase);
  if (data.ready) return onReady(data.ready, data.warmUp, data.memory);
  if (data.fatal) return onWorkerFailure(data.fatal);
  const request = state.requests.get(data.id);
  state.requests.delete(data.id);
  if (data.error !== undefined) request.reject(new Error(data.error));
  else request.resolve(data.ok);
}

// The module stopped (it ran out of memory beyond what it could report, say): every request
// fails, and a new worker takes its place, with no file open.
function onWorkerFailure(reason) {
  state.worker.terminate();
  for (const request of state.requests.values()) request.reject(new Error(reason));
  state.requests.clear();
  state.files = [null, null];
  showFiles();
  startWorker();
  showMessage(`The reader stopped (${reason}); it has been started again. Open the file anew.`);
}

function call(op, args = {}) {
  const id = state.nextId++;
  return new Promise((resolve, reject) => {
    state.requests.set(id, { resolve, reject });
    state.worker.postMessage({ id, op, ...args });
  });
}

async function onReady(version, warmUp, memory) {
  $("library-version").textContent = `RIZ Eroz library ${version}, in WebAssembly.`;
  document.body.dataset.warmUp = warmUp; // ms (bench/web_bench.mjs)
  document.body.dataset.memory = memory; // bytes of the module's memory (tests/web)
  state.palette = (await call("palette")).colours;
  state.words = new Uint32Array(state.palette.map(([r, g, b]) => ((255 << 24) | (b << 16) | (g << 8) | r) >>> 0));
  document.body.dataset.state = "ready";
}

// ---- Messages and progress ----

function showMessage(text, note = false) {
  const box = $("message");
  box.textContent = text;
  box.classList.toggle("note", note);
  box.hidden = !text;
}

function describeSize(bytes) {
  if (bytes < 1024) return `${bytes} bytes`;
  return bytes < 1024 * 1024 ? `${(bytes / 1024).toFixed(1)} KB` : `${(bytes / 1048576).toFixed(1)} MB`;
}

function showProgress(done, total, phase) {
  $("progress").hidden = false;
  $("progress-bar").value = total > 0 ? done / total : 0;
  $("progress-text").textContent = `${phase} ${state.reading}: ${describeSize(done)} of ${describeSize(total)}`;
}

function hideProgress() {
  $("progress").hidden = true;
}

// ---- Opening files ----

function setBusy(busy) {
  for (const button of document.querySelectorAll("header button")) button.disabled = busy;
  if (busy) document.body.dataset.state = "loading";
  else updateButtons();
}

// Opens `file` as the file shown (slot 0) or the file compared with it (slot 1).
async function openFile(file, slot) {
  const started = performance.now();
  showMessage("");
  state.reading = file.name;
  setBusy(true);
  try {
    const result = await call("open", { slot, file });
    state.files[slot] = result.failed ? null : { name: file.name, size: file.size, summary: result.summary };
    if (result.failed) {
      showFailure(file.name, result.failed, slot);
      // The file shown stays, its pictures made anew (the worker let them go).
      if (slot === 1) await showFiles();
      document.body.dataset.state = "failed";
    } else {
      await showOpened(slot, { ...result.timings, shown: performance.now() - started }, result.memory);
    }
  } catch (failure) {
    showMessage(failure.message);
    document.body.dataset.state = "failed";
  } finally {
    hideProgress();
    setBusy(false);
  }
}

async function showOpened(slot, timings, memory) {
  $("failure").hidden = true;
  document.body.dataset.timings = JSON.stringify(timings);
  document.body.dataset.memory = memory;
  await showFiles();
  document.body.dataset.state = "shown";
}

function openChosen(files, slot) {
  if (files.length !== 1) {
    showMessage(`${files.length} files were given; open one file at a time (to compare two, open the first, ` +
      "then the second with Compare with…).");
    return;
  }
  if (slot === 1 && !state.files[0]) slot = 0;
  openFile(files[0], slot);
}

// ---- What a file holds ----

function element(tag, text, className) {
  const node = document.createElement(tag);
  if (text !== undefined) node.textContent = text;
  if (className) node.className = className;
  return node;
}

function shownText(value) {
  if (value === null) return "(none)";
  return value === "" ? "(empty)" : value;
}

function checksumText(checksum) {
  return checksum ? "0x" + checksum.toString(16).toUpperCase().padStart(4, "0") : "no checksum";
}

function plural(count, word) {
  return `${count} ${word}${count === 1 ? "" : "s"}`;
}

function blockText(block, index) {
  return `block ${index}: row width ${block.width} bits, ${plural(block.rows, "row")}, ${plural(block.bytes, "byte")}`;
}

function fieldItem(field, index, slot) {
  const item = element("li");
  const label = `${field.name === null ? "(no name)" : field.name}: ${checksumText(field.checksum)}`;
  if (slot === 0) {
    const button = element("button", label, "field-button");
    button.type = "button";
    button.dataset.field = index;
    button.addEventListener("click", () => chooseField(index));
    item.append(button);
  } else {
    item.append(element("strong", label));
  }
  const blocks = element("ul", undefined, "blocks");
  field.blocks.forEach((block, b) => blocks.append(element("li", blockText(block, b))));
  item.append(blocks);
  return item;
}

// The reader's warnings, as the library gives them, and which checks the page does not run.
function warningList(summary) {
  const box = element("details");
  const count = summary.warnings.length + summary.omitted;
  const said = summary.json ? "no warnings (the JSON reader has none)"
    : count ? `${plural(count, "warning")} from the reader` : "no warnings from the reader";
  box.append(element("summary", said));
  const list = element("ul");
  for (const warning of summary.warnings) list.append(element("li", warning.message, "warning"));
  if (summary.omitted) list.append(element("li", `${summary.omitted} more, only counted`, "warning"));
  box.append(list);
  box.open = count > 0 && count <= 20;
  const checked = element("p", summary.json ? "The JSON reader reads the file or refuses it; rizeroz check is for data files."
    : "Checked here: what the reader takes leniently. Not checked here: well-formedness and validity against " +
      "SVF_Plus_Data.dtd, which rizeroz check has libxml2 judge as well.", "checked");
  return [box, checked];
}

function showFile(slot) {
  const section = $(slot === 0 ? "first-file" : "second-file");
  const file = state.files[slot];
  section.hidden = !file;
  section.replaceChildren();
  if (!file) return;
  const { summary } = file;
  section.append(element("h2", (slot === 0 ? "" : "Compared with: ") + file.name));
  const facts = element("dl");
  facts.append(element("dt", "Version"), element("dd", shownText(summary.version)));
  facts.append(element("dt", "Comment"), element("dd", shownText(summary.comment)));
  facts.append(element("dt", "Size"), element("dd", describeSize(file.size)));
  section.append(facts);
  const fields = element("ul");
  summary.fields.forEach((field, f) => fields.append(fieldItem(field, f, slot)));
  section.append(element("h2", plural(summary.fields.length, "field")), fields, ...warningList(summary));
}

// Shows both files' details, the differences and the pictures, as the files open now are.
async function showFiles() {
  const open = state.files[0] !== null;
  $("welcome").hidden = open;
  $("details").hidden = !open;
  $("picture-panel").hidden = !open;
  showFile(0);
  showFile(1);
  if (open) await showPictures();
  await showDifferences();
  updateButtons();
}

// The differences as `rizeroz diff` tells them, each one that has a place in the pictures
// (a row, a block, a field) an entry that shows it when clicked.
async function showDifferences() {
  const both = state.files[0] && state.files[1];
  $("differences").hidden = !both;
  state.differences = [];
  if (!both) return;
  const result = await call("diff", { picture: state.picture });
  if (result.dropped) return;
  const { text, count, places } = result;
  $("difference-count").textContent = count ? `${plural(count, "difference")}, as rizeroz diff tells them:`
    : "The files hold the same (as a data file carries them).";
  const box = $("difference-text");
  box.replaceChildren();
  const lines = text.split("\n");
  let at = 0;
  places.forEach(([field, line, bit, told], index) => {
    const entry = element("span", lines.slice(at, at + told).join("\n") + "\n", "difference");
    at += told;
    if (field >= 0) {
      entry.classList.add("place");
      entry.dataset.index = index;
      entry.title = "Show it in the mask";
    }
    state.differences.push({ field, line, bit, entry });
    box.append(entry);
  });
  box.append(lines.slice(at).join("\n"));
  $("differences").dataset.count = count;
}

function updateButtons() {
  const open = state.files[0] !== null;
  $("compare-button").hidden = !open;
  $("uncompare-button").hidden = !state.files[1];
  $("save").hidden = !open;
}

// ---- A file the reader refuses ----

// What stands before column `column` (which counts bytes) of `line`, as blanks, its tabs
// kept, so that a caret under it points at the column.
function caretIndent(line, column) {
  const before = new TextEncoder().encode(line).subarray(0, Math.max(0, column - 1));
  return new TextDecoder().decode(before).replace(/[^\t]/g, " ");
}

function showFailure(name, error, slot) {
  if (slot === 0) {
    state.files = [null, null];
    call("close", { slot: 1 });
  }
  $("welcome").hidden = true;
  $("details").hidden = slot === 0;
  $("picture-panel").hidden = slot === 0;
  $("failure").hidden = false;
  const place = error.line > 0 ? `${name}:${error.line}:${error.column}` : name;
  $("failure-message").textContent = `${place}: error: ${error.sentence} (error ${error.code}).`;
  const lines = $("failure-lines");
  lines.replaceChildren();
  for (const line of error.context || []) {
    const shown = line.text.replace(/[\u0000-\u0008\u000b-\u001f\u007f]/g, "\ufffd");
    const row = element("span", `${String(line.number).padStart(6)} | ${shown}\n`);
    if (line.number === error.line) {
      row.className = "at";
      lines.append(row, element("span", `${" ".repeat(9)}${caretIndent(shown, error.column)}^ here\n`, "at"));
    } else {
      lines.append(row);
    }
  }
}

// ---- The pictures ----

async function showPictures() {
  const result = await call("view");
  state.fields = result.fields;
  state.picture = result.picture;
  state.compared = result.compared;
  state.overview = null;
  const select = $("field-select");
  select.replaceChildren();
  state.fields.forEach((field, f) => select.append(new Option(field.name || "(no name)", f)));
  $("seek").hidden = !state.compared;
  document.querySelector(".marks-box").hidden = !state.compared;
  document.querySelector(".overview-box").hidden = !state.compared;
  $("hex").classList.toggle("compared", state.compared);
  showLegend();
  await chooseField(Math.min(state.field, Math.max(state.fields.length - 1, 0)), true);
}

function colourOf(paint) {
  const [r, g, b] = state.palette[paint] || [0, 0, 0];
  return `rgb(${r}, ${g}, ${b})`;
}

// A colour of the page's own (viewer.css), light or dark as the page is.
function pageColour(name) {
  return getComputedStyle(document.documentElement).getPropertyValue(name).trim();
}

function showLegend() {
  const legend = $("legend");
  legend.replaceChildren();
  for (const paint of LEGEND[state.compared ? "compared" : "plain"]) {
    const item = element("li", PAINTS[paint]);
    item.style.setProperty("--swatch", colourOf(paint));
    legend.append(item);
  }
}

async function chooseField(index, fit = false) {
  const changed = index !== state.field;
  state.field = index;
  $("field-select").value = String(index);
  for (const button of document.querySelectorAll(".field-button")) {
    button.setAttribute("aria-current", String(Number(button.dataset.field) === index));
  }
  if (changed || fit) {
    state.line = 0;
    state.x = 0;
    state.cursor = { line: 0, bit: 0 };
    state.placed = false;
    fitZoom();
    // The cell line tells of the cursor's cell in the field now shown.
    if (state.described) describeCell(state.cursor);
  }
  await paint();
}

// The field shown as drawn: its rows wrapped, `state.wrap` cells a line, where that is set
// (each row then takes `rows` lines, and a line between two blocks one, as where rows are
// not wrapped), else as the library's picture has it.
function currentField() {
  const field = state.fields[state.field] || { lines: 0, cells: 0, name: "", separators: [] };
  if (!state.wrap) return { ...field, rows: 1 };
  const rows = Math.ceil(field.cells / state.wrap);
  return { ...field, lines: startOf(field, rows, field.lines), cells: state.wrap, rows };
}

// How many of the lines between blocks of `field` lie above its picture's line `line`.
function separatorsBefore(field, line) {
  let [low, high] = [0, field.separators.length];
  while (low < high) {
    const middle = (low + high) >> 1;
    if (field.separators[middle] < line) low = middle + 1;
    else high = middle;
  }
  return low;
}

// The line drawn where the picture's line `line` (any whole number) starts, each row taking
// `rows` lines and each line between two blocks one.
function startOf(field, rows, line) {
  return line * rows - (rows - 1) * separatorsBefore(field, line);
}

// A cell of the library's picture (line, bit) as drawn, and back.
function drawnCell(line, bit) {
  if (!state.wrap) return { line, bit };
  const field = currentField();
  const separator = separatorsBefore(field, line + 1) > separatorsBefore(field, line);
  const down = separator ? 0 : Math.floor(bit / state.wrap);
  return { line: startOf(field, field.rows, line) + down, bit: bit % state.wrap };
}

function pictureCell({ line, bit }) {
  if (!state.wrap) return { line, bit };
  const field = currentField();
  const { rows } = field;
  // The picture's line drawn there: the last that starts at `line` or above it, which lies
  // at most a line for each line between blocks below line / rows.
  let low = Math.floor(line / rows);
  let high = Math.floor((line + (rows - 1) * field.separators.length) / rows);
  while (low < high) {
    const middle = Math.floor((low + high + 1) / 2);
    if (startOf(field, rows, middle) <= line) low = middle;
    else high = middle - 1;
  }
  return { line: low, bit: (line - startOf(field, rows, low)) * state.wrap + bit };
}

// The canvas's size in CSS pixels, and the cells and lines it shows at the zoom.
function viewSize() {
  const canvas = $("picture");
  const width = canvas.clientWidth;
  const height = canvas.clientHeight;
  return { width, height, cells: Math.ceil(width / state.zoom), lines: Math.ceil(height / state.zoom) };
}

// Square cells as large as let the field fill the width, or the height where the whole
// field fits it with cells of GRID_ZOOM or more; where its cells would be smaller than
// that and a few rows leave room below, each row wrapped into lines of as few bytes as let
// the whole field fit the height, and the cells fill the width. In whole device pixels,
// unless they are so small that a part of one matters; a device pixel at least.
function fitZoom() {
  const { width, height } = viewSize();
  state.wrap = 0;
  const field = currentField();
  const ratio = window.devicePixelRatio || 1;
  let fit = Math.min(width / Math.max(field.cells, 1), ZOOMS.at(-1));
  const high = height / Math.max(field.lines, 1);
  if (field.lines * fit > height && high >= GRID_ZOOM) fit = high;
  for (let wrap = 8; fit < GRID_ZOOM && wrap < field.cells; wrap *= 2) {
    const zoom = Math.min(width / wrap, ZOOMS.at(-1));
    if (zoom >= GRID_ZOOM && startOf(field, Math.ceil(field.cells / wrap), field.lines) * zoom <= height) {
      state.wrap = wrap;
      fit = zoom;
    }
  }
  const whole = Math.floor(fit * ratio) / ratio;
  state.zoom = Math.max(whole >= GRID_ZOOM ? whole : fit, 1 / ratio);
}

// A new zoom keeps the cell at the view's top left where it is.
function setZoom(zoom) {
  state.zoom = zoom;
  paint();
}

// The next zoom of ZOOMS above (`step` 1) or below (-1) the zoom, which fitting may have
// made one between them.
function stepZoom(step) {
  const next = step > 0 ? ZOOMS.find((zoom) => zoom > state.zoom) : ZOOMS.findLast((zoom) => zoom < state.zoom);
  setZoom(next ?? state.zoom);
}

// Keeps the view within the picture: it may start no further than its last line and cell.
function clampView() {
  const field = currentField();
  const { cells, lines } = viewSize();
  state.line = Math.max(0, Math.min(state.line, Math.max(0, field.lines - lines + 1)));
  state.x = Math.max(0, Math.min(state.x, Math.max(0, field.cells - cells + 1)));
}

// Asks the worker for the part of the picture in view, and draws it; one request at a time,
// the latest view drawn once the one under way is done.
async function paint() {
  if (state.painting) {
    state.dirty = true;
    return;
  }
  state.painting = true;
  try {
    do {
      state.dirty = false;
      clampView();
      await paintOnce();
    } while (state.dirty);
  } catch (failure) {
    showMessage(failure.message);
  } finally {
    state.painting = false;
  }
}

// The paints of a part of the picture as RGBA, in the tool's colours.
function pixelsOf(kinds) {
  const words = new Uint32Array(kinds.length);
  for (let i = 0; i < kinds.length; ++i) words[i] = state.words[kinds[i]];
  return new Uint8ClampedArray(words.buffer);
}

async function paintOnce() {
  const canvas = $("picture");
  const { width, height, cells, lines } = viewSize();
  const view = { picture: state.picture, field: state.field, line: state.line, lines, x: state.x, cells, wrap: state.wrap };
  if (!state.fields.length || cells <= 0 || lines <= 0) return;
  // Where rows are wrapped, what each line drawn shows: [the picture's line, its first cell].
  if (state.wrap) {
    view.segments = Array.from({ length: lines }, (_, i) => {
      const at = pictureCell({ line: state.line + i, bit: 0 });
      return [at.line, at.bit];
    });
  }
  const result = await call("paint", view);
  // A part of pictures or of a field no longer shown is not drawn (the view shown now is
  // painted next: choosing it marked the painting dirty).
  if (result.dropped || view.picture !== state.picture || view.field !== state.field) return;
  const kinds = new Uint8Array(result.kinds);
  const image = document.createElement("canvas");
  image.width = cells;
  image.height = lines;
  image.getContext("2d").putImageData(new ImageData(pixelsOf(kinds), cells, lines), 0, 0);
  state.image = { canvas: image, kinds, differ: result.differ, ...view };
  const ratio = window.devicePixelRatio || 1;
  canvas.width = Math.round(width * ratio);
  canvas.height = Math.round(height * ratio);
  drawImage();
  drawRuler();
  drawMarks();
  showHex(result.rows);
  canvas.dataset.zoom = state.zoom;
  canvas.dataset.line = state.line;
  canvas.dataset.x = state.x;
  canvas.dataset.cells = currentField().cells;
  canvas.dataset.wrap = state.wrap;
  canvas.dataset.rows = currentField().rows;
  canvas.dataset.lines = currentField().lines;
  canvas.dataset.separators = currentField().separators.join(" ");
  canvas.dataset.painted = ++state.painted;
  $("zoom-text").textContent = `${Number(state.zoom.toFixed(2))} px` + (state.wrap ? `, ${state.wrap} bits a line` : "");
  await drawOverview();
}

// Draws the last picture at the zoom, lines between the cells when they are large, rings
// about the cells that differ when they are small, and the cursor's cell. Around the
// field's picture (below a field of few lines, right of a narrow one) is the page's paper,
// light or dark: only a cell of the picture has a paint of the legend.
function drawImage() {
  const canvas = $("picture");
  const context = canvas.getContext("2d");
  const ratio = window.devicePixelRatio || 1;
  const zoom = state.zoom * ratio;
  context.imageSmoothingEnabled = false;
  context.fillStyle = pageColour("--paper");
  context.fillRect(0, 0, canvas.width, canvas.height);
  const image = state.image;
  const { lines, cells } = currentField();
  const top = Math.max(0, -image.line);
  const high = Math.min(image.lines, lines - image.line) - top;
  const wide = Math.min(image.cells, cells - image.x);
  if (high > 0 && wide > 0) {
    context.drawImage(image.canvas, 0, top, wide, high, 0, top * zoom, wide * zoom, high * zoom);
  }
  if (state.zoom >= GRID_ZOOM) drawGrid(context, image, zoom, ratio);
  if (state.compared && state.zoom < MARK_ZOOM) drawRings(context, image, zoom, ratio);
  const x = (state.cursor.bit - image.x) * zoom;
  const y = (state.cursor.line - image.line) * zoom;
  if (document.activeElement === canvas && x >= 0 && y >= 0) drawCursor(context, x, y, zoom, ratio);
  canvas.dataset.cursor = `${state.cursor.line} ${state.cursor.bit}`;
}

// Lines between the cells, stronger between bytes (every eighth bit from the row's start).
function drawGrid(context, image, zoom, ratio) {
  const wide = Math.min(image.cells, currentField().cells - image.x) * zoom;
  const high = Math.min(image.lines, currentField().lines - image.line) * zoom;
  for (const byte of [false, true]) {
    context.fillStyle = pageColour(byte ? "--grid-byte" : "--grid");
    for (let c = 0; c * zoom <= wide; ++c) {
      if (((image.x + c) % 8 === 0) === byte) context.fillRect(Math.round(c * zoom), 0, Math.max(1, ratio / 2), high);
    }
  }
  // Between lines; between rows stronger where a row takes several lines.
  const field = currentField();
  for (let l = 0; l * zoom <= high; ++l) {
    const starts = field.rows > 1 && pictureCell({ line: image.line + l, bit: 0 }).bit === 0;
    context.fillStyle = pageColour(starts ? "--grid-byte" : "--grid");
    context.fillRect(0, Math.round(l * zoom), wide, Math.max(1, ratio / 2));
  }
}

// A ring of MARK_SIZE CSS pixels about each cell that differs, so that one bit that differs
// shows at any zoom; none where so many differ that they show as areas.
function drawRings(context, image, zoom, ratio) {
  const at = [];
  for (let i = image.kinds.indexOf(PAINT_DIFFERS); i >= 0 && at.length <= MARK_MOST; i = image.kinds.indexOf(PAINT_DIFFERS, i + 1)) {
    at.push(i);
  }
  if (at.length > MARK_MOST) return;
  const size = MARK_SIZE * ratio;
  context.strokeStyle = colourOf(PAINT_DIFFERS);
  context.lineWidth = 2 * ratio;
  for (const i of at) {
    const x = ((i % image.cells) + 0.5) * zoom;
    const y = (Math.floor(i / image.cells) + 0.5) * zoom;
    context.strokeRect(Math.round(x - size / 2), Math.round(y - size / 2), Math.round(size), Math.round(size));
  }
}

// The cursor: a dark ring inside a light one, seen on any paint, and not the red of a
// bit that differs.
function drawCursor(context, x, y, zoom, ratio) {
  const size = Math.max(zoom, 3 * ratio);
  const left = x + (zoom - size) / 2;
  const top = y + (zoom - size) / 2;
  context.lineWidth = 2 * ratio;
  context.strokeStyle = "#ffffff";
  context.strokeRect(left - ratio, top - ratio, size + 2 * ratio, size + 2 * ratio);
  context.strokeStyle = "#000000";
  context.strokeRect(left + ratio, top + ratio, Math.max(size - 2 * ratio, ratio), Math.max(size - 2 * ratio, ratio));
}

// Sizes a canvas's pixels to its box at the device pixel ratio; its 2-D context.
function sizedContext(canvas) {
  const ratio = window.devicePixelRatio || 1;
  canvas.width = Math.max(1, Math.round(canvas.clientWidth * ratio));
  canvas.height = Math.max(1, Math.round(canvas.clientHeight * ratio));
  const context = canvas.getContext("2d");
  context.clearRect(0, 0, canvas.width, canvas.height);
  return context;
}

// The bit ruler above the picture: a tick at every byte where bytes are wide enough, the
// bit's number every so many bits that the numbers have room.
function drawRuler() {
  const canvas = $("ruler");
  const context = sizedContext(canvas);
  const ratio = window.devicePixelRatio || 1;
  const zoom = state.zoom * ratio;
  const field = currentField();
  const every = [8, 16, 32, 64, 128, 256, 512, 1024, 4096, 16384, 65536].find((step) => step * state.zoom >= 48) || 65536;
  context.fillStyle = pageColour("--ink");
  context.font = `${10 * ratio}px system-ui, sans-serif`;
  context.textBaseline = "top";
  const last = Math.min(field.cells, state.x + Math.ceil(canvas.clientWidth / state.zoom));
  for (let bit = Math.ceil(state.x / 8) * 8; bit <= last; bit += 8) {
    const x = Math.round((bit - state.x) * zoom);
    const labelled = bit % every === 0;
    if (!labelled && 8 * state.zoom < 4) continue;
    const tick = labelled ? canvas.height * 0.45 : canvas.height * 0.25;
    context.fillRect(x, canvas.height - tick, Math.max(1, ratio), tick);
    // Where rows are wrapped, a line's bits count from its first.
    if (labelled) context.fillText(String(bit), x + 2 * ratio, 0);
  }
}

// Beside the picture, a band at each line in view whose row differs (in view or not), at
// least 3 CSS pixels high: the rows that differ show at any zoom.
function drawMarks() {
  if (!state.compared || !state.image.differ) return;
  const canvas = $("marks");
  const context = sizedContext(canvas);
  const ratio = window.devicePixelRatio || 1;
  const image = state.image;
  const zoom = state.zoom * ratio;
  const high = Math.max(zoom, 3 * ratio);
  context.fillStyle = colourOf(PAINT_DIFFERS);
  image.differ.forEach((differs, l) => {
    if (differs) context.fillRect(0, Math.round(l * zoom + (zoom - high) / 2), canvas.width, high);
  });
}

// The whole field's height on the right of the picture: a mark where rows that differ are
// (the library's picture tells which, once for each field), and a box about the view.
async function drawOverview() {
  if (!state.compared) return;
  const canvas = $("overview");
  const buckets = Math.max(1, Math.round(canvas.clientHeight * (window.devicePixelRatio || 1)));
  const known = state.overview;
  if (!known || known.picture !== state.picture || known.field !== state.field || known.buckets !== buckets) {
    const asked = { picture: state.picture, field: state.field, buckets };
    const result = await call("overview", asked);
    if (result.dropped || asked.picture !== state.picture || asked.field !== state.field) return;
    state.overview = { ...asked, marks: new Uint8Array(result.marks) };
  }
  const context = sizedContext(canvas);
  const { marks } = state.overview;
  const ratio = window.devicePixelRatio || 1;
  context.fillStyle = colourOf(PAINT_DIFFERS);
  for (let i = marks.indexOf(1); i >= 0; i = marks.indexOf(1, i + 1)) context.fillRect(0, i - ratio, canvas.width, 3 * ratio);
  const lines = Math.max(currentField().lines, 1);
  const top = (state.line / lines) * canvas.height;
  const high = Math.max((viewSize().lines / lines) * canvas.height, 2 * ratio);
  context.strokeStyle = pageColour("--accent");
  context.lineWidth = ratio;
  context.strokeRect(ratio / 2, top + ratio / 2, canvas.width - ratio, Math.min(high, canvas.height - top) - ratio);
}

// Clicking the overview shows the lines about the place clicked.
function onOverviewClick(event) {
  const box = $("overview").getBoundingClientRect();
  const lines = currentField().lines;
  state.line = Math.round(((event.clientY - box.top) / box.height) * lines - viewSize().lines / 2);
  paint();
}

// Hexadecimal of a row, in groups of four bytes (where a long row may wrap), the bytes
// marked in `differs` (1 for a byte that differs) in <mark>.
function hexBytes(hex, differs) {
  const box = element("span", undefined, "hex-bytes");
  if (hex === null) {
    box.append(element("span", "(no row)", "hex-head"));
    return box;
  }
  let run = "";
  let marked = false;
  const flush = () => {
    if (run) box.append(marked ? element("mark", run) : document.createTextNode(run));
    run = "";
  };
  for (let i = 0; 2 * i < hex.length; ++i) {
    const differ = Boolean(differs && differs[i]);
    if (differ !== marked) {
      flush();
      marked = differ;
    }
    run += (i > 0 && i % 4 === 0 ? " " : "") + hex.slice(2 * i, 2 * i + 2);
  }
  flush();
  return box;
}

// The rows in view in hexadecimal, from the byte of the first cell shown: in a
// comparison, the two files' side by side, the bytes whose bits the picture shows as
// differing marked.
function showHex(rows) {
  const box = $("hex");
  box.replaceChildren();
  if (state.compared) {
    const head = element("div", undefined, "hex-row hex-head");
    head.append(element("span", "row"), element("span", "first file"), element("span", "second file"));
    box.append(head);
  }
  for (const row of rows) {
    if (!row) continue;
    const line = element("div", undefined, "hex-row");
    line.append(element("span", `b${row.block} r${row.row}${row.from ? ` +${row.from}` : ""}`, "hex-place"), " ");
    row.hex.forEach((hex, side) => {
      if (side) line.append(" ");
      line.append(hexBytes(hex, row.differs));
    });
    if (row.more) line.lastChild.append("…");
    box.append(line);
  }
}

// ---- Pointing at cells ----

function cellAt(event) {
  const box = $("picture").getBoundingClientRect();
  return {
    line: state.line + Math.floor((event.clientY - box.top) / state.zoom),
    bit: state.x + Math.floor((event.clientX - box.left) / state.zoom),
  };
}

function byteText(value) {
  return value === null ? "none" : `0x${value.toString(16).toUpperCase().padStart(2, "0")}`;
}

async function describeCell(at) {
  const field = currentField();
  const inPicture = pictureCell(at);
  const asked = { picture: state.picture, field: state.field, line: inPicture.line, bit: inPicture.bit };
  const result = await call("cell", asked);
  // Of a field or pictures no longer shown, nothing is told.
  if (result.dropped || asked.picture !== state.picture || asked.field !== state.field) return;
  state.described = true;
  const place = result.place;
  if (!place || at.bit >= field.cells || at.bit < 0) {
    $("cell-info").textContent = `${field.name}: no row here`;
    return;
  }
  if (place.values.every((value) => value === null)) {
    $("cell-info").textContent = `${field.name}, block ${place.block}, row ${place.row}: no bit ${place.bit} ` +
      `(the row holds ${plural(Math.max(...place.lengths), "byte")})`;
    return;
  }
  let text = `${field.name}, block ${place.block}, row ${place.row}, bit ${place.bit}: byte ${place.byte} = ` +
    byteText(place.values[0]);
  if (state.compared) text += ` (second file: ${byteText(place.values[1])})`;
  $("cell-info").textContent = text;
}

function moveCursor(lines, bits) {
  const field = currentField();
  const cursor = state.cursor;
  cursor.line = Math.max(0, Math.min(field.lines - 1, cursor.line + lines));
  cursor.bit = Math.max(0, Math.min(field.cells - 1, cursor.bit + bits));
  state.placed = true;
  const { cells, lines: shown } = viewSize();
  if (cursor.line < state.line) state.line = cursor.line;
  if (cursor.line >= state.line + shown - 1) state.line = cursor.line - shown + 2;
  if (cursor.bit < state.x) state.x = cursor.bit;
  if (cursor.bit >= state.x + cells - 1) state.x = cursor.bit - cells + 2;
  paint();
  describeCell(cursor);
}

// Puts the cursor on a cell of field `field`, the view about it, and the keys on the
// picture: where a difference is shown.
async function showCell(field, line, bit) {
  if (field !== state.field) await chooseField(field);
  ({ line, bit } = drawnCell(line, bit));
  state.cursor = { line, bit };
  state.placed = true;
  const { cells, lines } = viewSize();
  if (line < state.line || line >= state.line + lines - 1) state.line = line - Math.floor(lines / 2);
  if (bit < state.x || bit >= state.x + cells - 1) state.x = bit - Math.floor(cells / 2);
  $("picture").focus({ preventScroll: true });
  await Promise.all([paint(), describeCell(state.cursor)]);
}

// Marks the difference listed at `index` (-1: none) as the one shown.
function markDifference(index) {
  state.differences.forEach((difference, i) => difference.entry.setAttribute("aria-current", String(i === index)));
  if (index >= 0) state.differences[index].entry.scrollIntoView({ block: "nearest" });
}

// In the list of differences: the arrow keys choose the one before or after among those
// with a place in the pictures, Enter shows the one chosen.
function onListKey(event) {
  const placed = state.differences.map((difference, index) => (difference.field >= 0 ? index : -1))
    .filter((index) => index >= 0);
  if (!placed.length || event.ctrlKey || event.metaKey || event.altKey) return;
  const current = state.differences.findIndex((difference) => difference.entry.getAttribute("aria-current") === "true");
  const at = placed.indexOf(current);
  if (event.key === "ArrowDown" || event.key === "ArrowUp") {
    const step = event.key === "ArrowDown" ? 1 : -1;
    markDifference(placed[Math.max(0, Math.min(placed.length - 1, at < 0 ? 0 : at + step))]);
  } else if (event.key === "Enter") {
    showDifference(at < 0 ? placed[0] : current);
  } else {
    return;
  }
  event.preventDefault();
}

async function showDifference(index) {
  const difference = state.differences[index];
  if (!difference || difference.field < 0) return;
  markDifference(index);
  await showCell(difference.field, Math.max(difference.line, 0), Math.max(difference.bit, 0));
}

// Goes to the next (`step` 1) or previous (-1) cell that differs, as the library's picture
// paints them, from the cursor (the first cell that differs, before the cursor was put);
// each step from where the step before it led.
function seekDifference(step) {
  state.seeking = state.seeking.then(() => seekOnce(step)).catch((failure) => showMessage(failure.message));
  return state.seeking;
}

async function seekOnce(step) {
  if (!state.compared) return;
  const from = state.placed ? pictureCell(state.cursor) : { line: 0, bit: -1 };
  const asked = { picture: state.picture, field: state.field, line: from.line, bit: from.bit, step };
  const result = await call("seek", asked);
  if (result.dropped || asked.picture !== state.picture) return;
  if (result.none) {
    $("cell-info").textContent = "No cell differs: the pictures of the two files are the same.";
    return;
  }
  markDifference(state.differences.findIndex((d) => d.field === result.field && d.line === result.line));
  await showCell(result.field, result.line, result.bit);
}

const KEYS = {
  ArrowUp: () => moveCursor(-1, 0),
  ArrowDown: () => moveCursor(1, 0),
  ArrowLeft: () => moveCursor(0, -1),
  ArrowRight: () => moveCursor(0, 1),
  PageUp: () => moveCursor(-viewSize().lines + 1, 0),
  PageDown: () => moveCursor(viewSize().lines - 1, 0),
  Home: () => moveCursor(0, -state.cursor.bit),
  End: () => moveCursor(0, currentField().cells),
  "+": () => stepZoom(1),
  "=": () => stepZoom(1),
  "-": () => stepZoom(-1),
  0: () => chooseField(state.field, true),
};

function onKey(event) {
  const action = KEYS[event.key];
  if (!action || event.ctrlKey || event.metaKey || event.altKey) return;
  event.preventDefault();
  action();
}

// n and p (or F7 and Shift+F7) anywhere but in a control that takes letters: the next and
// the previous cell that differs.
function onPageKey(event) {
  if (event.ctrlKey || event.metaKey || event.altKey || !state.compared) return;
  const typing = event.target.closest && event.target.closest("select, input, textarea");
  let step = 0;
  if (event.key === "F7") step = event.shiftKey ? -1 : 1;
  else if (!typing && !event.shiftKey && (event.key === "n" || event.key === "p")) step = event.key === "n" ? 1 : -1;
  if (!step) return;
  event.preventDefault();
  seekDifference(step);
}

// Dragging pans the picture; the wheel scrolls it (with Shift, sideways; with Ctrl, zooms).
function watchPointer(canvas) {
  let drag = null;
  canvas.addEventListener("pointerdown", (event) => {
    drag = { x: event.clientX, y: event.clientY, line: state.line, cell: state.x };
    canvas.setPointerCapture(event.pointerId);
  });
  canvas.addEventListener("pointermove", (event) => {
    if (!drag) return describeCell(cellAt(event));
    state.line = drag.line - Math.round((event.clientY - drag.y) / state.zoom);
    state.x = drag.cell - Math.round((event.clientX - drag.x) / state.zoom);
    paint();
  });
  canvas.addEventListener("pointerup", (event) => {
    if (drag && Math.abs(event.clientX - drag.x) + Math.abs(event.clientY - drag.y) < 3) {
      state.cursor = cellAt(event);
      state.placed = true;
      drawImage();
    }
    drag = null;
  });
  canvas.addEventListener("wheel", (event) => {
    event.preventDefault();
    if (event.ctrlKey) return stepZoom(event.deltaY < 0 ? 1 : -1);
    const step = Math.sign(event.deltaY) * Math.max(1, Math.round(40 / state.zoom));
    if (event.shiftKey) state.x += step;
    else state.line += step;
    paint();
  }, { passive: false });
}

// ---- Saving ----

const SAVED = { xml: [".xml", "application/xml"], expressions: ["-expressions.xml", "application/xml"],
  json: [".json", "application/json"] };

async function saveAs(kind) {
  showMessage("");
  try {
    const { bytes } = await call("save", { kind });
    const [suffix, type] = SAVED[kind];
    const link = element("a");
    link.href = URL.createObjectURL(new Blob([bytes], { type }));
    link.download = state.files[0].name.replace(/\.(xml|json)$/i, "") + suffix;
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(link.href), 60000);
    showMessage(`Saved as ${link.download} (${describeSize(bytes.byteLength)}).`, true);
  } catch (failure) {
    showMessage(`The file cannot be saved so: ${failure.message}`);
  }
}

// ---- Wiring ----

function watchDrops() {
  let depth = 0;
  document.addEventListener("dragenter", (event) => {
    event.preventDefault();
    document.body.classList.toggle("dragging", ++depth > 0);
  });
  document.addEventListener("dragleave", () => document.body.classList.toggle("dragging", --depth > 0));
  document.addEventListener("dragover", (event) => event.preventDefault());
  document.addEventListener("drop", (event) => {
    event.preventDefault();
    depth = 0;
    document.body.classList.remove("dragging");
    const target = event.target.closest && event.target.closest("[data-slot='1'], #second-file, #differences");
    openChosen(event.dataTransfer.files, target ? 1 : 0);
  });
}

async function endComparison() {
  await call("close", { slot: 1 });
  state.files[1] = null;
  await showFiles();
}

function wire() {
  const inputs = [$("open-input"), $("compare-input")];
  inputs.forEach((input, slot) => input.addEventListener("change", () => {
    openChosen(input.files, slot);
    input.value = "";
  }));
  $("open-button").addEventListener("click", () => inputs[0].click());
  $("compare-button").addEventListener("click", () => inputs[1].click());
  $("uncompare-button").addEventListener("click", endComparison);
  for (const button of document.querySelectorAll("[data-save]")) {
    button.addEventListener("click", () => saveAs(button.dataset.save));
  }
  $("field-select").addEventListener("change", (event) => chooseField(Number(event.target.value)));
  $("zoom-in").addEventListener("click", () => stepZoom(1));
  $("zoom-out").addEventListener("click", () => stepZoom(-1));
  $("zoom-fit").addEventListener("click", () => chooseField(state.field, true));
  const canvas = $("picture");
  canvas.addEventListener("keydown", onKey);
  document.addEventListener("keydown", onPageKey);
  $("seek-next").addEventListener("click", () => seekDifference(1));
  $("seek-previous").addEventListener("click", () => seekDifference(-1));
  $("difference-text").addEventListener("click", (event) => {
    const entry = event.target.closest && event.target.closest(".difference.place");
    if (entry) showDifference(Number(entry.dataset.index));
  });
  $("difference-text").addEventListener("keydown", onListKey);
  $("overview").addEventListener("click", onOverviewClick);
  $("drop-zone").addEventListener("click", () => $("open-input").click());
  canvas.addEventListener("focus", () => state.image && drawImage());
  canvas.addEventListener("blur", () => state.image && drawImage());
  watchPointer(canvas);
  watchDrops();
  new ResizeObserver(() => state.fields.length && paint()).observe(canvas);
  // The page's colours change with the system's light or dark: the ruler and grid follow.
  matchMedia("(prefers-color-scheme: dark)").addEventListener("change", () => state.image && paint());
}

wire();
startWorker();
