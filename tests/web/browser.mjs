// Headless Chromium for the viewer page's tests and benchmark: Debian's browser
// (/usr/bin/chromium, or RIZEROZ_CHROMIUM), driven by puppeteer-core, in a new empty
// profile that is removed again. Every request the page makes is noted: the page may load
// only its own files.
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import puppeteer from "puppeteer-core";

const FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
  "--disable-background-networking", "--disable-component-update", "--disable-sync"];

export async function launch() {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), "rizeroz-chromium-"));
  const browser = await puppeteer.launch({
    executablePath: process.env.RIZEROZ_CHROMIUM || "/usr/bin/chromium",
    userDataDir: profile,
    // RIZEROZ_CHROMIUM_FLAGS: more flags, for trying the benchmark under other settings.
    args: [...FLAGS, ...(process.env.RIZEROZ_CHROMIUM_FLAGS || "").split(" ").filter(Boolean)],
  });
  const close = browser.close.bind(browser);
  browser.close = async () => {
    await close();
    fs.rmSync(profile, { recursive: true, force: true });
  };
  return browser;
}

// A new page of `viewport` at `url`, its worker started. `requests` gets every URL the page
// asks for; downloads go to `downloads`. With `whole`, the worker is made without
// JavaScript promise integration, as in a browser that lacks it: it loads a file whole
// before reading it. With `dark`, the page is told that the system prefers dark colours.
export async function openPage(browser, url, { viewport = { width: 1366, height: 768 }, downloads, requests = [],
  whole = false, dark = false } = {}) {
  const page = await browser.newPage();
  if (dark) await page.emulateMediaFeatures([{ name: "prefers-color-scheme", value: "dark" }]);
  if (whole) {
    await page.evaluateOnNewDocument(() => {
      const NativeBlob = Blob;
      window.Blob = function (parts, options) {
        const script = options && options.type === "text/javascript";
        return new NativeBlob(script ? ["delete WebAssembly.Suspending;", ...parts] : parts, options);
      };
    });
  }
  page.on("request", (request) => requests.push(request.url()));
  await page.setViewport(viewport);
  if (downloads) {
    const session = await page.createCDPSession();
    await session.send("Browser.setDownloadBehavior", { behavior: "allow", downloadPath: downloads });
  }
  await page.goto(url);
  await page.waitForSelector("body[data-state=ready]", { timeout: 20000 });
  return page;
}

// Chooses `file` with the page's open (slot 0) or compare (slot 1) control and waits until
// the page shows it or its failure.
export async function chooseFile(page, file, slot = 0) {
  await page.evaluate(() => { document.body.dataset.state = "choosing"; });
  const input = await page.$(slot === 0 ? "#open-input" : "#compare-input");
  await input.uploadFile(file);
  await page.waitForFunction(() => ["shown", "failed"].includes(document.body.dataset.state), { timeout: 60000 });
  return page.evaluate(() => document.body.dataset.state);
}
