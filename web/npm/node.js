// The npm package rizeroz in Node (package.json's "node" condition): everything of
// index.js, and read takes a path too (a string or a file: URL), whose bytes Node reads;
// the library names the file by the path as given, and finds its form by that name, as
// the rizeroz tool does. A path that does not open or read gives the library's error for
// it, as a read by name does (Node's error is its cause).
import { readFile } from "node:fs/promises";
import { fileURLToPath } from "node:url";
import { fileErrorOf, read as readSource } from "./index.js";

export { RizErozError, describeCode, version, write } from "./index.js";

export async function read(source, options = {}) {
  if (typeof source === "string" || source instanceof URL) {
    const name = options.name ?? (source instanceof URL ? fileURLToPath(source) : source);
    let bytes;
    try {
      bytes = await readFile(source);
    } catch (failure) {
      if (typeof failure?.code !== "string" || typeof failure.syscall !== "string") throw failure;
      throw await fileErrorOf(name, failure);
    }
    return readSource(bytes, { ...options, name });
  }
  return readSource(source, options);
}
