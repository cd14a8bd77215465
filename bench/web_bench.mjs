// Times opening a file in the viewer page (web/) in headless Chromium against the native
// `rizeroz info` of it: docs/performance.md, "The viewer page". Each round opens the file in
// a fresh page (the module's memory new, as a person opening the page meets it) and then
// once more in the same page; the page notes how long each open took, from the file chosen
// to its fields listed and its first mask drawn, and its parts (loading the file into the
// module's memory, the library's read, the summary).
// Usage: node bench/web_bench.mjs --tool RIZEROZ --site SITE --file FILE [--rounds N]
import { spawnSync } from "node:child_process";
import path from "node:path";
import { parseArgs } from "node:util";
import { pathToFileURL } from "node:url";
import { chooseFile, launch, openPage } from "../tests/web/browser.mjs";

const { values } = parseArgs({ options: { tool: { type: "string" }, site: { type: "string" }, file: { type: "string" },
  rounds: { type: "string", default: "5" } } });
const rounds = Number(values.rounds);

function nativeInfo() {
  const started = process.hrtime.bigint();
  const run = spawnSync(values.tool, ["info", values.file], { stdio: ["ignore", "ignore", "inherit"] });
  if (run.status !== 0) throw new Error(`rizeroz info failed (${run.status})`);
  return Number(process.hrtime.bigint() - started) / 1e6;
}

async function timings(page) {
  if ((await chooseFile(page, values.file)) !== "shown") throw new Error("the page did not open the file");
  return page.evaluate(() => JSON.parse(document.body.dataset.timings));
}

const best = (list, key) => Math.min(...list.map((entry) => (key ? entry[key] : entry)));
const median = (list, key) => list.map((entry) => entry[key]).sort((a, b) => a - b)[Math.floor(list.length / 2)];

const native = [];
const fresh = [];
const again = [];
const browser = await launch();
try {
  const url = pathToFileURL(path.join(values.site, "index.html")).href;
  for (let round = 0; round < rounds; ++round) {
    native.push(nativeInfo());
    const page = await openPage(browser, url);
    fresh.push(await timings(page));
    again.push(await timings(page));
    await page.close();
  }
} finally {
  await browser.close();
}
const info = best(native);
console.log(`file: ${values.file}, ${rounds} rounds, best and median (ms)`);
console.log(`native rizeroz info: best ${info.toFixed(0)}`);
for (const [name, list] of [["page, fresh", fresh], ["page, opened again", again]]) {
  const parts = ["load", "read", "summary"].map((key) => `${key} ${best(list, key).toFixed(0)}`).join(", ");
  console.log(`${name}: best ${best(list, "shown").toFixed(0)} (${(best(list, "shown") / info).toFixed(2)} x info), ` +
    `median ${median(list, "shown").toFixed(0)}; best parts: ${parts}`);
}
