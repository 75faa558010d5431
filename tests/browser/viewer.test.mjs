// Fills the viewer template the way the export does, writes numbered frames beside it and drives the page
// in headless Chromium. TURNLET_SAMPLE_TOOL: the turnlet-make-sample binary, to use its frames.
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import fs from "node:fs";
import path from "node:path";
import { pathToFileURL } from "node:url";
import {
  fillTemplate,
  frameFile,
  launchBrowser,
  makeTempDir,
  mod,
  nextPaint,
  outDir,
  removeTempDirs,
  renderFramesInBrowser,
  templatePath,
  watchFaults,
} from "./helpers.mjs";

const N = 24;
const WIDTH = 640;
const HEIGHT = 400;

let browser;

before(async () => {
  browser = await launchBrowser();
});

after(async () => {
  if (browser) await browser.close();
  removeTempDirs();
});

// The sample generator's frames, renamed to the export's 0001.jpg ... naming.
function renderFramesWithTool(tool, dir, count, width, height) {
  const raw = path.join(dir, "raw");
  const run = spawnSync(tool, [raw, "--frames", String(count), "--width", String(width), "--height", String(height)], {
    encoding: "utf8",
  });
  assert.equal(run.status, 0, `${tool} failed: ${run.stderr}`);
  const names = fs.readdirSync(raw).filter((n) => n.endsWith(".jpg")).sort();
  assert.equal(names.length, count, "sample tool wrote an unexpected number of frames");
  names.forEach((name, i) => fs.renameSync(path.join(raw, name), path.join(dir, frameFile(i, "jpg"))));
  return "jpg";
}

async function makeFixture({ count, width, height, useTool = false }) {
  const dir = makeTempDir();
  const tool = process.env.TURNLET_SAMPLE_TOOL;
  const type =
    useTool && tool
      ? renderFramesWithTool(tool, dir, count, width, height)
      : await renderFramesInBrowser(browser, dir, count, width, height);
  const html = fillTemplate(fs.readFileSync(templatePath, "utf8"), { items: count, type, width, height });
  fs.writeFileSync(path.join(dir, "index.html"), html);
  return { dir, type, url: pathToFileURL(path.join(dir, "index.html")).href };
}

// Opens a page and records everything that counts as a fault: console errors, uncaught exceptions, failed loads.
async function openViewer(context, url, { waitLoaded = true } = {}) {
  const page = await context.newPage();
  const faults = watchFaults(page);
  await page.goto(url);
  if (waitLoaded) {
    await page.waitForFunction(
      () => window.turnletViewer && window.turnletViewer.total > 0 && window.turnletViewer.loaded === window.turnletViewer.total,
      null,
      { timeout: 30000 },
    );
  }
  return { page, faults };
}

const viewerState = (page) =>
  page.evaluate(() => ({
    frame: turnletViewer.frame,
    loaded: turnletViewer.loaded,
    total: turnletViewer.total,
    autoplaying: turnletViewer.autoplaying,
    zoom: turnletViewer.zoom,
  }));
const frameOf = (page) => page.evaluate(() => turnletViewer.frame);
const viewBox = (page) =>
  page.evaluate(() => {
    const r = document.querySelector(".turnlet-view").getBoundingClientRect();
    const c = document.querySelector(".turnlet-view canvas");
    return { left: r.left, top: r.top, right: r.right, width: r.width, height: r.height, canvasWidth: c.width, canvasHeight: c.height };
  });

test("template carries each placeholder and nothing is left after filling", () => {
  const text = fs.readFileSync(templatePath, "utf8");
  for (const p of ["[ITEMS]", "[TYPE]", "[WIDTH]", "[HEIGHT]"]) assert.ok(text.includes(p), `${p} missing`);
  const filled = fillTemplate(text, { items: 7, type: "jpg", width: 320, height: 240 });
  assert.doesNotMatch(filled, /\[(ITEMS|TYPE|WIDTH|HEIGHT)\]/);
  assert.ok(!/https?:\/\//.test(filled.replace(/http:\/\/www\.w3\.org\/2000\/svg/g, "")), "page must not reach the network");
});

test("desktop: loads, autoplays, turns by drag and keys, stays in sync", async () => {
  const fixture = await makeFixture({ count: N, width: WIDTH, height: HEIGHT, useTool: true });
  const context = await browser.newContext({ viewport: { width: 1000, height: 760 }, deviceScaleFactor: 1 });
  try {
    const { page, faults } = await openViewer(context, fixture.url);

    let s = await viewerState(page);
    assert.equal(s.total, N);
    assert.equal(s.loaded, N);
    assert.equal(s.zoom, 1);
    await page.waitForFunction(() => document.querySelector(".turnlet-progress").hidden, null, { timeout: 3000 });

    // Autoplay turns the object by itself.
    assert.equal(s.autoplaying, true, "autoplay should run after loading");
    const startFrame = s.frame;
    await page.waitForFunction((f) => turnletViewer.frame !== f, startFrame, { timeout: 4000 });

    // Layout: the aspect ratio of the frames at any width, never wider than the frames.
    const box = await viewBox(page);
    assert.ok(Math.abs(box.width / box.height / (WIDTH / HEIGHT) - 1) < 0.01, `aspect ${box.width}x${box.height}`);
    assert.ok(box.width <= WIDTH + 0.5, `view ${box.width}px is wider than the frames`);
    assert.equal(box.canvasWidth, Math.round(box.width));
    const touchAction = await page.$eval(".turnlet-view", (el) => getComputedStyle(el).touchAction);
    assert.equal(touchAction, "pan-y");

    // Accessibility surface.
    const a11y = await page.$eval(".turnlet-view", (el) => ({
      tabIndex: el.tabIndex,
      role: el.getAttribute("role"),
      label: el.getAttribute("aria-label") || "",
    }));
    assert.equal(a11y.tabIndex, 0);
    assert.ok(a11y.role, "view needs a role");
    assert.match(a11y.label, /360° product view/);
    assert.equal(await page.$eval(".turnlet-angle", (el) => el.max), String(N - 1));

    // A plain wheel over a viewer the user has not touched scrolls the page: no zoom, autoplay goes on.
    await page.evaluate(() => window.addEventListener("wheel", (e) => (window.lastWheelTaken = e.defaultPrevented)));
    await page.mouse.move(box.left + box.width / 2, box.top + box.height / 2);
    await page.mouse.wheel(0, 200);
    await page.mouse.wheel(0, -200);
    await page.waitForFunction(() => window.lastWheelTaken !== undefined);
    s = await viewerState(page);
    assert.equal(await page.evaluate(() => window.lastWheelTaken), false, "plain wheel must not be captured");
    assert.equal(s.zoom, 1);
    assert.equal(s.autoplaying, true);

    // A drag held still before release moves by exactly its share of a turn and throws nothing.
    const cx = box.left + box.width / 2;
    const cy = box.top + box.height / 2;
    await page.mouse.move(cx - box.width / 8, cy);
    await page.mouse.down();
    const before = await frameOf(page);   // read after the press, which stops autoplay
    await page.mouse.move(cx + box.width / 8, cy, { steps: 12 });
    await page.waitForTimeout(250);
    await page.mouse.up();
    await nextPaint(page);
    s = await viewerState(page);
    assert.equal(s.autoplaying, false, "a drag stops autoplay");
    assert.equal(s.frame, mod(before + N / 4, N), "a quarter-width drag to the right turns a quarter turn forward");
    await page.waitForTimeout(600);
    assert.equal(await frameOf(page), s.frame, "no inertia after a drag that came to rest");

    // A flick keeps turning a little after release, then settles and stays.
    await page.mouse.move(cx, cy);
    await page.mouse.down();
    await page.mouse.move(cx + box.width / 5, cy, { steps: 6 });
    await page.mouse.up();
    const atRelease = await frameOf(page);
    await page.waitForTimeout(1500);
    const settled = await frameOf(page);
    assert.notEqual(settled, atRelease, "a flick should carry on by inertia");
    await page.waitForTimeout(1200);
    s = await viewerState(page);
    assert.equal(s.frame, settled, "turning must stop once inertia settles (autoplay must not resume)");
    assert.equal(s.autoplaying, false);

    // Keys step exactly one frame and wrap both ways.
    await page.focus(".turnlet-view");
    let f = await frameOf(page);
    await page.keyboard.press("ArrowRight");
    await nextPaint(page);
    assert.equal(await frameOf(page), mod(f + 1, N));
    await page.keyboard.press("Home");
    await page.keyboard.press("ArrowLeft");
    await nextPaint(page);
    assert.equal(await frameOf(page), N - 1, "ArrowLeft from the first frame wraps to the last");
    await page.keyboard.press("ArrowRight");
    await nextPaint(page);
    assert.equal(await frameOf(page), 0, "ArrowRight from the last frame wraps to the first");
    assert.equal(await page.$eval(".turnlet-angle", (el) => el.value), "0", "range input follows the keys");

    // The range input drives the view, and the live region speaks the angle once things calm down.
    await page.locator(".turnlet-angle").fill("9");
    await nextPaint(page);
    assert.equal(await frameOf(page), 9);
    await page.focus(".turnlet-view");
    await page.keyboard.press("ArrowRight");
    const spoken = `Angle ${Math.round((10 * 360) / N)}°`;
    await page.waitForFunction((t) => document.querySelector(".turnlet-sr").textContent === t, spoken, { timeout: 3000 });
    assert.equal(await page.$eval(".turnlet-angle", (el) => el.value), "10");
    assert.equal(await page.$eval(".turnlet-angle", (el) => el.getAttribute("aria-valuetext")), spoken);

    // Ctrl+wheel zooms; zoomed, a drag pans instead of turning; the reset button returns to 1x.
    await page.mouse.move(cx, cy);
    await page.keyboard.down("Control");
    await page.mouse.wheel(0, -400);
    await page.keyboard.up("Control");
    await nextPaint(page);
    const zoomed = await viewerState(page);
    assert.ok(zoomed.zoom > 1 && zoomed.zoom <= 3, `zoom ${zoomed.zoom}`);
    assert.equal(await page.$eval(".turnlet-view", (el) => getComputedStyle(el).touchAction), "none");
    await page.mouse.down();
    await page.mouse.move(cx + 120, cy + 40, { steps: 5 });
    await page.mouse.up();
    await page.waitForTimeout(300);
    assert.equal(await frameOf(page), zoomed.frame, "dragging while zoomed must pan, not turn");
    assert.equal(await page.isVisible(".turnlet-zoom-reset"), true);
    await page.click(".turnlet-zoom-reset");
    await nextPaint(page);
    assert.equal((await viewerState(page)).zoom, 1);
    assert.equal(await page.$eval(".turnlet-view", (el) => getComputedStyle(el).touchAction), "pan-y");

    // Frame 4 (index 3) for the screenshot, focus ring off.
    await page.locator(".turnlet-angle").fill("3");
    await page.evaluate(() => document.activeElement.blur());
    await nextPaint(page);
    assert.equal(await frameOf(page), 3);
    fs.mkdirSync(outDir, { recursive: true });
    await page.screenshot({ path: path.join(outDir, "viewer.png") });

    assert.deepEqual(faults, []);
  } finally {
    await context.close();
  }
});

test("phone: fits a narrow screen, keeps the aspect ratio, turns by a sideways swipe", async () => {
  const fixture = await makeFixture({ count: 12, width: WIDTH, height: HEIGHT });
  const context = await browser.newContext({
    viewport: { width: 375, height: 667 },
    deviceScaleFactor: 2,
    isMobile: true,
    hasTouch: true,
  });
  try {
    const { page, faults } = await openViewer(context, fixture.url);
    const box = await viewBox(page);
    assert.ok(box.left >= 0 && box.right <= 375, `view spans ${box.left}..${box.right}`);
    assert.ok(box.width > 300, `view is only ${box.width}px wide`);
    assert.ok(Math.abs(box.width / box.height / (WIDTH / HEIGHT) - 1) < 0.01, `aspect ${box.width}x${box.height}`);
    assert.ok(Math.abs(box.canvasWidth - box.width * 2) <= 1, `canvas ${box.canvasWidth} for ${box.width} CSS px at 2x`);

    // A horizontal one-finger swipe turns the object (touch-action lets it through as pointer events).
    const cdp = await context.newCDPSession(page);
    const y = Math.round(box.top + box.height / 2);
    const x0 = Math.round(box.left + box.width * 0.3);
    const before = await frameOf(page);
    await cdp.send("Input.dispatchTouchEvent", { type: "touchStart", touchPoints: [{ x: x0, y }] });
    for (let k = 1; k <= 10; k++) {
      await cdp.send("Input.dispatchTouchEvent", { type: "touchMove", touchPoints: [{ x: x0 + k * 15, y }] });
    }
    await page.waitForTimeout(200);
    await cdp.send("Input.dispatchTouchEvent", { type: "touchEnd", touchPoints: [] });
    await nextPaint(page);
    const s = await viewerState(page);
    assert.equal(s.autoplaying, false, "a touch stops autoplay");
    assert.notEqual(s.frame, before, "a sideways swipe should turn the object");

    // Two fingers spreading apart zoom in (capped at 3x) without turning; pinching back returns to 1x.
    const cx = Math.round(box.left + box.width / 2);
    const pinch = async (from, to) => {
      await cdp.send("Input.dispatchTouchEvent", {
        type: "touchStart",
        touchPoints: [{ x: cx - from, y, id: 1 }, { x: cx + from, y, id: 2 }],
      });
      for (let k = 1; k <= 8; k++) {
        const d = Math.round(from + ((to - from) * k) / 8);
        await cdp.send("Input.dispatchTouchEvent", {
          type: "touchMove",
          touchPoints: [{ x: cx - d, y, id: 1 }, { x: cx + d, y, id: 2 }],
        });
      }
      await cdp.send("Input.dispatchTouchEvent", { type: "touchEnd", touchPoints: [] });
      await nextPaint(page);
    };
    await pinch(20, 160);
    let z = await viewerState(page);
    assert.equal(z.zoom, 3, "spreading fingers eight times apart zooms to the 3x limit");
    assert.equal(z.frame, s.frame, "a pinch must not turn the object");
    await pinch(160, 10);
    z = await viewerState(page);
    assert.equal(z.zoom, 1, "pinching back returns to 1x");
    assert.equal(z.frame, s.frame);
    assert.deepEqual(faults, []);
  } finally {
    await context.close();
  }
});

test("reduced motion: no autoplay", async () => {
  const fixture = await makeFixture({ count: 8, width: 160, height: 120 });
  const context = await browser.newContext({ reducedMotion: "reduce" });
  try {
    const { page, faults } = await openViewer(context, fixture.url);
    assert.equal((await viewerState(page)).autoplaying, false);
    await page.waitForTimeout(1000);
    assert.equal(await frameOf(page), 0);
    assert.deepEqual(faults, []);
  } finally {
    await context.close();
  }
});

test("1000 frames: four-digit names up to 1000 all load", async () => {
  const fixture = await makeFixture({ count: 1000, width: 40, height: 30 });
  assert.ok(fs.existsSync(path.join(fixture.dir, "1000.png")));
  const context = await browser.newContext();
  try {
    const { page, faults } = await openViewer(context, fixture.url);
    const s = await viewerState(page);
    assert.equal(s.total, 1000);
    assert.equal(s.loaded, 1000);
    assert.equal(await page.isHidden(".turnlet-notice"), true, "no frame may be reported missing");
    assert.deepEqual(faults, []);
  } finally {
    await context.close();
  }
});

test("a missing frame is reported on the page and does not stall loading", async () => {
  const fixture = await makeFixture({ count: 6, width: 160, height: 120 });
  fs.rmSync(path.join(fixture.dir, frameFile(3, fixture.type)));
  const context = await browser.newContext();
  try {
    const { page, faults } = await openViewer(context, fixture.url);
    assert.equal((await viewerState(page)).loaded, 6);
    assert.match(await page.textContent(".turnlet-notice"), /1 of 6/);
    assert.ok(!faults.some((f) => f.startsWith("pageerror")), faults.join("\n"));
  } finally {
    await context.close();
  }
});

test("the unfilled template opens without script errors", async () => {
  const context = await browser.newContext();
  try {
    const { page, faults } = await openViewer(context, pathToFileURL(templatePath).href, { waitLoaded: false });
    await nextPaint(page);
    const s = await viewerState(page);
    assert.equal(s.total, 0);
    assert.equal(await page.isVisible(".turnlet-notice"), true);
    // Its first-frame image names a file that only an export writes: that one load fails, nothing else.
    const poster = /0001\.(%5B|\[)TYPE(%5D|\])|^console: Failed to load resource: net::ERR_FILE_NOT_FOUND$/;
    assert.ok(faults.length <= 2 && faults.every((f) => poster.test(f)), faults.join("\n"));
  } finally {
    await context.close();
  }
});
