// What the browser tests and the measuring script share: Chromium, the template filled the way the export
// fills it, generated frames, and a loopback HTTP server that can count and throttle what it sends.
import { spawnSync } from "node:child_process";
import fs from "node:fs";
import http from "node:http";
import os from "node:os";
import path from "node:path";
import { fileURLToPath } from "node:url";
import { chromium } from "playwright-core";

const here = path.dirname(fileURLToPath(import.meta.url));
export const templatePath = process.env.TURNLET_VIEWER_TEMPLATE || path.resolve(here, "../../resources/Turnlet.html");
export const outDir = path.join(here, "out");
const chromiumPath = process.env.TURNLET_CHROMIUM || "/usr/bin/chromium";

export function launchBrowser() {
  return chromium.launch({
    executablePath: chromiumPath,
    headless: true,
    args: [
      "--no-sandbox",
      "--disable-gpu",
      "--no-first-run",
      "--disable-background-networking",
      "--disable-component-update",
      "--disable-sync",
      "--disable-quic",
    ],
  });
}

function replaceAll(text, search, replacement) {
  return text.split(search).join(replacement);
}

// Same order and rule as the export: every occurrence, [ITEMS] first, then [TYPE], [WIDTH], [HEIGHT].
export function fillTemplate(text, { items, type, width, height }) {
  text = replaceAll(text, "[ITEMS]", String(items));
  text = replaceAll(text, "[TYPE]", type);
  text = replaceAll(text, "[WIDTH]", String(width));
  text = replaceAll(text, "[HEIGHT]", String(height));
  return text;
}

export function frameFile(i, type) {
  return String(i + 1).padStart(4, "0") + "." + type;
}

const tempDirs = [];
export function makeTempDir(prefix = "turnlet-viewer-") {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), prefix));
  tempDirs.push(dir);
  return dir;
}
export function removeTempDirs() {
  for (const dir of tempDirs.splice(0)) fs.rmSync(dir, { recursive: true, force: true });
}

// Numbered frames drawn by the browser itself: a big frame number and a hand pointing at the angle.
// sizeOf(i) may give one frame another size.
export async function renderFramesInBrowser(browser, dir, count, width, height, { sizeOf, type = "png" } = {}) {
  const page = await browser.newPage();
  try {
    for (let start = 0; start < count; start += 50) {
      const sizes = [];
      for (let i = start; i < Math.min(count, start + 50); i++) sizes.push(sizeOf ? sizeOf(i) : [width, height]);
      const batch = await page.evaluate(
        ({ start, sizes, count, mime }) => {
          const canvas = document.createElement("canvas");
          const g = canvas.getContext("2d");
          return sizes.map(([width, height], k) => {
            const i = start + k;
            canvas.width = width;
            canvas.height = height;
            g.fillStyle = `hsl(${(i * 360) / count}, 55%, 88%)`;
            g.fillRect(0, 0, width, height);
            const r = Math.min(width, height) * 0.42;
            g.strokeStyle = "#333";
            g.lineWidth = Math.max(1, r * 0.03);
            g.beginPath();
            g.arc(width / 2, height / 2, r, 0, 2 * Math.PI);
            g.stroke();
            const a = (i / count) * 2 * Math.PI;
            g.strokeStyle = "#c0392b";
            g.lineWidth = Math.max(1, r * 0.06);
            g.beginPath();
            g.moveTo(width / 2, height / 2);
            g.lineTo(width / 2 + r * Math.sin(a), height / 2 - r * Math.cos(a));
            g.stroke();
            g.fillStyle = "#111";
            g.font = `bold ${Math.round(r * 0.7)}px sans-serif`;
            g.textAlign = "center";
            g.textBaseline = "middle";
            g.fillText(String(i + 1), width / 2, height / 2);
            return canvas.toDataURL(mime, 0.9);
          });
        },
        { start, sizes, count, mime: type === "jpg" ? "image/jpeg" : "image/png" },
      );
      batch.forEach((url, k) => {
        const data = Buffer.from(url.slice(url.indexOf(",") + 1), "base64");
        fs.writeFileSync(path.join(dir, frameFile(start + k, type)), data);
      });
    }
  } finally {
    await page.close();
  }
  return type;
}

export const hasFfmpeg = () => spawnSync("ffmpeg", ["-version"], { stdio: "ignore" }).status === 0;

// Photo-like JPEG frames (a moving test pattern with grain, about 300 KB at 2000 x 1500) written by FFmpeg.
export function renderFramesWithFfmpeg(dir, count, width, height) {
  fs.mkdirSync(dir, { recursive: true });
  const run = spawnSync(
    "ffmpeg",
    ["-loglevel", "error", "-y", "-f", "lavfi", "-i", `testsrc2=size=${width}x${height}:rate=25,noise=alls=7:allf=t`,
     "-frames:v", String(count), "-q:v", "4", path.join(dir, "%04d.jpg")],
    { encoding: "utf8" },
  );
  if (run.status !== 0) throw new Error("ffmpeg failed: " + run.stderr);
  return "jpg";
}

// A static file server on the loopback address. bitsPerSecond shares one throttled link among all
// responses; every response's bytes are counted per path.
export async function startServer(root, { bitsPerSecond = 0, latencyMs = 0 } = {}) {
  const sent = new Map();
  const missing = [];
  const active = new Set();
  let budget = 0;
  let timer = null;
  const types = { ".html": "text/html; charset=utf-8", ".jpg": "image/jpeg", ".png": "image/png", ".webp": "image/webp",
    ".avif": "image/avif" };
  const pump = () => {
    budget += bitsPerSecond / 8 / 100;
    for (const job of active) {
      if (budget < 1) break;
      const n = Math.min(job.data.length - job.pos, Math.max(1, Math.floor(budget / active.size)), 65536);
      job.res.write(job.data.subarray(job.pos, job.pos + n));
      job.pos += n;
      budget -= n;
      if (job.pos >= job.data.length) {
        job.res.end();
        active.delete(job);
      }
    }
    if (!active.size) budget = 0;
  };
  const server = http.createServer((req, res) => {
    const rel = decodeURIComponent(new URL(req.url, "http://x").pathname);
    const file = path.join(root, rel);
    if (!file.startsWith(root)) {
      res.writeHead(403).end();
      return;
    }
    fs.readFile(file, (err, data) => {
      if (err) {
        missing.push(rel);
        // Browsers ask for an icon on their own; that is no fault of the page.
        res.writeHead(rel === "/favicon.ico" ? 204 : 404).end();
        return;
      }
      sent.set(rel, (sent.get(rel) || 0) + data.length);
      res.writeHead(200, { "content-type": types[path.extname(file)] || "application/octet-stream", "content-length": data.length });
      const go = () => {
        if (!bitsPerSecond) res.end(data);
        else active.add({ res, data, pos: 0 });
      };
      if (latencyMs) setTimeout(go, latencyMs);
      else go();
    });
  });
  if (bitsPerSecond) timer = setInterval(pump, 10);
  await new Promise((ok) => server.listen(0, "127.0.0.1", ok));
  return {
    url: `http://127.0.0.1:${server.address().port}/`,
    sent,
    missing,
    bytes: (filter = () => true) => [...sent].filter(([p]) => filter(p)).reduce((sum, [, n]) => sum + n, 0),
    close: () => {
      clearInterval(timer);
      for (const job of active) job.res.destroy();
      server.closeAllConnections();
      return new Promise((ok) => server.close(ok));
    },
  };
}

// Records everything that counts as a fault: console errors, uncaught exceptions, failed loads.
export function watchFaults(page) {
  const faults = [];
  page.on("console", (msg) => {
    if (msg.type() === "error") faults.push(`console: ${msg.text()}`);
  });
  page.on("pageerror", (err) => faults.push(`pageerror: ${err.message}`));
  page.on("requestfailed", (req) => faults.push(`requestfailed: ${req.url()}`));
  return faults;
}

// A slow link for everything the page fetches (Chromium's own throttling, per request as a browser sees it).
export async function throttle(cdp, megabitsPerSecond, latencyMs) {
  await cdp.send("Network.enable");
  await cdp.send("Network.setCacheDisabled", { cacheDisabled: true });
  const bytesPerSecond = (megabitsPerSecond * 1e6) / 8;
  await cdp.send("Network.emulateNetworkConditions", {
    offline: false, latency: latencyMs, downloadThroughput: bytesPerSecond, uploadThroughput: bytesPerSecond,
  });
}

export const nextPaint = (page) =>
  page.evaluate(() => new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(done))));
export const mod = (a, n) => ((a % n) + n) % n;

// A host page with its own markup around viewers, carrying the viewer script copied from the template.
export function hostPage(template, body, head = "") {
  const script = template.slice(template.lastIndexOf("<script>"), template.lastIndexOf("</script>") + 9);
  return `<!DOCTYPE html><html lang="en"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">${head}</head>
<body style="margin:0">${body}${script}</body></html>`;
}

// Bounding box of the painted (non-transparent) pixels of a viewer's canvas, in canvas pixels.
export const paintedBox = (page, index = 0) =>
  page.evaluate((k) => {
    const c = document.querySelectorAll(".turnlet-view canvas")[k];
    const d = c.getContext("2d").getImageData(0, 0, c.width, c.height).data;
    let x0 = c.width, y0 = c.height, x1 = -1, y1 = -1;
    for (let y = 0; y < c.height; y++) {
      for (let x = 0; x < c.width; x++) {
        if (d[(y * c.width + x) * 4 + 3] > 128) {
          x0 = Math.min(x0, x);
          x1 = Math.max(x1, x);
          y0 = Math.min(y0, y);
          y1 = Math.max(y1, y);
        }
      }
    }
    return { x: x0, y: y0, w: x1 - x0 + 1, h: y1 - y0 + 1, canvasWidth: c.width, canvasHeight: c.height };
  }, index);
