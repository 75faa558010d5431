// What shops measure: the first paint over a slow link, every frame type the export writes, the zoom set fetched
// only when zoomed, phones (capped pixel density, double tap) and the play modes. Exported pages come from the
// built turnlet-export (TURNLET_BIN_DIR, else build/release/bin), so they carry the template beside it.
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import fs from "node:fs";
import path from "node:path";
import { fileURLToPath } from "node:url";
import {
  fillTemplate,
  hasFfmpeg,
  launchBrowser,
  makeTempDir,
  nextPaint,
  outDir,
  removeTempDirs,
  renderFramesInBrowser,
  renderFramesWithFfmpeg,
  startServer,
  templatePath,
  throttle,
  watchFaults,
} from "./helpers.mjs";

const here = path.dirname(fileURLToPath(import.meta.url));
const binDir = process.env.TURNLET_BIN_DIR || path.resolve(here, "../../build/release/bin");
const haveExporter = fs.existsSync(path.join(binDir, "turnlet-export")) && fs.existsSync(path.join(binDir, "turnlet-make-sample"));
let browser, server, dir, sample;

before(async () => {
  browser = await launchBrowser();
  dir = makeTempDir("turnlet-shop-");
  server = await startServer(dir);
  if (haveExporter) {
    sample = path.join(dir, "sample");
    const run = spawnSync(path.join(binDir, "turnlet-make-sample"), [sample, "--frames", "24", "--width", "1500", "--height", "1500"],
      { encoding: "utf8" });
    assert.equal(run.status, 0, run.stderr);
  }
});

after(async () => {
  if (server) await server.close();
  if (browser) await browser.close();
  removeTempDirs();
});

// The sample turn exported into dir/name as the editor would with these project values and flags.
function exportSample(name, values, flags = []) {
  let project = fs.readFileSync(path.join(sample, "sample.trn.prj"), "utf8");
  const all = { CROP_LEFT: 125, CROP_TOP: 125, CROP_WIDTH: 1250, CROP_HEIGHT: 1250, EXPORT_FRAMES: 24, ...values };
  for (const [key, value] of Object.entries(all)) project = project.replace(new RegExp(`^${key}=.*$`, "m"), `${key}=${value}`);
  const file = path.join(sample, name + ".trn.prj");
  fs.writeFileSync(file, project);
  const run = spawnSync(path.join(binDir, "turnlet-export"), [file, "--output", path.join(dir, name), "--quiet", ...flags],
    { encoding: "utf8" });
  assert.equal(run.status, 0, run.stderr);
  return name + "/index.html";
}

async function open(rel, options = {}, init) {
  const context = await browser.newContext({ viewport: { width: 800, height: 700 }, ...options });
  if (init) await context.addInitScript(init);
  const page = await context.newPage();
  const faults = watchFaults(page);
  await page.goto(server.url + rel);
  return { context, page, faults };
}
const allLoaded = (page, timeout = 30000) =>
  page.waitForFunction(() => window.turnletViewer && turnletViewer.loaded === turnletViewer.total, null, { timeout });
const fetched = (part) => [...server.sent.keys()].filter((p) => p.includes(part)).sort();
const state = (page) => page.evaluate(() => ({ frame: turnletViewer.frame, playing: turnletViewer.playing, zoom: turnletViewer.zoom }));

// Opens rel over a 10 Mbit/s link with 40 ms latency and returns when its largest paint was, after checking that
// it is the first frame's image (url), fetched before any other frame, that nothing moved, and that the canvas
// took over.
async function firstPaint(rel, url) {
  const context = await browser.newContext({ viewport: { width: 1280, height: 800 } });
  await context.addInitScript(() => {
    window.__lcp = [];
    window.__shifts = [];
    new PerformanceObserver((list) => {
      for (const e of list.getEntries()) window.__lcp.push({ t: e.startTime, tag: e.element && e.element.tagName, url: e.url });
    }).observe({ type: "largest-contentful-paint", buffered: true });
    new PerformanceObserver((list) => {
      for (const e of list.getEntries()) if (!e.hadRecentInput) window.__shifts.push(e.value);
    }).observe({ type: "layout-shift", buffered: true });
  });
  try {
    const page = await context.newPage();
    const faults = watchFaults(page);
    const requests = [];
    page.on("request", (r) => requests.push(new URL(r.url()).pathname));
    await throttle(await context.newCDPSession(page), 10, 40);
    await page.goto(server.url + rel);
    await page.waitForFunction(() => window.turnletViewer && turnletViewer.shown >= 0, null, { timeout: 30000 });
    await page.waitForTimeout(1500);
    const { lcp, shifts } = await page.evaluate(() => ({ lcp: window.__lcp, shifts: window.__shifts }));
    const last = lcp[lcp.length - 1];
    assert.equal(last.tag, "IMG", JSON.stringify(lcp));
    assert.match(last.url, url);
    assert.deepEqual(shifts, [], "no layout shift");
    assert.match(requests.find((p) => /\.(jpg|png|webp|avif)$/.test(p)), url, "the first frame is fetched first");
    assert.deepEqual(faults, []);
    return last.t;
  } finally {
    await context.close();
  }
}

test("first paint: the first frame of the markup, within 1 s over 10 Mbit/s and 40 ms, and nothing moves", async () => {
  const frames = path.join(dir, "lcp");
  const WIDTH = 1000, HEIGHT = 1000, N = 72;
  if (hasFfmpeg()) renderFramesWithFfmpeg(frames, N, WIDTH, HEIGHT);
  else {
    fs.mkdirSync(frames, { recursive: true });
    await renderFramesInBrowser(browser, frames, N, WIDTH, HEIGHT, { type: "jpg" });
  }
  fs.writeFileSync(path.join(frames, "index.html"),
    fillTemplate(fs.readFileSync(templatePath, "utf8"), { items: N, type: "jpg", width: WIDTH, height: HEIGHT }));
  // Three loads, each in a fresh context: the median is the figure (a shared machine's load moves single runs).
  const times = [];
  for (let run = 0; run < 3; run++) times.push(await firstPaint("lcp/index.html", /\/lcp\/0001\.jpg$/));
  times.sort((a, b) => a - b);
  console.log(`first paint: largest paint ${times.map((t) => t.toFixed(0)).join(", ")} ms (median ${times[1].toFixed(0)})`);
  assert.ok(times[1] <= 1000, `largest paint at ${times[1].toFixed(0)} ms`);

  // Without script the first frame is there all the same, at the viewer's size.
  const plain = await browser.newContext({ viewport: { width: 1280, height: 800 }, javaScriptEnabled: false });
  try {
    const page = await plain.newPage();
    await page.goto(server.url + "lcp/index.html");
    await page.waitForFunction(() => document.querySelector("img").complete);
    const img = await page.$eval("img", (el) => ({ natural: el.naturalWidth, width: el.getBoundingClientRect().width }));
    assert.equal(img.natural, WIDTH);
    assert.ok(Math.abs(img.width - (800 - 32 - 66.8)) < 1, `shown ${img.width} px wide`);
  } finally {
    await plain.close();
  }
});

test("every frame type the export writes shows in the viewer as the browser decodes it", { skip: !haveExporter }, async () => {
  for (const [type, name] of [["JPEG", "jpg"], ["PNG", "png"], ["WEBP", "webp"], ["AVIF", "avif"]]) {
    const rel = exportSample("type-" + name, { EXPORT_TYPE: type, EXPORT_WIDTH: 300, EXPORT_HEIGHT: 300 }, ["--extra-sizes"]);
    const { context, page, faults } = await open(rel);
    try {
      await allLoaded(page);
      await page.evaluate(() => { turnletViewer.pause(); turnletViewer.goTo(5); });
      await page.waitForFunction(() => turnletViewer.shown === 5, null, { timeout: 5000 });
      await page.waitForTimeout(300);   // at rest: a sharper decode, if one is due, is drawn
      assert.equal(await page.evaluate(() => turnletViewer.failed), 0, name);
      // The canvas's mean colour is the frame's as the browser itself decodes the file.
      const [shown, file] = await page.evaluate(async (ext) => {
        const mean = (source, w, h) => {
          const c = new OffscreenCanvas(w, h), g = c.getContext("2d");
          g.drawImage(source, 0, 0, w, h);
          const d = g.getImageData(0, 0, w, h).data, m = [0, 0, 0];
          for (let i = 0; i < d.length; i += 4) for (let k = 0; k < 3; k++) m[k] += d[i + k] / (w * h);
          return m;
        };
        const canvas = document.querySelector(".turnlet-view canvas");
        const bmp = await createImageBitmap(await (await fetch("0006." + ext)).blob());
        return [mean(canvas, 64, 64), mean(bmp, 64, 64)];
      }, name);
      shown.forEach((v, k) => assert.ok(Math.abs(v - file[k]) < 3, `${name}: shown ${shown} against ${file}`));
      assert.deepEqual(faults, []);
    } finally {
      await context.close();
    }
  }
});

test("zoom set: fetched only for the frame in view, once zoomed past the double set; + and − buttons", { skip: !haveExporter }, async () => {
  const rel = exportSample("zoom", { EXPORT_TYPE: "AVIF", EXPORT_WIDTH: 320, EXPORT_HEIGHT: 320 }, ["--extra-sizes", "--zoom-set"]);
  assert.match(fs.readFileSync(path.join(dir, rel), "utf8"), /data-sets="half double zoom" data-zoom-width="1250"/);
  server.sent.clear();
  const { context, page, faults } = await open(rel);
  try {
    await allLoaded(page);
    await page.evaluate(() => turnletViewer.pause());
    const stills = () => page.evaluate(() => turnletViewer.stats.stills);
    const press = async (button, zoom) => {
      const before = await stills();
      await page.click(button);
      assert.equal((await state(page)).zoom, zoom);
      await page.waitForFunction((n) => turnletViewer.stats.stills > n, before, { timeout: 5000 });
    };
    assert.equal(await page.isDisabled(".turnlet-zoom-out"), true);
    assert.deepEqual(fetched("/zoom/zoom/"), []);
    await press(".turnlet-zoom-in", 1.5);   // 480 px: the double set is sharp enough
    assert.deepEqual(fetched("/zoom/zoom/"), []);
    const frame = (await state(page)).frame + 1;
    await press(".turnlet-zoom-in", 2.25);  // 720 px: past the double set's 640
    const name = String(frame).padStart(4, "0") + ".avif";
    assert.deepEqual(fetched("/zoom/zoom/"), ["/zoom/zoom/" + name]);
    await page.click(".turnlet-zoom-in");
    assert.equal((await state(page)).zoom, 3);
    assert.equal(await page.isDisabled(".turnlet-zoom-in"), true);
    for (const zoom of [2, 4 / 3, 1]) {
      await page.click(".turnlet-zoom-out");
      assert.ok(Math.abs((await state(page)).zoom - zoom) < 1e-9);
    }
    assert.equal(await page.isDisabled(".turnlet-zoom-out"), true);
    assert.equal(await page.isHidden(".turnlet-zoom-reset"), true);
    await page.waitForTimeout(500);
    assert.deepEqual(fetched("/zoom/zoom/"), ["/zoom/zoom/" + name], "no other zoom frame without zooming");
    assert.deepEqual(faults, []);
  } finally {
    await context.close();
  }
});

test("phone: pixel density capped at 2, a double tap zooms and another returns, a zoomed view looked at", { skip: !haveExporter }, async () => {
  const rel = exportSample("phone", { EXPORT_TYPE: "WEBP", EXPORT_WIDTH: 600, EXPORT_HEIGHT: 600 }, ["--extra-sizes", "--zoom-set"]);
  server.sent.clear();
  const { context, page, faults } = await open(rel, { viewport: { width: 390, height: 844 }, deviceScaleFactor: 3, isMobile: true, hasTouch: true });
  try {
    await allLoaded(page);
    await page.evaluate(() => turnletViewer.pause());
    const box = await page.locator(".turnlet-view").boundingBox();
    const sizes = await page.evaluate(() => ({ canvas: document.querySelector(".turnlet-view canvas").width, cache: turnletViewer.stats.cacheBytes }));
    assert.equal(sizes.canvas, Math.round(box.width * 2), "canvas at twice the CSS pixels, not three times");
    assert.ok(sizes.cache <= 24 * (box.width * 2) ** 2 * 4 * 1.02, `decoded frames take ${sizes.cache} bytes`);

    const cdp = await context.newCDPSession(page);
    const x = Math.round(box.x + box.width * 0.6), y = Math.round(box.y + box.height * 0.4);
    const tap = async () => {
      await cdp.send("Input.dispatchTouchEvent", { type: "touchStart", touchPoints: [{ x, y }] });
      await cdp.send("Input.dispatchTouchEvent", { type: "touchEnd", touchPoints: [] });
    };
    await tap();
    await page.waitForTimeout(60);
    await tap();
    await nextPaint(page);
    assert.equal((await state(page)).zoom, 2);
    assert.equal(await page.evaluate(() => document.fullscreenElement), null, "a double tap does not go full screen");
    await page.tap(".turnlet-zoom-in");
    assert.equal((await state(page)).zoom, 3);
    await page.waitForFunction(() => turnletViewer.stats.stills > 0, null, { timeout: 5000 });
    await page.waitForTimeout(300);
    assert.equal(fetched("/phone/zoom/").length, 1, "the zoomed frame comes from the zoom set");
    fs.mkdirSync(outDir, { recursive: true });
    await page.screenshot({ path: path.join(outDir, "phone-zoomed.png") });
    await page.waitForTimeout(400);   // a double tap is two quick taps; the + button's tap was long ago
    await tap();
    await page.waitForTimeout(60);
    await tap();
    await nextPaint(page);
    assert.equal((await state(page)).zoom, 1);
    assert.deepEqual(faults, []);
  } finally {
    await context.close();
  }
});

test("play modes: once and stop, resume after a rest, an explicit pause stays; the hint fades after the first drag", async () => {
  const frames = path.join(dir, "play");
  fs.mkdirSync(frames, { recursive: true });
  await renderFramesInBrowser(browser, frames, 12, 160, 120);
  const html = fillTemplate(fs.readFileSync(templatePath, "utf8"), { items: 12, type: "png", width: 160, height: 120 })
    .replace('data-sets=""', 'data-sets="" data-autoplay="once" data-turn-time="1" data-resume="1"');
  fs.writeFileSync(path.join(frames, "index.html"), html);
  const { context, page, faults } = await open("play/index.html", {}, () =>
    document.addEventListener("turnlet:framechange", () => (window.__changes = (window.__changes || 0) + 1)));
  try {
    await allLoaded(page);
    assert.equal((await state(page)).playing, true);
    await page.waitForFunction(() => !turnletViewer.playing, null, { timeout: 4000 });
    assert.equal((await state(page)).frame, 0, "one whole turn ends where it began");
    assert.ok((await page.evaluate(() => window.__changes)) >= 11, "every frame went by");

    // A drag that turns: the hint fades. Turning was over, so nothing resumes.
    const box = await page.locator(".turnlet-view").boundingBox();
    assert.equal(await page.$eval(".turnlet-hint", (el) => getComputedStyle(el).opacity), "1");
    await page.mouse.move(box.x + box.width * 0.3, box.y + box.height / 2);
    await page.mouse.down();
    await page.mouse.move(box.x + box.width * 0.6, box.y + box.height / 2, { steps: 8 });
    await page.waitForTimeout(150);
    await page.mouse.up();
    await page.waitForFunction(() => getComputedStyle(document.querySelector(".turnlet-hint")).opacity === "0", null, { timeout: 2000 });
    await page.waitForTimeout(1400);
    assert.equal((await state(page)).playing, false);

    // Interrupted while playing: it plays again after a second without a touch; a press of pause is final.
    await page.evaluate(() => turnletViewer.play());
    await page.waitForTimeout(200);
    await page.focus(".turnlet-view");
    await page.keyboard.press("ArrowRight");
    assert.equal((await state(page)).playing, false);
    await page.waitForFunction(() => turnletViewer.playing, null, { timeout: 2500 });
    await page.click(".turnlet-play");
    await page.waitForTimeout(1500);
    assert.equal((await state(page)).playing, false, "an explicit pause is not undone");

    // Two turns asked for by script: they end on the frame they started from.
    const start = (await state(page)).frame;
    await page.evaluate(() => turnletViewer.play(2));
    await page.waitForTimeout(1200);
    assert.equal((await state(page)).playing, true);
    await page.waitForFunction(() => !turnletViewer.playing, null, { timeout: 3000 });
    assert.equal((await state(page)).frame, start);
    assert.equal(await page.evaluate(() => turnletViewer.resumeDelay), 1);
    assert.deepEqual(faults, []);
  } finally {
    await context.close();
  }
});
