// The npm package rizeroz in Node (package.json's "node" condition): everything of
// index.js, and read takes a path too (a string or a file: URL), whose bytes Node reads;
// the library names the file by the path as given, and finds its form by that name, as
// the rizeroz tool does.
import { readFile } from "node:fs/promises";
import { fileURLToPath } from "node:url";
import { read as readSource } from "./index.js";

export { RizErozError, describeCode, version, write } from "./index.js";

export async function read(source, options = {}) {
  if (typeof source === "string" || source instanceof URL) {
    const name = options.name ?? (source instanceof URL ? fileURLToPath(source) : source);
    return readSource(await readFile(source), { ...options, name });
  }
  return readSource(source, options);
}
