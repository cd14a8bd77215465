// The viewer page (docs/web.md): opens a data file or its JSON form, lists what it holds,
// draws its masks a cell per bit, compares it with a second file and saves it, all by the
// library's WebAssembly module in a worker (rizeroz-worker.js, made by web/bundle.py), so
// that a large file never stops the page. Nothing is fetched or sent anywhere.
"use strict";

const $ = (id) => document.getElementById(id);
const ZOOMS = [1, 2, 3, 4, 6, 8, 12, 16, 24, 32, 48, 64];
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
  image: null, // the last picture painted: {canvas, line, x, lines, cells}
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

function warningList(summary) {
  const box = element("details");
  const count = summary.warnings.length + summary.omitted;
  box.append(element("summary", count ? plural(count, "warning") : "no warnings"));
  const list = element("ul");
  for (const warning of summary.warnings) list.append(element("li", warning.message, "warning"));
  if (summary.omitted) list.append(element("li", `${summary.omitted} more, only counted`, "warning"));
  box.append(list);
  box.open = count > 0 && count <= 20;
  return box;
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
  section.append(element("h2", plural(summary.fields.length, "field")), fields, warningList(summary));
}

// Shows both files' details, the differences and the pictures, as the files open now are.
async function showFiles() {
  const open = state.files[0] !== null;
  $("welcome").hidden = open;
  $("details").hidden = !open;
  $("picture-panel").hidden = !open;
  showFile(0);
  showFile(1);
  await showDifferences();
  if (open) await showPictures();
  updateButtons();
}

async function showDifferences() {
  const both = state.files[0] && state.files[1];
  $("differences").hidden = !both;
  if (!both) return;
  const { text, count } = await call("diff");
  $("difference-count").textContent = count ? `${plural(count, "difference")}, as rizeroz diff tells them:`
    : "The files hold the same (as a data file carries them).";
  $("difference-text").textContent = text;
  $("differences").dataset.count = count;
}

function updateButtons() {
  const open = state.files[0] !== null;
  $("compare-button").disabled = !open;
  $("uncompare-button").hidden = !state.files[1];
  for (const button of document.querySelectorAll("[data-save]")) button.disabled = !open;
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
  const select = $("field-select");
  select.replaceChildren();
  state.fields.forEach((field, f) => select.append(new Option(field.name || "(no name)", f)));
  showLegend();
  await chooseField(Math.min(state.field, Math.max(state.fields.length - 1, 0)), true);
}

function colourOf(paint) {
  const [r, g, b] = state.palette[paint] || [0, 0, 0];
  return `rgb(${r}, ${g}, ${b})`;
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
    fitZoom();
    // The cell line tells of the cursor's cell in the field now shown.
    if (state.described) describeCell(state.cursor);
  }
  await paint();
}

function currentField() {
  return state.fields[state.field] || { lines: 0, cells: 0, name: "" };
}

// The canvas's size in CSS pixels, and the cells and lines it shows at the zoom.
function viewSize() {
  const canvas = $("picture");
  const width = canvas.clientWidth;
  const height = canvas.clientHeight;
  return { width, height, cells: Math.ceil(width / state.zoom), lines: Math.ceil(height / state.zoom) };
}

function fitZoom() {
  const { width } = viewSize();
  const cells = Math.max(currentField().cells, 1);
  state.zoom = ZOOMS.filter((zoom) => zoom * cells <= width).pop() || ZOOMS[0];
}

// A new zoom keeps the cell at the view's top left where it is.
function setZoom(zoom) {
  state.zoom = zoom;
  paint();
}

function stepZoom(step) {
  const at = ZOOMS.indexOf(state.zoom);
  setZoom(ZOOMS[Math.max(0, Math.min(ZOOMS.length - 1, at + step))]);
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

async function paintOnce() {
  const canvas = $("picture");
  const { width, height, cells, lines } = viewSize();
  const view = { picture: state.picture, field: state.field, line: state.line, lines, x: state.x, cells };
  if (!state.fields.length || cells <= 0 || lines <= 0) return;
  const result = await call("paint", view);
  // A part of pictures or of a field no longer shown is not drawn (the view shown now is
  // painted next: choosing it marked the painting dirty).
  if (result.dropped || view.picture !== state.picture || view.field !== state.field) return;
  const image = document.createElement("canvas");
  image.width = cells;
  image.height = lines;
  image.getContext("2d").putImageData(new ImageData(new Uint8ClampedArray(result.pixels), cells, lines), 0, 0);
  state.image = { canvas: image, ...view };
  const ratio = window.devicePixelRatio || 1;
  canvas.width = Math.round(width * ratio);
  canvas.height = Math.round(height * ratio);
  drawImage();
  showHex(result.rows);
  canvas.dataset.zoom = state.zoom;
  canvas.dataset.line = state.line;
  canvas.dataset.x = state.x;
  canvas.dataset.painted = ++state.painted;
  $("zoom-text").textContent = `${state.zoom} px`;
}

// Draws the last picture at the zoom, and the cursor's cell on it.
function drawImage() {
  const canvas = $("picture");
  const context = canvas.getContext("2d");
  const ratio = window.devicePixelRatio || 1;
  const zoom = state.zoom * ratio;
  context.imageSmoothingEnabled = false;
  context.fillStyle = colourOf(3);
  context.fillRect(0, 0, canvas.width, canvas.height);
  const image = state.image;
  context.drawImage(image.canvas, 0, 0, image.cells * zoom, image.lines * zoom);
  const x = (state.cursor.bit - image.x) * zoom;
  const y = (state.cursor.line - image.line) * zoom;
  if (document.activeElement === canvas && x >= 0 && y >= 0) {
    context.strokeStyle = "#e02020";
    context.lineWidth = Math.max(1, ratio);
    context.strokeRect(x + 0.5, y + 0.5, Math.max(zoom - 1, 2), Math.max(zoom - 1, 2));
  }
}

function showHex(rows) {
  const lines = [];
  for (const row of rows) {
    if (!row) continue;
    const from = row.from ? `+${row.from}: ` : "";
    lines.push(`b${row.block} r${row.row}  ${from}${row.hex}${row.more ? "…" : ""}`);
  }
  $("hex").textContent = lines.join("\n");
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
  const asked = { picture: state.picture, field: state.field, line: at.line, bit: at.bit };
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
  const { cells, lines: shown } = viewSize();
  if (cursor.line < state.line) state.line = cursor.line;
  if (cursor.line >= state.line + shown - 1) state.line = cursor.line - shown + 2;
  if (cursor.bit < state.x) state.x = cursor.bit;
  if (cursor.bit >= state.x + cells - 1) state.x = cursor.bit - cells + 2;
  paint();
  describeCell(cursor);
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
  canvas.addEventListener("focus", () => state.image && drawImage());
  canvas.addEventListener("blur", () => state.image && drawImage());
  watchPointer(canvas);
  watchDrops();
  new ResizeObserver(() => state.fields.length && paint()).observe(canvas);
}

wire();
startWorker();
