// The npm package rizeroz (docs/javascript.md): reads and writes RIZ Eroz data files and
// their JSON form with the library itself, compiled to WebAssembly from the viewer page's
// sources (web/rizeroz_web.cpp). Everything a file is judged by (its form, its errors,
// their sentences and places, the text written) comes from the library through its C
// interface; this module only moves bytes and texts in and out of the module's memory.
// Runs wherever ES modules and WebAssembly do: Node 18+, browsers, workers, bundlers.
// node.js adds reading a path in Node.

// Flags and codes of the C interface (bindings/c/rizeroz.h).
const RZ_READ_WARNINGS = 1;
const RZ_READ_JSON = 2;
const RZ_FORM_JSON = 2; // rz_text_form: the JSON form
const RZ_WRITE_EXPRESSIONS = 1;
const RZ_WRITE_JSON = 4;
const RZ_ERR_MEMORY = -302;

// A failure the library reported: its result code, its message ("FILE:LINE:COLUMN: error:
// SENTENCE (error CODE)."), the sentence alone, the file as named, the place (line and
// column from 1, 0 when not known) and the byte offset (-1 when not known). `options` as
// Error takes them: the cause of a file that did not open is Node's error.
export class RizErozError extends Error {
  constructor(report, options) {
    super(report.message, options);
    this.name = "RizErozError";
    this.code = report.code;
    this.sentence = report.sentence;
    this.path = report.path;
    this.line = report.line;
    this.column = report.column;
    this.offset = report.offset;
  }
}

let loading = null; // the promise of the module: made at the first call, once

// The module, started at the first call that needs it: its bytes (rizeroz-wasm.js) are
// compiled and instantiated here and handed to emscripten's loader, which therefore
// fetches nothing and reads no file. A start that failed is tried again by the next call.
function library() {
  if (loading === null) {
    loading = Promise.all([import("./rizeroz-module.js"), import("./rizeroz-wasm.js")])
      .then(async ([{ default: createRizeroz }, { WASM }]) => {
        const compiled = await WebAssembly.compile(Uint8Array.from(atob(WASM), (c) => c.charCodeAt(0)));
        return new Promise((resolve, reject) => {
          const instantiateWasm = (imports, receive) => {
            WebAssembly.instantiate(compiled, imports).then((instance) => receive(instance, compiled), reject);
            return {};
          };
          createRizeroz({ instantiateWasm }).then(resolve, reject);
        });
      });
    loading.catch(() => { loading = null; });
  }
  return loading;
}

// Runs `body` with `count` zeroed words (4 bytes) of the module's memory, freed afterwards.
function withWords(rz, count, body) {
  const at = rz._malloc(4 * count);
  if (!at) throw codeError(rz, RZ_ERR_MEMORY, "");
  rz.HEAPU32.fill(0, at >> 2, (at >> 2) + count);
  try {
    return body(at);
  } finally {
    rz._free(at);
  }
}

function word(rz, at, index) {
  return rz.HEAPU32[(at >> 2) + index];
}

// A copy of `text` in the module's memory (UTF-8, NUL-terminated), or 0 for null.
function textIn(rz, text) {
  if (text === null || text === undefined) return 0;
  const size = rz.lengthBytesUTF8(text) + 1;
  const at = rz._malloc(size);
  if (!at) throw codeError(rz, RZ_ERR_MEMORY, "");
  rz.stringToUTF8(text, at, size);
  return at;
}

// Runs `body` with a copy of `text` in the module's memory (textIn), freed afterwards.
function withText(rz, text, body) {
  const at = textIn(rz, text);
  try {
    return body(at);
  } finally {
    rz._free(at);
  }
}

function textOut(rz, at) {
  return at ? rz.UTF8ToString(at) : null;
}

// The fields of an rz_error, as the library gives them.
function reportOf(rz, error) {
  return {
    code: rz._rz_error_code(error),
    message: textOut(rz, rz._rz_error_message(error)),
    sentence: textOut(rz, rz._rz_error_sentence(error)),
    path: textOut(rz, rz._rz_error_path(error)),
    line: rz._rz_error_line(error),
    column: rz._rz_error_column(error),
    offset: Number(rz._rz_error_offset(error)),
  };
}

// The error of an rz_error a call stored (freed here), or, where it stored none, the
// library's error for the call's `code` alone, naming `path`.
function takenError(rz, error, code, path, options) {
  if (!error) return codeError(rz, code, path);
  try {
    return new RizErozError(reportOf(rz, error), options);
  } finally {
    rz._rz_error_free(error);
  }
}

// The library's error for a result code (rzw_code_error), `path` naming what it refused.
function codeError(rz, code, path) {
  const error = withText(rz, path, (at) => rz._rzw_code_error(code, at));
  if (error) return takenError(rz, error, code, path);
  // No memory even for the error: the code's meaning alone, static text of the library.
  const meaning = textOut(rz, rz._rz_describe_code(code));
  return new RizErozError({ code, message: meaning, sentence: meaning, path, line: 0, column: 0, offset: -1 });
}

// The library's error for the file `path` that the system could not open or read, from
// Node's error `failure` (its `code` names the reason as the system does, "ENOENT", and its
// `syscall` the call that failed): the error a read by name gives, with `failure` as its
// cause. For node.js, which reads paths.
export async function fileErrorOf(path, failure) {
  const rz = await library();
  const read = failure.syscall === "read" ? 1 : 0;
  const error = withText(rz, path, (at) => withText(rz, failure.code, (reason) => rz._rzw_system_error(at, read, reason)));
  return takenError(rz, error, RZ_ERR_MEMORY, path, { cause: failure });
}

// Throws the library's error for a negative result code of a call that gives no error
// object; `path` names the value refused.
function checked(rz, code, path) {
  if (code < 0) throw codeError(rz, code, path);
  return code;
}

function isFormat(format) {
  if (format !== "xml" && format !== "json") {
    throw new TypeError(`format must be "xml" or "json", not ${JSON.stringify(format)}`);
  }
  return format === "json";
}

// The bytes of a source: a Uint8Array, an ArrayBuffer or another view of bytes, a Blob
// (a File), or a ReadableStream of byte chunks, which is read to its end.
async function bytesOf(source) {
  if (source instanceof Uint8Array) return source;
  if (source instanceof ArrayBuffer) return new Uint8Array(source);
  if (ArrayBuffer.isView(source)) return new Uint8Array(source.buffer, source.byteOffset, source.byteLength);
  if (typeof Blob !== "undefined" && source instanceof Blob) return new Uint8Array(await source.arrayBuffer());
  if (source && typeof source.getReader === "function") {
    const chunks = [];
    let size = 0;
    const reader = source.getReader();
    for (;;) {
      const { done, value } = await reader.read();
      if (done) break;
      const chunk = await bytesOf(value);
      chunks.push(chunk);
      size += chunk.length;
    }
    const whole = new Uint8Array(size);
    let at = 0;
    for (const chunk of chunks) {
      whole.set(chunk, at);
      at += chunk.length;
    }
    return whole;
  }
  throw new TypeError("read takes bytes (Uint8Array, ArrayBuffer), a Blob or a ReadableStream" +
    (typeof process === "object" ? ", or in Node a path" : ""));
}

// Row `k` of every block is a view of one buffer that holds the block's rows one after
// the other, taken from the model (rz_block_take_rows), which lets go of them at once.
function blockOf(rz, block, where) {
  const rowWidth = rz._rz_block_row_width(block);
  const count = rz._rz_block_row_count(block);
  const size = rz._rz_block_byte_count(block) >>> 0;
  const bytes = rz._malloc(Math.max(size, 1));
  const ends = rz._malloc(4 * Math.max(count, 1));
  try {
    if (!bytes || !ends) throw codeError(rz, RZ_ERR_MEMORY, where);
    checked(rz, rz._rz_block_take_rows(block, bytes, size, ends, count), where);
    const all = rz.HEAPU8.slice(bytes, bytes + size);
    const rows = new Array(count);
    for (let k = 0, start = 0; k < count; ++k) {
      const end = rz.HEAPU32[(ends >> 2) + k];
      rows[k] = all.subarray(start, end);
      start = end;
    }
    return { rowWidth, rows };
  } finally {
    rz._free(bytes);
    rz._free(ends);
  }
}

// The model behind an rz_model handle as plain objects; its rows are taken from it.
function modelOf(rz, model, warnings) {
  const fields = [];
  for (let i = 0; i < rz._rz_model_field_count(model); ++i) {
    const field = rz._rz_model_field(model, i);
    const blocks = [];
    for (let j = 0; j < rz._rz_field_block_count(field); ++j) {
      blocks.push(blockOf(rz, rz._rz_field_block(field, j), `fields[${i}].blocks[${j}]`));
    }
    fields.push({ name: textOut(rz, rz._rz_field_name(field)), checksum: rz._rz_field_checksum(field), blocks });
  }
  const read = { version: textOut(rz, rz._rz_model_version(model)), comment: textOut(rz, rz._rz_model_comment(model)),
    fields };
  if (warnings) {
    read.warnings = [];
    for (let i = 0; i < rz._rz_model_warning_count(model); ++i) {
      read.warnings.push(reportOf(rz, rz._rz_model_warning(model, i)));
    }
    read.warningsOmitted = Number(rz._rz_model_warnings_omitted(model));
  }
  return read;
}

// Reads a document held in the module's memory (`size` bytes at `data`): as `format`
// says, else in the form the library finds it in (rz_text_form) by its name when it has
// one, else by its first bytes.
function readIn(rz, data, size, name, format, warnings) {
  return withText(rz, name, (nameAt) => {
    const json = format === undefined ? rz._rz_text_form(nameAt, data, size, 0) === RZ_FORM_JSON : isFormat(format);
    const flags = (json ? RZ_READ_JSON : 0) | (warnings ? RZ_READ_WARNINGS : 0);
    return withWords(rz, 2, (out) => {
      const result = rz._rzw_read(data, size, nameAt, flags, out, out + 4);
      if (result !== 0) throw takenError(rz, word(rz, out, 1), result, name ?? "");
      const model = word(rz, out, 0);
      try {
        return modelOf(rz, model, warnings);
      } finally {
        rz._rz_model_free(model);
      }
    });
  });
}

// Reads a data file, or the JSON form of a model, into a new model: see index.d.ts.
export async function read(source, options = {}) {
  const { name, format, warnings = false } = options;
  if (format !== undefined) isFormat(format);
  const bytes = await bytesOf(source);
  const shown = name ?? (typeof File !== "undefined" && source instanceof File ? source.name : undefined);
  const rz = await library();
  const data = rz._malloc(Math.max(bytes.length, 1));
  if (!data) throw codeError(rz, RZ_ERR_MEMORY, shown ?? "");
  try {
    rz.HEAPU8.set(bytes, data);
    return readIn(rz, data, bytes.length, shown, format, warnings);
  } finally {
    rz._free(data);
  }
}

// A number for an integer argument of the C interface: `unsigned` for an unsigned one, an
// int otherwise (what the library makes of its value is the library's to say).
function integer(value, what, unsigned = false) {
  const [low, high] = unsigned ? [0, 0xffffffff] : [-0x80000000, 0x7fffffff];
  if (!Number.isInteger(value) || value < low || value > high) {
    throw new TypeError(`${what} must be an integer from ${low} to ${high}, not ${String(value)}`);
  }
  return value;
}

function rowsIn(rz, block, rows, where) {
  const count = rows.length;
  let size = 0;
  for (const row of rows) {
    if (!(row instanceof Uint8Array)) throw new TypeError(`${where}: every row must be a Uint8Array`);
    size += row.length;
  }
  const bytes = rz._malloc(Math.max(size, 1));
  const ends = rz._malloc(4 * Math.max(count, 1));
  try {
    if (!bytes || !ends) throw codeError(rz, RZ_ERR_MEMORY, where);
    let at = 0;
    rows.forEach((row, k) => {
      rz.HEAPU8.set(row, bytes + at);
      at += row.length;
      rz.HEAPU32[(ends >> 2) + k] = at;
    });
    checked(rz, rz._rz_block_add_rows(block, bytes, ends, count), where);
  } finally {
    rz._free(bytes);
    rz._free(ends);
  }
}

// Fills the rz_model handle `model` from a model of plain objects; the library judges
// every value (a place in `model`, as fields[0].checksum, names what it refuses).
function fillModel(rz, model, from) {
  checked(rz, withText(rz, from.version, (at) => rz._rz_model_set_version(model, at)), "version");
  checked(rz, withText(rz, from.comment, (at) => rz._rz_model_set_comment(model, at)), "comment");
  (from.fields ?? []).forEach((field, i) => {
    const where = `fields[${i}]`;
    const made = withText(rz, field.name, (at) => rz._rz_model_add_field(model, at));
    if (!made) throw codeError(rz, RZ_ERR_MEMORY, where);
    checked(rz, rz._rz_field_set_checksum(made, integer(field.checksum ?? 0, `${where}.checksum`, true)),
      `${where}.checksum`);
    (field.blocks ?? []).forEach((block, j) => {
      const width = integer(block.rowWidth, `${where}.blocks[${j}].rowWidth`);
      const added = rz._rz_field_add_block(made, width);
      if (!added) throw codeError(rz, RZ_ERR_MEMORY, `${where}.blocks[${j}]`);
      rowsIn(rz, added, block.rows ?? [], `${where}.blocks[${j}].rows`);
    });
  });
}

// The document the library writes for a model, as `rizeroz convert` writes it: see
// index.d.ts.
export async function write(model, options = {}) {
  const { format = "xml", expressions = false } = options;
  const flags = (isFormat(format) ? RZ_WRITE_JSON : 0) | (expressions ? RZ_WRITE_EXPRESSIONS : 0);
  const rz = await library();
  const handle = rz._rz_model_new();
  if (!handle) throw codeError(rz, RZ_ERR_MEMORY, "");
  try {
    fillModel(rz, handle, model);
    return withWords(rz, 3, (out) => {
      const result = rz._rz_write_memory(handle, flags, out, out + 4, out + 8);
      if (result !== 0) throw takenError(rz, word(rz, out, 2), result, "");
      const bytes = rz.HEAPU8.slice(word(rz, out, 0), word(rz, out, 0) + word(rz, out, 1));
      rz._rz_free(word(rz, out, 0));
      return bytes;
    });
  } finally {
    rz._rz_model_free(handle);
  }
}

// What a result code (or a warning's code) means, in the library's few words.
export async function describeCode(code) {
  const rz = await library();
  return textOut(rz, rz._rz_describe_code(integer(code, "code")));
}

// The library's version, "MAJOR.MINOR.PATCH".
export async function version() {
  const rz = await library();
  return textOut(rz, rz._rz_version());
}
