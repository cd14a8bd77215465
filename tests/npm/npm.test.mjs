// The npm package rizeroz (web/npm, docs/javascript.md) as a user meets it: installed from
// its tarball into an empty project (no network), then each case reads files with it and
// holds what it gives to the native rizeroz tool's output for the same files: `convert`'s
// files byte for byte, the errors of `info` and the warnings of `check`, at the same
// places; docs/javascript.md's example. Also: the package in a worker thread without
// fetch, in a browser's module worker (Chromium, by tests/web's puppeteer-core: its npm ci
// comes first), and its declarations under tsc --strict. Run by `scripts/test.sh web`
// (RIZEROZ_PACKAGE: the tarball of `scripts/package.sh npm`, RIZEROZ_TOOL: the native
// rizeroz).
import assert from "node:assert/strict";
import { execFileSync, spawnSync } from "node:child_process";
import fs from "node:fs";
import http from "node:http";
import os from "node:os";
import path from "node:path";
import { after, before, test } from "node:test";
import { fileURLToPath, pathToFileURL } from "node:url";
import { Worker } from "node:worker_threads";

const HERE = path.dirname(fileURLToPath(import.meta.url));
const ROOT = path.resolve(HERE, "../..");
const PACKAGE = process.env.RIZEROZ_PACKAGE && path.resolve(process.env.RIZEROZ_PACKAGE);
const TOOL = process.env.RIZEROZ_TOOL && path.resolve(process.env.RIZEROZ_TOOL);

const sample = () => fs.readFileSync(path.join(ROOT, "tests/data/sample.xml"), "utf8");
const modelJson = () => fs.readFileSync(path.join(ROOT, "tests/data/cli_model.json"), "utf8");
// The files the cases read, made in the consumer project's folder.
const FILES = {
  "sample.xml": sample,
  "crlf.xml": () => sample().replace("small device", "small\ndevice").replace(/\n/g, "\r\n"),
  "model.json": modelJson,
  "UPPER.JSON": modelJson,
  "warnings.xml": () => fs.readFileSync(path.join(ROOT, "tests/data/cli_check_warnings.xml"), "utf8"),
  // Rows that expressions write shorter, and rows longer and shorter than their width.
  "repeats.xml": () => `<SVF_Plus_Data version="1">
<DataField name="R"><FieldBlock row_width="512">0x${"00".repeat(64)},
0x${"A5".repeat(60)}FFFFFFFF, 0x12</FieldBlock><FieldBlock row_width="8">0x1234</FieldBlock></DataField>
</SVF_Plus_Data>\n`,
  // Enough rows that the module's memory grows while reading them.
  "many.xml": () => sample().replace("0x0000FFFF", Array.from({ length: 60000 },
    (_, i) => "0x" + i.toString(16).toUpperCase().padStart(8, "0")).join(",\n")),
  "broken.xml": () => sample().replace("0x0000FFFF", "0x0000FGFF"),
  "truncated.xml": () => sample().slice(0, 300),
  "text.xml": () => "these are not masks\n",
  "empty.xml": () => "",
  "shape.json": () => '{"version": "2.1", "fields": 3}\n',
  "bad-json.json": () => '{"version": "2.1",\n  "fields": [}\n',
  // A field name that a data file cannot carry as it is.
  "quote.json": () => modelJson().replace('"FIELD_A"', '"FIELD\\"A"'),
};

// Each conversion: the file read and how the tool is told to write it, for every way of
// writing (JSON, data file, data file with expressions).
const CONVERTED = ["sample.xml", "crlf.xml", "model.json", "UPPER.JSON", "warnings.xml", "repeats.xml", "many.xml"];
const WRITES = [
  { options: { format: "json" }, out: "out.json", args: [] },
  { options: { format: "xml" }, out: "out.xml", args: [] },
  { options: { format: "xml", expressions: true }, out: "out.xml", args: ["--expressions"] },
];

// Each failing read: the file, the package's options, and the tool's arguments that read
// it the same way (`info`, which prints the library's error).
const FAILURES = [
  { file: "broken.xml" },
  { file: "truncated.xml" },
  { file: "text.xml" },
  { file: "empty.xml" },
  { file: "shape.json" },
  { file: "bad-json.json" },
  { file: "model.json", options: { format: "xml" }, args: ["--from", "xml"] },
  { file: "sample.xml", options: { format: "json" }, args: ["--from", "json"] },
];

let work; // the consumer project: the package installed from its tarball
let rz; // the package, as the consumer project imports it

function tool(...args) {
  return spawnSync(TOOL, args, { cwd: work, encoding: "utf8" });
}

// The tool's output file for `args` (`convert FILE OUT ...`).
function converted(file, out, args) {
  const result = spawnSync(TOOL, ["convert", file, out, ...args], { cwd: work });
  assert.equal(result.status, 0, `rizeroz convert ${file} ${out}: ${result.stderr}`);
  return fs.readFileSync(path.join(work, out));
}

// The place in a message "FILE:LINE:COLUMN: ...".
function placeOf(message, file) {
  const [line, column] = message.slice(file.length + 1).split(":").map(Number);
  return { line, column };
}

before(async () => {
  assert.ok(PACKAGE && TOOL, "RIZEROZ_PACKAGE and RIZEROZ_TOOL must name the package's tarball and the rizeroz tool");
  work = fs.mkdtempSync(path.join(os.tmpdir(), "rizeroz-npm-"));
  fs.writeFileSync(path.join(work, "package.json"), '{ "name": "consumer", "private": true, "type": "module" }\n');
  execFileSync("npm", ["install", "--offline", "--no-audit", "--no-fund", "--loglevel=error", PACKAGE], { cwd: work });
  for (const [name, make] of Object.entries(FILES)) fs.writeFileSync(path.join(work, name), make());
  // Imported by a module of the consumer project, so that Node resolves it as there.
  fs.writeFileSync(path.join(work, "consumer.mjs"), 'export * from "rizeroz";\n');
  rz = await import(pathToFileURL(path.join(work, "consumer.mjs")));
});

after(() => {
  if (work) fs.rmSync(work, { recursive: true, force: true });
});

test("the installed package holds its files and the library's version", async () => {
  const installed = path.join(work, "node_modules/rizeroz");
  assert.deepEqual(fs.readdirSync(installed).sort(), ["README.md", "index.d.ts", "index.js", "node.js", "package.json",
    "rizeroz-module.js", "rizeroz-wasm.js"]);
  const { version } = JSON.parse(fs.readFileSync(path.join(installed, "package.json"), "utf8"));
  assert.equal(`rizeroz ${version}`, tool("--version").stdout.trim());
  assert.equal(await rz.version(), version);
  assert.equal(path.basename(PACKAGE), `rizeroz-${version}.tgz`);
});

test("written documents are convert's, byte for byte", async () => {
  for (const file of CONVERTED) {
    const model = await rz.read(path.join(work, file));
    for (const { options, out, args } of WRITES) {
      const written = await rz.write(model, options);
      assert.ok(written instanceof Uint8Array);
      assert.ok(Buffer.from(written).equals(converted(file, out, args)), `${file} as ${out} ${args.join(" ")}`);
    }
  }
});

test("the model holds what the file holds", async () => {
  const model = await rz.read(path.join(work, "sample.xml"));
  assert.equal(model.version, "2.1");
  assert.equal(model.comment, "bundled sample: two masks of a small device");
  assert.deepEqual(model.fields.map((field) => [field.name, field.checksum, field.blocks.map((block) => block.rowWidth)]),
    [["Usercode_MASK", 0x1a2b, [32]], ["FuseArray_MASK", 0, [256, 8]]]);
  const rows = model.fields[0].blocks[0].rows;
  assert.deepEqual(rows.map((row) => Buffer.from(row).toString("hex")), ["ffffffff", "0000ffff"]);
  assert.ok(rows[1] instanceof Uint8Array);
  assert.equal(model.warnings, undefined);
});

// Every way of handing over a document reads the same model, and the form is the
// library's to find: by the name when there is one (".JSON" too), else by the bytes.
test("bytes, streams, blobs and paths read alike; the library finds the form", async () => {
  const streamOf = (bytes) => new ReadableStream({
    start(controller) {
      for (let at = 0; at < bytes.length; at += 7) controller.enqueue(bytes.subarray(at, at + 7));
      controller.close();
    },
  });
  for (const file of ["sample.xml", "UPPER.JSON"]) {
    const bytes = new Uint8Array(fs.readFileSync(path.join(work, file)));
    const wanted = converted(file, "out.json", []);
    const sources = [
      [path.join(work, file)], [pathToFileURL(path.join(work, file))], [bytes, { name: file }], [bytes.buffer],
      [bytes], [new DataView(bytes.buffer)], [streamOf(bytes)], [new Blob([bytes])],
    ];
    // JSON after a byte order mark and white space is still JSON by its bytes.
    if (file.endsWith("N")) sources.push([new Uint8Array([0xef, 0xbb, 0xbf, 0x20, 0x0a, ...bytes])]);
    for (const [source, options] of sources) {
      const written = await rz.write(await rz.read(source, options), { format: "json" });
      assert.ok(Buffer.from(written).equals(wanted), `${file} from ${source.constructor.name}`);
    }
  }
});

test("a refused document gives the tool's error, at the same place", async () => {
  for (const { file, options = {}, args = [] } of FAILURES) {
    const full = path.join(work, file);
    const bytes = fs.readFileSync(full);
    // A path names the file as given; bytes by their name.
    for (const [source, name, shown] of [[full, undefined, full], [bytes, file, file]]) {
      const result = tool("info", ...args, shown);
      assert.equal(result.status, 2, `rizeroz info ${shown}`);
      const message = result.stderr.trim();
      const failure = await rz.read(source, { ...options, name }).then(() => null, (caught) => caught);
      assert.ok(failure instanceof rz.RizErozError, `${shown}: ${failure}`);
      assert.ok(failure instanceof Error);
      assert.equal(failure.name, "RizErozError");
      assert.equal(failure.message, message);
      assert.equal(failure.path, shown);
      assert.ok(failure.code < 0 && message.endsWith(`(error ${failure.code}).`), message);
      assert.ok(message.includes(failure.sentence), message);
      if (failure.line > 0) assert.deepEqual({ line: failure.line, column: failure.column }, placeOf(message, shown));
      else assert.ok(message.startsWith(`${shown}: error: `), message);
    }
  }
});

test("a path that does not open or read gives the tool's error, with Node's as its cause", async () => {
  for (const folder of ["folder.xml", "folder.json"]) fs.mkdirSync(path.join(work, folder), { recursive: true });
  const paths = [["missing.xml", "open"], ["missing.json", "open"], ["folder.xml", "read"], ["folder.json", "read"]];
  for (const [file, syscall] of paths) {
    const full = path.join(work, file);
    const result = tool("info", full);
    assert.equal(result.status, 2, `rizeroz info ${full}`);
    const failure = await rz.read(pathToFileURL(full)).then(() => null, (caught) => caught);
    assert.ok(failure instanceof rz.RizErozError, `${file}: ${failure}`);
    assert.deepEqual([failure.message, failure.path, failure.cause?.syscall], [result.stderr.trim(), full, syscall]);
  }
});

test("warnings, when asked for, are check's", async () => {
  const result = tool("check", "--no-valid", "warnings.xml");
  const lines = result.stdout.split("\n").concat(result.stderr.split("\n")).filter((line) => line.includes(": warning: "));
  assert.ok(lines.length > 10);
  const model = await rz.read(path.join(work, "warnings.xml"), { name: "warnings.xml", warnings: true });
  // check lists them in the order of their places, the library in the order found.
  assert.deepEqual(model.warnings.map((warning) => warning.message).sort(), lines.sort());
  for (const warning of model.warnings) {
    assert.ok(warning.code > 0);
    assert.deepEqual({ line: warning.line, column: warning.column }, placeOf(warning.message, "warnings.xml"));
  }
  assert.equal(model.warningsOmitted, 0);
  assert.equal((await rz.read(path.join(work, "warnings.xml"))).warnings, undefined);
});

test("a model the library refuses to write gives the library's error", async () => {
  const refused = tool("convert", "quote.json", "out.xml");
  assert.equal(refused.status, 2);
  const quoted = await rz.read(path.join(work, "quote.json"));
  const failure = await rz.write(quoted, { format: "xml" }).then(() => null, (caught) => caught);
  assert.ok(failure instanceof rz.RizErozError, String(failure));
  assert.equal(refused.stderr.trim(), `out.xml: error: ${failure.sentence} (error ${failure.code}).`);
  assert.equal(failure.code, -13);
  // JSON carries every model.
  assert.ok(Buffer.from(await rz.write(quoted, { format: "json" })).equals(converted("quote.json", "out.json", [])));
  // Values of a model made by hand are the library's to judge; the error names the value.
  const made = { version: "1", comment: null, fields: [{ name: "A", checksum: 0x10000, blocks: [] }] };
  const checksum = await rz.write(made).then(() => null, (caught) => caught);
  assert.ok(checksum instanceof rz.RizErozError, String(checksum));
  assert.equal(checksum.code, -301);
  assert.equal(checksum.path, "fields[0].checksum");
  assert.ok(checksum.message.startsWith("fields[0].checksum: error: "), checksum.message);
  assert.equal(checksum.sentence.length > 0, true);
  made.fields[0].checksum = 0xffff;
  made.fields[0].blocks.push({ rowWidth: 16, rows: [new Uint8Array([1, 2]), new Uint8Array([])] });
  const again = await rz.read(await rz.write(made, { format: "json" }));
  assert.deepEqual(again.fields[0].blocks[0].rows.map((row) => [...row]), [[1, 2], []]);
  await assert.rejects(rz.write(made, { format: "yaml" }), TypeError);
  await assert.rejects(rz.read(new Uint8Array(), { format: "XML" }), TypeError);
  await assert.rejects(rz.read(42), TypeError);
});

// docs/javascript.md's example, run in the consumer project, prints what the page says.
test("the documented example prints what docs/javascript.md shows", () => {
  const page = fs.readFileSync(path.join(ROOT, "docs/javascript.md"), "utf8");
  const example = page.split("\n## Example\n")[1];
  const [, program, printed] = example.match(/```js\n([\s\S]*?)```[\s\S]*?```text\n([\s\S]*?)```/);
  fs.writeFileSync(path.join(work, "example.mjs"), program);
  const result = spawnSync(process.execPath, ["example.mjs"], { cwd: work, encoding: "utf8" });
  assert.equal(result.status, 0, result.stderr);
  assert.equal(result.stdout, printed);
});

// In a worker thread where fetch fails: the package loads its module from itself, at the
// first call and once, for reads that start together and for those after them.
test("the package works in a worker, with no fetch", async () => {
  fs.writeFileSync(path.join(work, "worker.mjs"), `
import { parentPort, workerData } from "node:worker_threads";
const fetched = [];
globalThis.fetch = (url) => { fetched.push(String(url)); return Promise.reject(new Error("no network")); };
const started = [];
const instantiate = WebAssembly.instantiate;
WebAssembly.instantiate = (...args) => { started.push(performance.now()); return instantiate.apply(WebAssembly, args); };
const { read, write } = await import("rizeroz");
await new Promise((resolve) => setTimeout(resolve, 300)); // time enough for a start that was not asked for
const imported = started.length;
const models = await Promise.all([read(workerData.bytes, { name: workerData.name }), read(workerData.bytes)]);
const written = await Promise.all(models.map((model) => write(model, { format: "json" })));
parentPort.postMessage({ written, fetched, imported, started: started.length });
`);
  const bytes = new Uint8Array(fs.readFileSync(path.join(work, "sample.xml")));
  const worker = new Worker(path.join(work, "worker.mjs"), { workerData: { bytes, name: "sample.xml" } });
  const answer = await new Promise((resolve, reject) => {
    worker.once("message", resolve);
    worker.once("error", reject);
  });
  await worker.terminate();
  assert.deepEqual(answer.fetched, []);
  assert.deepEqual([answer.imported, answer.started], [0, 1]);
  const wanted = converted("sample.xml", "out.json", []);
  for (const written of answer.written) assert.ok(Buffer.from(written).equals(wanted));
});

// In Chromium (headless, as the viewer page's tests drive it: tests/web/browser.mjs), a
// module worker of a page served over HTTP imports the package's index.js and reads and
// writes with it; the page and its worker ask for nothing but their own files.
test("the package works in a browser's module worker", async () => {
  const { launch } = await import("../web/browser.mjs");
  fs.writeFileSync(path.join(work, "index.html"), "<!doctype html><title>rizeroz</title><link rel=\"icon\" href=\"data:,\">\n");
  fs.writeFileSync(path.join(work, "browser-worker.mjs"), `
import { read, write } from "./node_modules/rizeroz/index.js";
onmessage = async ({ data }) => {
  const model = await read(new Blob([new Uint8Array(data.sample)]), { name: "sample.xml" });
  const failure = await read(new Uint8Array(data.broken), { name: "broken.xml" }).then(() => null, (error) => error);
  postMessage({ json: Array.from(await write(model, { format: "json" })),
    failure: failure && { name: failure.name, message: failure.message } });
};
`);
  const asked = [];
  const types = { ".html": "text/html", ".mjs": "text/javascript", ".js": "text/javascript" };
  const server = http.createServer((request, response) => {
    asked.push(request.url);
    const file = path.join(work, decodeURIComponent(new URL(request.url, "http://x").pathname));
    if (!file.startsWith(work) || !fs.existsSync(file)) return response.writeHead(404).end();
    response.writeHead(200, { "content-type": types[path.extname(file)] || "application/octet-stream" });
    response.end(fs.readFileSync(file));
  });
  await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
  const browser = await launch();
  try {
    const page = await browser.newPage();
    await page.goto(`http://127.0.0.1:${server.address().port}/index.html`);
    const answer = await page.evaluate((sample, broken) => new Promise((resolve, reject) => {
      const worker = new Worker("browser-worker.mjs", { type: "module" });
      worker.onmessage = ({ data }) => resolve(data);
      worker.onerror = (event) => reject(new Error(event.message || "the worker failed"));
      worker.postMessage({ sample, broken });
    }), [...fs.readFileSync(path.join(work, "sample.xml"))], [...fs.readFileSync(path.join(work, "broken.xml"))]);
    assert.ok(Buffer.from(answer.json).equals(converted("sample.xml", "out.json", [])));
    assert.deepEqual(answer.failure, { name: "RizErozError", message: tool("info", "broken.xml").stderr.trim() });
  } finally {
    await browser.close();
    server.close();
  }
  assert.deepEqual([...new Set(asked)].sort(), ["/browser-worker.mjs", "/index.html", "/node_modules/rizeroz/index.js",
    "/node_modules/rizeroz/rizeroz-module.js", "/node_modules/rizeroz/rizeroz-wasm.js"]);
});

// Bundled by esbuild (pinned in tests/npm's lock file) as an application that uses the
// package is, for browsers (index.js, no module of Node's in it) and for Node (node.js):
// each bundle is one file that, away from node_modules, reads and writes as the tool does.
test("bundled by esbuild, for browsers and for Node, the package reads and writes alone", async () => {
  const { build } = await import("esbuild");
  fs.writeFileSync(path.join(work, "bundled.mjs"), `import { read, write } from "rizeroz";
export async function run(source) { return write(await read(source, { name: "sample.xml" }), { format: "json" }); }
`);
  const alone = fs.mkdtempSync(path.join(os.tmpdir(), "rizeroz-bundle-"));
  const wanted = converted("sample.xml", "out.json", []);
  for (const platform of ["browser", "node"]) {
    const outfile = path.join(alone, `${platform}.mjs`);
    await build({ entryPoints: [path.join(work, "bundled.mjs")], bundle: true, format: "esm", platform, outfile,
      logLevel: "silent" });
    assert.equal(fs.readFileSync(outfile, "utf8").includes("node:"), platform === "node", platform);
    const { run } = await import(pathToFileURL(outfile));
    const sample = path.join(work, "sample.xml");
    const written = await run(platform === "node" ? sample : new Uint8Array(fs.readFileSync(sample)));
    assert.ok(Buffer.from(written).equals(wanted), platform);
  }
  assert.deepEqual(fs.readdirSync(alone).sort(), ["browser.mjs", "node.mjs"]);
  fs.rmSync(alone, { recursive: true });
});

// The declarations under tsc --strict: a program that uses the package as documented
// compiles, and misuses that they must catch are caught (@ts-expect-error fails where
// nothing is wrong).
test("the declarations pass tsc --strict", () => {
  fs.writeFileSync(path.join(work, "consumer.ts"), `
import { describeCode, read, RizErozError, write, type Model } from "rizeroz";

async function main(): Promise<void> {
  const model: Model = await read("sample.xml", { warnings: true, format: "xml" });
  const width: number = model.fields[0].blocks[0].rowWidth;
  const row: Uint8Array = model.fields[0].blocks[0].rows[0];
  const name: string | null = model.fields[0].name;
  const warnings: number = (model.warnings ?? []).length + (model.warningsOmitted ?? 0);
  const bytes: Uint8Array = await write(model, { format: "json", expressions: false });
  await read(bytes, { name: "again.json" });
  await read(new Blob(["<SVF_Plus_Data/>"]));
  const meaning: string = await describeCode(-1);
  try {
    await write({ fields: [{ name: null, checksum: 0, blocks: [{ rowWidth: 8, rows: [new Uint8Array(1)] }] }] });
  } catch (failure) {
    if (failure instanceof RizErozError) console.log(failure.code, failure.line, failure.column, failure.message);
  }
  // @ts-expect-error: a format is "xml" or "json"
  await write(model, { format: "yaml" });
  // @ts-expect-error: the width is a number
  model.fields[0].blocks[0].rowWidth.toUpperCase();
  // @ts-expect-error: a name may be null
  model.fields[0].name.length;
  // @ts-expect-error: rows are bytes
  await write({ fields: [{ name: "A", checksum: 0, blocks: [{ rowWidth: 8, rows: ["FF"] }] }] });
  console.log(width, row, name, warnings, meaning);
}
void main();
`);
  const tsc = path.join(HERE, "node_modules/typescript/bin/tsc");
  const result = spawnSync(process.execPath, [tsc, "--strict", "--noEmit", "--target", "es2022", "--module", "nodenext",
    "--moduleResolution", "nodenext", "--lib", "es2022,dom", "consumer.ts"], { cwd: work, encoding: "utf8" });
  assert.equal(result.status, 0, result.stdout + result.stderr);
});
