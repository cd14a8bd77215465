// Times opening a file in the viewer page (web/) in headless Chromium against the native
// `rizeroz info` of it: docs/performance.md, "The viewer page". Each round opens the file in
// a fresh page (the module's memory new, as a person opening the page meets it) and then
// once more in the same page; the page notes how long each open took, from the file chosen
// to its fields listed and its first mask drawn, and its parts (the time the read waited
// for the browser's loading of the file, the library's read, loading included, and the
// summary).
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

// Each round opens the file both ways the page reads: pulled in pieces while the browser
// loads the next ones (where the browser can suspend WebAssembly, as Chromium can), and
// loaded whole first (the way of a browser that cannot).
const WAYS = [["pieces", false], ["loaded whole", true]];
const native = [];
const times = Object.fromEntries(WAYS.map(([way]) => [way, { fresh: [], again: [], warmUp: [] }]));
const browser = await launch();
try {
  const url = pathToFileURL(path.join(values.site, "index.html")).href;
  for (let round = 0; round < rounds; ++round) {
    native.push(nativeInfo());
    for (const [way, whole] of WAYS) {
      const page = await openPage(browser, url, { whole });
      times[way].warmUp.push(await page.evaluate(() => Number(document.body.dataset.warmUp)));
      times[way].fresh.push(await timings(page));
      times[way].again.push(await timings(page));
      await page.close();
    }
  }
} finally {
  await browser.close();
}
const info = best(native);
console.log(`file: ${values.file}, ${rounds} rounds, best and median (ms)`);
console.log(`native rizeroz info: best ${info.toFixed(0)}, median ${[...native].sort((a, b) => a - b)[Math.floor(rounds / 2)].toFixed(0)}`);
for (const [way] of WAYS) {
  const warmUp = [...times[way].warmUp].sort((a, b) => a - b)[Math.floor(rounds / 2)];
  console.log(`page (${way}): warm-up on starting, median ${warmUp.toFixed(0)}`);
  for (const [name, list] of [["fresh", times[way].fresh], ["opened again", times[way].again]]) {
    const parts = ["waited", "read", "summary"].map((key) => `${key} ${best(list, key).toFixed(0)}`).join(", ");
    console.log(`page (${way}), ${name}: best ${best(list, "shown").toFixed(0)} (${(best(list, "shown") / info).toFixed(2)} x info), ` +
      `median ${median(list, "shown").toFixed(0)}; best parts: ${parts}`);
  }
}
