// Measures viewer pages in headless Chromium (software rendering) and prints one table:
//   node measure.mjs [--before OLD_TEMPLATE] [--after TEMPLATE] [--sets 72x1000,180x2000] [--mbit 10]
// Frames are FFmpeg test patterns with grain (JPEG, 4:3), cached in the temp folder between runs.
// Ratios between templates measured in the same run are what count; absolute figures depend on the machine.
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import { fillTemplate, launchBrowser, renderFramesWithFfmpeg, startServer, templatePath } from "./helpers.mjs";

const args = Object.fromEntries(
  process.argv.slice(2).reduce((pairs, a, i, all) => (a.startsWith("--") ? [...pairs, [a.slice(2), all[i + 1]]] : pairs), []),
);
const templates = [];
if (args.before) templates.push(["before", args.before]);
templates.push(["after", args.after || templatePath]);
const sets = (args.sets || "72x1000,180x2000").split(",").map((s) => s.split("x").map(Number));
const mbit = Number(args.mbit || 10);
const sleep = (ms) => new Promise((ok) => setTimeout(ok, ms));

// Counts the viewer's canvas draws and samples the frame rate through requestAnimationFrame.
const probe = () => {
  const draw = CanvasRenderingContext2D.prototype.drawImage;
  window.__probe = { draws: 0, firstDraw: 0 };
  CanvasRenderingContext2D.prototype.drawImage = function (...a) {
    window.__probe.draws++;
    if (!window.__probe.firstDraw) window.__probe.firstDraw = performance.now();
    return draw.apply(this, a);
  };
  window.__fps = (ms) =>
    new Promise((done) => {
      const times = [];
      const d0 = window.__probe.draws;
      const tick = (t) => {
        times.push(t);
        if (t - times[0] < ms) requestAnimationFrame(tick);
        else {
          const gaps = times.slice(1).map((x, i) => x - times[i]);
          done({
            fps: ((times.length - 1) * 1000) / (t - times[0]),
            draws: ((window.__probe.draws - d0) * 1000) / (t - times[0]),
            worst: Math.max(...gaps),
          });
        }
      };
      requestAnimationFrame(tick);
    });
};

function writePages(dir, template, count, w, h) {
  const html = fillTemplate(fs.readFileSync(template, "utf8"), { items: count, type: "jpg", width: w, height: h });
  const spacer = '<div style="height:3000px"></div>';
  fs.writeFileSync(path.join(dir, "index.html"), html);
  fs.writeFileSync(path.join(dir, "below.html"), html.replace(/<body>/, "<body>" + spacer));
  fs.writeFileSync(path.join(dir, "above.html"), html.replace(/<\/body>/, spacer + "</body>"));
}

async function open(browser, url, viewport = { width: 1280, height: 800 }, scale = 1) {
  const context = await browser.newContext({ viewport, deviceScaleFactor: scale });
  await context.addInitScript(probe);
  const page = await context.newPage();
  const cdp = await context.newCDPSession(page);
  await cdp.send("Performance.enable");
  await page.goto(url);
  return { context, page, cdp };
}
const allLoaded = (page, timeout = 180000) =>
  page.waitForFunction(() => window.turnletViewer && turnletViewer.total > 0 && turnletViewer.loaded === turnletViewer.total, null, {
    timeout,
    polling: 50,
  });
const taskSeconds = async (cdp) => (await cdp.send("Performance.getMetrics")).metrics.find((m) => m.name === "TaskDuration").value;

// Moves are sent every 16 ms without waiting for each to be handled, as a real mouse does.
async function drag(page, cdp, ms) {
  const r = await page.evaluate(() => {
    const v = document.querySelector("canvas").parentElement.getBoundingClientRect();
    return { left: v.left, width: v.width, top: v.top, height: v.height };
  });
  const y = r.top + r.height / 2;
  let x = r.left + r.width * 0.2;
  await page.mouse.move(x, y);
  await page.mouse.down();
  const sample = page.evaluate((ms) => window.__fps(ms), ms);
  const t0 = Date.now();
  const moves = [];
  let dir = 1;
  for (let k = 1; Date.now() - t0 < ms; k++) {
    x += dir * 8;
    if (x > r.left + r.width * 0.8 || x < r.left + r.width * 0.2) dir = -dir;
    moves.push(cdp.send("Input.dispatchMouseEvent", { type: "mouseMoved", x, y, button: "left", buttons: 1 }));
    const wait = t0 + k * 16 - Date.now();
    if (wait > 0) await sleep(wait);
  }
  await Promise.all(moves);
  const result = await sample;
  await page.mouse.up();
  return result;
}

async function measure(browser, root, base) {
  const row = {};
  // Loading over a throttled link, viewer in view.
  let server = await startServer(root, { bitsPerSecond: mbit * 1e6, latencyMs: 20 });
  let s = await open(browser, server.url + base + "/index.html");
  await s.page.waitForFunction(() => window.__probe.firstDraw > 0, null, { timeout: 60000, polling: 20 });
  row.firstFrame = await s.page.evaluate(() => window.__probe.firstDraw);
  await allLoaded(s.page);
  row.allLoaded = await s.page.evaluate(() => performance.now());
  await s.context.close();
  await server.close();

  // Below the fold: what is fetched without scrolling, over a fast link.
  server = await startServer(root);
  s = await open(browser, server.url + base + "/below.html");
  let last = -1;
  for (let quiet = 0; quiet < 2000; quiet += 250) {
    await sleep(250);
    const now = server.bytes((p) => p.endsWith(".jpg"));
    if (now !== last) quiet = 0;
    last = now;
  }
  row.belowBytes = last;
  await s.context.close();

  // Autoplay in view, then main-thread load once the viewer is scrolled out of view.
  s = await open(browser, server.url + base + "/above.html");
  await allLoaded(s.page);
  await sleep(1000);
  row.autoplay = await s.page.evaluate(() => window.__fps(3000));
  await s.page.evaluate(() => window.scrollTo(0, document.body.scrollHeight));
  await sleep(500);
  const t0 = await taskSeconds(s.cdp);
  const w0 = Date.now();
  await sleep(4000);
  row.offscreenBusy = ((await taskSeconds(s.cdp)) - t0) / ((Date.now() - w0) / 1000);
  await s.context.close();

  // Dragging on a desktop and on a phone-sized screen.
  s = await open(browser, server.url + base + "/index.html");
  await allLoaded(s.page);
  await sleep(500);
  row.dragDesktop = await drag(s.page, s.cdp, 3000);
  await s.context.close();
  s = await open(browser, server.url + base + "/index.html", { width: 375, height: 667 }, 2);
  await allLoaded(s.page);
  await sleep(500);
  row.dragPhone = await drag(s.page, s.cdp, 3000);
  await s.context.close();
  await server.close();
  return row;
}

const browser = await launchBrowser();
const results = [];
try {
  for (const [count, width] of sets) {
    const height = (width * 3) / 4;
    const root = path.join(os.tmpdir(), `turnlet-measure-${count}x${width}`);
    if (!fs.existsSync(path.join(root, "frames", String(count).padStart(4, "0") + ".jpg"))) {
      renderFramesWithFfmpeg(path.join(root, "frames"), count, width, height);
    }
    for (const [label, template] of templates) {
      const dir = path.join(root, "frames");
      writePages(dir, template, count, width, height);
      const megabytes = fs.readdirSync(dir).filter((n) => n.endsWith(".jpg")).reduce((s, n) => s + fs.statSync(path.join(dir, n)).size, 0) / 1e6;
      const row = await measure(browser, root, "frames");
      results.push({ set: `${count} x ${width}x${height} (${megabytes.toFixed(1)} MB)`, label, ...row });
      console.error(label, count, width, JSON.stringify(row));
    }
  }
} finally {
  await browser.close();
}

const f0 = (x) => x.toFixed(0);
console.log(`| Frames | Page | First frame (${mbit} Mbit/s) | All loaded | Drag fps desktop / phone (draws/s, worst gap) | Autoplay fps (worst gap) | Main thread busy off-screen | Bytes fetched below the fold |`);
console.log("|---|---|---|---|---|---|---|---|");
for (const r of results) {
  const d = (x) => `${f0(x.fps)} (${f0(x.draws)}/s, ${f0(x.worst)} ms)`;
  console.log(
    `| ${r.set} | ${r.label} | ${f0(r.firstFrame)} ms | ${(r.allLoaded / 1000).toFixed(1)} s | ${d(r.dragDesktop)} / ${d(r.dragPhone)} | ` +
      `${f0(r.autoplay.fps)} (${f0(r.autoplay.worst)} ms) | ${(r.offscreenBusy * 100).toFixed(1)} % | ${(r.belowBytes / 1e6).toFixed(2)} MB |`,
  );
}
if (args.json) fs.writeFileSync(args.json, JSON.stringify(results, null, 2));
