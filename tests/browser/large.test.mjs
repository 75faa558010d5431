// 180 photo-like frames of 2000 x 1500 (about 55 MB) served over HTTP: what a shop's product page carries.
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import fs from "node:fs";
import path from "node:path";
import {
  fillTemplate,
  hasFfmpeg,
  launchBrowser,
  makeTempDir,
  paintedBox,
  removeTempDirs,
  renderFramesInBrowser,
  renderFramesWithFfmpeg,
  startServer,
  templatePath,
} from "./helpers.mjs";

const N = 180, WIDTH = 2000, HEIGHT = 1500;
let browser, server, dir;

before(async () => {
  browser = await launchBrowser();
  dir = makeTempDir("turnlet-large-");
  const frames = path.join(dir, "frames");
  if (hasFfmpeg()) renderFramesWithFfmpeg(frames, N, WIDTH, HEIGHT);
  else {
    fs.mkdirSync(frames);
    await renderFramesInBrowser(browser, frames, N, WIDTH, HEIGHT, { type: "jpg" });
  }
  const html = fillTemplate(fs.readFileSync(templatePath, "utf8"), { items: N, type: "jpg", width: WIDTH, height: HEIGHT });
  const spacer = '<div style="height:3000px"></div>';
  fs.writeFileSync(path.join(frames, "index.html"), html);
  fs.writeFileSync(path.join(frames, "below.html"), html.replace("<body>", "<body>" + spacer));
  fs.writeFileSync(path.join(frames, "above.html"), html.replace("</body>", spacer + "</body>"));
  server = await startServer(dir);
});

after(async () => {
  if (server) await server.close();
  if (browser) await browser.close();
  removeTempDirs();
});

async function open(rel, init) {
  const context = await browser.newContext({ viewport: { width: 1280, height: 800 } });
  if (init) await context.addInitScript(init);
  const page = await context.newPage();
  const cdp = await context.newCDPSession(page);
  await cdp.send("Performance.enable");
  await page.goto(server.url + rel);
  return { context, page, cdp };
}
const mainThreadSeconds = async (cdp) =>
  (await cdp.send("Performance.getMetrics")).metrics.find((m) => m.name === "TaskDuration").value;

test("below the fold only the first frame is fetched", async () => {
  const { context, page } = await open("frames/below.html");
  try {
    await page.waitForFunction(() => turnletViewer.loaded === 1);
    await page.waitForTimeout(1500);
    assert.deepEqual([...server.sent.keys()].filter((p) => p.endsWith(".jpg")), ["/frames/0001.jpg"]);
  } finally {
    await context.close();
  }
});

test("each frame decoded once off the main thread; drag at full frame rate; idle out of sight", async () => {
  const { context, page, cdp } = await open("frames/above.html");
  try {
    await page.waitForFunction(() => turnletViewer.loaded === turnletViewer.total, null, { timeout: 120000, polling: 200 });
    const loaded = await page.evaluate(() => turnletViewer.stats);
    assert.equal(loaded.decodes, N, "every frame decoded exactly once");
    assert.ok(loaded.mainDecodes <= 1, `${loaded.mainDecodes} frames decoded on the main thread`);
    const budget = await page.evaluate(() => Math.min(512, Math.max(64, (navigator.deviceMemory || 4) * 64)) * 1048576);
    assert.ok(loaded.cacheBytes <= budget, `cache ${loaded.cacheBytes} over budget ${budget}`);
    const p = await paintedBox(page);
    assert.ok(Math.abs(loaded.cacheBytes / (N * p.w * p.h * 4) - 1) < 0.01, `frames cached at ${loaded.cacheBytes / N} bytes, drawn ${p.w}x${p.h}`);

    // Drag back and forth for two seconds, one mouse move every 16 ms, each a frame or more apart.
    const v = await page.locator(".turnlet-view").boundingBox();
    const y = v.y + v.height / 2;
    let x = v.x + v.width * 0.2;
    await page.mouse.move(x, y);
    await page.mouse.down();
    await page.evaluate(() => {
      window.__long = 0;
      new PerformanceObserver((list) => (window.__long += list.getEntries().length)).observe({ type: "longtask" });
    });
    const sample = page.evaluate(
      () =>
        new Promise((done) => {
          const times = [];
          const tick = (t) => {
            times.push(t);
            if (t - times[0] < 2000) requestAnimationFrame(tick);
            else done(((times.length - 1) * 1000) / (t - times[0]));
          };
          requestAnimationFrame(tick);
        }),
    );
    const moves = [];
    const t0 = Date.now();
    for (let k = 1, dir = 1; Date.now() - t0 < 2000; k++) {
      x += dir * 8;
      if (x > v.x + v.width * 0.8 || x < v.x + v.width * 0.2) dir = -dir;
      moves.push(cdp.send("Input.dispatchMouseEvent", { type: "mouseMoved", x, y, button: "left", buttons: 1 }));
      await new Promise((ok) => setTimeout(ok, Math.max(0, t0 + k * 16 - Date.now())));
    }
    await Promise.all(moves);
    const fps = await sample;
    await page.mouse.up();
    const dragged = await page.evaluate(() => ({ ...turnletViewer.stats, long: window.__long }));
    console.log(`drag: ${fps.toFixed(1)} fps, ${dragged.long} long tasks`);
    assert.equal(dragged.decodes, loaded.decodes, "no frame decoded again while dragging");
    assert.equal(dragged.standIns, loaded.standIns, "every frame shown was in hand");
    assert.ok(dragged.long <= 3, `${dragged.long} long main-thread tasks while dragging`);
    assert.ok(fps >= 45, `drag at ${fps.toFixed(1)} fps`);

    // Playing, then scrolled out of sight: the main thread rests.
    await page.evaluate(() => turnletViewer.play());
    await page.waitForTimeout(300);
    await page.evaluate(() => scrollTo(0, document.body.scrollHeight));
    await page.waitForTimeout(300);
    const frame = await page.evaluate(() => turnletViewer.frame);
    const busy0 = await mainThreadSeconds(cdp);
    await page.waitForTimeout(2000);
    const busy = ((await mainThreadSeconds(cdp)) - busy0) / 2;
    console.log(`out of sight: main thread ${(busy * 100).toFixed(1)} % busy`);
    assert.ok(busy < 0.05, `main thread ${(busy * 100).toFixed(1)} % busy with the viewer out of sight`);
    assert.equal(await page.evaluate(() => turnletViewer.frame), frame);
    assert.equal(await page.evaluate(() => turnletViewer.playing), true, "playing resumes when seen again");
  } finally {
    await context.close();
  }
});

test("a device with little memory: every frame still in hand, smaller, and the resting frame sharp", async () => {
  const { context, page } = await open("frames/index.html", () =>
    Object.defineProperty(Navigator.prototype, "deviceMemory", { get: () => 0.5 }),
  );
  try {
    await page.waitForFunction(() => turnletViewer.loaded === turnletViewer.total, null, { timeout: 120000, polling: 200 });
    await page.evaluate(() => turnletViewer.pause());
    await page.waitForFunction(() => turnletViewer.stats.stills > 0, null, { timeout: 10000 });
    const s = await page.evaluate(() => turnletViewer.stats);
    assert.ok(s.cacheBytes <= 64 * 1048576, `cache ${s.cacheBytes} over 64 MB`);
    assert.ok(s.cacheScale < 0.5, `scale ${s.cacheScale}`);
    for (const frame of [90, 179, 0]) {
      await page.evaluate((f) => turnletViewer.goTo(f), frame);
      await page.evaluate(() => new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(done))));
      assert.equal(await page.evaluate(() => turnletViewer.shown), frame, "no frame dropped from the cache");
    }
    assert.equal((await page.evaluate(() => turnletViewer.stats)).decodes, N, "no frame decoded twice");
  } finally {
    await context.close();
  }
});
