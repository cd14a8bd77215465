// The npm package rizeroz: reads and writes RIZ Eroz data files and their JSON form with
// the library compiled to WebAssembly (docs/javascript.md).

/** A field block: rows of `rowWidth` bits, each row its bytes (a row need not hold as
 *  many bytes as the width says). Rows read share one buffer per block. */
export interface Block {
  rowWidth: number;
  rows: Uint8Array[];
}

/** A data field: its name (null when it has none), its 16-bit checksum (0: none) and
 *  its blocks. */
export interface Field {
  name: string | null;
  checksum: number;
  blocks: Block[];
}

/** What the library reports of a failure or a warning. */
export interface Report {
  /** The result code (negative), or a warning's code (positive, docs/warnings.md). */
  code: number;
  /** "FILE:LINE:COLUMN: error: SENTENCE (error CODE)." ("warning" for a warning). */
  message: string;
  /** What went wrong, without the file, the place and the code. */
  sentence: string;
  /** The document as named (the read's `name`, a path), or what a write refused. */
  path: string;
  /** Line and column (from 1) in the document; 0 when not known. */
  line: number;
  column: number;
  /** Byte offset (from 0) in the document; -1 when not known. */
  offset: number;
}

/** A model: version and comment (null when it has none) and the data fields. */
export interface Model {
  version: string | null;
  comment: string | null;
  fields: Field[];
  /** With `warnings: true`: what the reader took leniently, the first 1000. */
  warnings?: Report[];
  /** With `warnings: true`: warnings beyond those kept, only counted. */
  warningsOmitted?: number;
}

/** A failure reported by the library; `message` is its message. For a path that Node
 *  could not open or read, `cause` is Node's error. */
export class RizErozError extends Error implements Report {
  name: "RizErozError";
  code: number;
  message: string;
  sentence: string;
  path: string;
  line: number;
  column: number;
  offset: number;
}

export type Format = "xml" | "json";

export interface ReadOptions {
  /** What errors and warnings call the document (in Node a path's default is the path);
   *  without a format, a name ending in ".json" (any letter case) is read as JSON. */
  name?: string;
  /** "xml" (a data file) or "json"; by default as the name says, else as the first
   *  byte that is no white space says ('{': JSON). The library decides (rz_text_form). */
  format?: Format;
  /** Keep the reader's warnings in `model.warnings`. */
  warnings?: boolean;
}

/** A document: its bytes, a Blob or File, a ReadableStream of byte chunks, or in Node a
 *  path (string or file: URL). */
export type Source = Uint8Array | ArrayBuffer | ArrayBufferView | Blob | ReadableStream<Uint8Array> | string | URL;

/** Reads a data file, or the JSON form of a model, into a new model. Rejects with a
 *  RizErozError when the library refuses the document. */
export function read(source: Source, options?: ReadOptions): Promise<Model>;

export interface WriteOptions {
  /** "xml" (a data file, the default) or "json". */
  format?: Format;
  /** Rows as expressions where those are shorter (nothing for JSON). */
  expressions?: boolean;
}

/** The document the library writes for `model`: the bytes `rizeroz convert` writes.
 *  Rejects with a RizErozError for a model the format cannot carry as it is. */
export function write(
  model: Pick<Model, "fields"> & Partial<Pick<Model, "version" | "comment">>,
  options?: WriteOptions,
): Promise<Uint8Array>;

/** What a result code (or a warning's code) means, in the library's few words. */
export function describeCode(code: number): Promise<string>;

/** The library's version, "MAJOR.MINOR.PATCH". */
export function version(): Promise<string>;
