// Viewers embedded in other pages and served over HTTP: several per page, lazy loading, sizing, controls and
// the optional half- and double-size frame sets.
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import fs from "node:fs";
import path from "node:path";
import {
  fillTemplate,
  hostPage,
  launchBrowser,
  makeTempDir,
  mod,
  nextPaint,
  paintedBox,
  removeTempDirs,
  renderFramesInBrowser,
  startServer,
  templatePath,
  watchFaults,
} from "./helpers.mjs";

let browser, server, dir, template;

before(async () => {
  browser = await launchBrowser();
  dir = makeTempDir();
  template = fs.readFileSync(templatePath, "utf8");
  const sets = [
    ["a", 12, 160, 120],
    ["b", 8, 160, 120],
    ["wide", 8, 640, 400],
    ["tall", 8, 400, 640],
    ["one", 1, 160, 120],
    ["sets", 8, 320, 240],
    ["sets/half", 8, 160, 120],
    ["sets/double", 8, 640, 480],
  ];
  for (const [name, count, w, h] of sets) {
    fs.mkdirSync(path.join(dir, name), { recursive: true });
    await renderFramesInBrowser(browser, path.join(dir, name), count, w, h);
    const page = fillTemplate(template, { items: count, type: "png", width: w, height: h });
    fs.writeFileSync(path.join(dir, name, "index.html"), page);
  }
  // Frame 4 of this turn is upright while the others lie.
  fs.mkdirSync(path.join(dir, "odd"));
  await renderFramesInBrowser(browser, path.join(dir, "odd"), 6, 160, 120, { sizeOf: (i) => (i === 3 ? [120, 160] : [160, 120]) });
  server = await startServer(dir);
});

after(async () => {
  if (server) await server.close();
  if (browser) await browser.close();
  removeTempDirs();
});

function writePage(name, body, head) {
  fs.writeFileSync(path.join(dir, name), hostPage(template, body, head));
  return name;
}
const viewer = (attrs) =>
  `<div data-turnlet ${Object.entries(attrs).map(([k, v]) => `data-${k}="${v}"`).join(" ")}></div>`;
const spacer = '<div style="height:3000px"></div>';

async function open(rel, options = {}, init) {
  const context = await browser.newContext({ viewport: { width: 800, height: 600 }, ...options });
  if (init) await context.addInitScript(init);
  const page = await context.newPage();
  const faults = watchFaults(page);
  await page.goto(server.url + rel);
  if (!rel.startsWith("framed")) {
    await page.waitForFunction(() => window.Turnlet && Turnlet.viewers.length > 0, null, { timeout: 5000 }).catch(async (err) => {
      await context.close();
      throw new Error(err.message + "\n" + faults.join("\n"));
    });
  }
  return { context, page, faults };
}
const loaded = (page, k = 0, timeout = 15000) =>
  page.waitForFunction((k) => Turnlet.viewers[k].loaded === Turnlet.viewers[k].total, k, { timeout });
const get = (page, k, key) => page.evaluate(([k, key]) => Turnlet.viewers[k][key], [k, key]);
const fetched = (prefix) => [...server.sent.keys()].filter((p) => p.startsWith(prefix) && p.endsWith(".png")).sort();
function clearLog() {
  server.sent.clear();
  server.missing.length = 0;
}

test("two viewers on one page: own frames and settings, API and events", async () => {
  clearLog();
  const rel = writePage(
    "two.html",
    viewer({ folder: "a", count: 12, type: "png", width: 160, height: 120, "turn-time": 1.2, direction: "backward", label: "Red shoe" }) +
      viewer({ folder: "b/", count: 8, type: "png", width: 160, height: 120, autoplay: "off", "turn-time": 0.8, loop: "false" }),
  );
  const { context, page, faults } = await open(rel, { viewport: { width: 800, height: 1400 } }, () => {
    window.__events = [];
    for (const type of ["turnlet:loaded", "turnlet:framechange"]) {
      document.addEventListener(type, (e) => __events.push([type.slice(8), e.target.dataset.folder, e.detail]));
    }
  });
  try {
    await loaded(page, 0);
    await loaded(page, 1);
    assert.deepEqual(fetched("/a/").length, 12);
    assert.deepEqual(fetched("/b/").length, 8);
    assert.equal(await page.evaluate(() => new Set([...document.querySelectorAll("[id]")].map((e) => e.id)).size),
      await page.evaluate(() => document.querySelectorAll("[id]").length), "element ids must be unique");
    assert.match(await page.$eval(".turnlet-view", (el) => el.getAttribute("aria-label")), /^Red shoe\./);

    // The first turns backward by itself, about ten frames a second; the second waits.
    await page.waitForTimeout(1200);
    const events = await page.evaluate(() => __events);
    const loadedEvents = events.filter((e) => e[0] === "loaded").map((e) => [e[1], e[2].total]).sort();
    assert.deepEqual(loadedEvents, [["a", 12], ["b/", 8]]);
    const steps = events.filter((e) => e[0] === "framechange" && e[1] === "a").map((e) => e[2].frame);
    assert.ok(steps.length >= 5, `only ${steps.length} frame changes in 1.2 s`);
    steps.slice(1).forEach((f, k) => assert.equal(mod(f - steps[k], 12), 11, `backward steps: ${steps}`));
    assert.equal(events.filter((e) => e[0] === "framechange" && e[1] === "b/").length, 0);
    assert.equal(await get(page, 1, "playing"), false);
    assert.equal(await page.$$eval(".turnlet-play", (b) => b[1].getAttribute("aria-label")), "Play the turning");

    // API of the second: go to a frame (with its event), stop at the ends, play once through and stop.
    await page.evaluate(() => Turnlet.viewers[1].goTo(7));
    await nextPaint(page);
    assert.equal(await get(page, 1, "frame"), 7);
    assert.deepEqual((await page.evaluate(() => __events)).filter((e) => e[1] === "b/").pop(), ["framechange", "b/", { frame: 7, angle: 315 }]);
    await page.locator(".turnlet-view").nth(1).focus();
    await page.keyboard.press("ArrowRight");
    await nextPaint(page);
    assert.equal(await get(page, 1, "frame"), 7, "no wrap past the last frame");
    await page.keyboard.press("Home");
    await page.keyboard.press("ArrowLeft");
    await nextPaint(page);
    assert.equal(await get(page, 1, "frame"), 0, "no wrap before the first frame");
    await page.evaluate(() => Turnlet.viewers[1].play());
    assert.equal(await get(page, 1, "playing"), true);
    await page.waitForFunction(() => !Turnlet.viewers[1].playing, null, { timeout: 3000 });
    assert.equal(await get(page, 1, "frame"), 7, "plays to the last frame and stops there");

    // Pausing the first holds it; dragging it leaves the second alone.
    await page.evaluate(() => Turnlet.viewers[0].pause());
    const held = await get(page, 0, "frame");
    await page.waitForTimeout(400);
    assert.equal(await get(page, 0, "frame"), held);
    const box = await page.locator(".turnlet-view").first().boundingBox();
    await page.mouse.move(box.x + 20, box.y + box.height / 2);
    await page.mouse.down();
    await page.mouse.move(box.x + 20 + box.width / 4, box.y + box.height / 2, { steps: 5 });
    await page.waitForTimeout(150);
    await page.mouse.up();
    await nextPaint(page);
    assert.equal(await get(page, 0, "frame"), mod(held + 3, 12));
    assert.equal(await get(page, 1, "frame"), 7);
    assert.deepEqual(faults, []);
  } finally {
    await context.close();
  }
});

test("lazy: below the fold only the first frame loads; autoplay only while seen in a shown tab", async () => {
  clearLog();
  const rel = writePage(
    "lazy.html",
    spacer + viewer({ folder: "a", count: 12, type: "png", width: 160, height: 120, "turn-time": 1.2 }) + spacer +
      '<div style="overflow:hidden;width:300px"><div style="margin-left:2000px;width:300px">' +
      viewer({ folder: "b", count: 8, type: "png", width: 160, height: 120 }) + "</div></div>",
  );
  const { context, page, faults } = await open(rel);
  try {
    await page.waitForTimeout(1000);
    assert.deepEqual(fetched("/a/"), ["/a/0001.png"]);
    assert.deepEqual(fetched("/b/"), ["/b/0001.png"]);
    assert.equal(await get(page, 0, "loaded"), 1);

    // Near the viewport (not yet in it) everything loads, but nothing turns out of sight.
    const top = await page.$eval(".turnlet", (el) => el.getBoundingClientRect().top + scrollY);
    await page.evaluate((y) => scrollTo(0, y), top - 600 - 300);
    await loaded(page, 0);
    assert.equal(fetched("/a/").length, 12);
    await page.waitForTimeout(500);
    assert.equal(await get(page, 0, "frame"), 0, "autoplay must wait until the viewer is seen");
    assert.equal(await get(page, 0, "playing"), true);

    await page.evaluate((y) => scrollTo(0, y), top - 100);
    await page.waitForFunction(() => Turnlet.viewers[0].frame !== 0, null, { timeout: 3000 });

    // A hidden tab stops the turning; shown again it goes on.
    const setHidden = (hidden) =>
      page.evaluate((hidden) => {
        Object.defineProperty(document, "visibilityState", { configurable: true, get: () => (hidden ? "hidden" : "visible") });
        document.dispatchEvent(new Event("visibilitychange"));
      }, hidden);
    await setHidden(true);
    await nextPaint(page);
    let f = await get(page, 0, "frame");
    await page.waitForTimeout(400);
    assert.equal(await get(page, 0, "frame"), f, "no turning in a hidden tab");
    await setHidden(false);
    await page.waitForFunction((f) => Turnlet.viewers[0].frame !== f, f, { timeout: 3000 });

    // Scrolled away, it stops again.
    await page.evaluate(() => scrollTo(0, 0));
    await nextPaint(page);
    f = await get(page, 0, "frame");
    await page.waitForTimeout(400);
    assert.equal(await get(page, 0, "frame"), f, "no turning out of sight");

    // A viewer hidden in a scrolled box loads once it is touched (here: focused by keyboard).
    assert.deepEqual(fetched("/b/"), ["/b/0001.png"]);
    await page.evaluate(() => document.querySelectorAll(".turnlet-view")[1].focus({ preventScroll: true }));
    await loaded(page, 1);
    assert.equal(fetched("/b/").length, 8);
    assert.deepEqual(faults, []);
  } finally {
    await context.close();
  }
});

test("sized for the screen: fits width and height, each frame in its own shape, sharp on hi-DPI", async () => {
  const viewBox = (page) =>
    page.evaluate(() => {
      const v = document.querySelector(".turnlet-view").getBoundingClientRect();
      const root = document.querySelector(".turnlet").getBoundingClientRect();
      const button = document.querySelector(".turnlet-fullscreen").getBoundingClientRect();
      return { width: v.width, height: v.height, rootHeight: root.height, rootBottom: root.bottom, controlsBottom: button.bottom };
    });
  // Full page: the view and its controls fit the window, whatever the frames' shape.
  for (const [name, viewport, ratio] of [
    ["wide", { width: 1000, height: 500 }, 1.6],
    ["tall", { width: 1000, height: 600 }, 0.625],
    ["wide", { width: 375, height: 667 }, 1.6],
  ]) {
    const { context, page, faults } = await open(`${name}/index.html`, { viewport });
    try {
      await loaded(page);
      const b = await viewBox(page);
      assert.ok(b.rootBottom <= viewport.height - 16 + 1, `${name} ${viewport.width}x${viewport.height}: bottom ${b.rootBottom}`);
      assert.ok(b.controlsBottom <= viewport.height, "controls must stay on screen");
      assert.ok(Math.abs(b.width / b.height / ratio - 1) < 0.02, `${name}: view ${b.width}x${b.height}`);
      assert.ok(b.width >= Math.min(viewport.width - 32, (viewport.height - 32 - (b.rootHeight - b.height)) * ratio) - 2, "view uses the room it has");
      assert.deepEqual(faults, []);
    } finally {
      await context.close();
    }
  }

  // A height given by the host page: the view fills it, the picture keeps its shape, hi-DPI canvas and cache.
  const rel = writePage("fixed.html", '<div style="width:600px">' +
    viewer({ folder: "wide", count: 8, type: "png", width: 640, height: 400 }).replace("<div", '<div style="height:220px"') + "</div>");
  let { context, page, faults } = await open(rel, { viewport: { width: 900, height: 800 }, deviceScaleFactor: 2 });
  try {
    await loaded(page);
    await page.evaluate(() => Turnlet.viewers[0].pause());
    await page.waitForTimeout(300);
    const b = await viewBox(page);
    assert.ok(Math.abs(b.rootHeight - 220) < 1, `root ${b.rootHeight}`);
    assert.ok(Math.abs(b.width - 600) < 1);
    const p = await paintedBox(page);
    assert.equal(p.canvasWidth, 1200, "canvas in device pixels");
    assert.ok(Math.abs(p.w / p.h - 1.6) < 0.02, `picture ${p.w}x${p.h} is distorted`);
    assert.ok(Math.abs(p.h - p.canvasHeight) <= 1 && Math.abs(p.x - (p.canvasWidth - p.w) / 2) <= 1, "fitted and centred");
    const s = await get(page, 0, "stats");
    assert.ok(Math.abs(s.cacheBytes / (8 * p.w * p.h * 4) - 1) < 0.02, `frames cached at display size: ${s.cacheBytes} bytes`);
    assert.deepEqual(faults, []);
  } finally {
    await context.close();
  }

  // One frame of another shape is drawn in its own shape; the layout keeps the first frame's.
  ({ context, page, faults } = await open(writePage("odd.html", viewer({ folder: "odd", count: 6, type: "png", width: 160, height: 120, autoplay: "off" }))));
  try {
    await loaded(page);
    for (const [frame, ratio] of [[3, 0.75], [0, 4 / 3], [3, 0.75]]) {
      await page.evaluate((f) => Turnlet.viewers[0].goTo(f), frame);
      await nextPaint(page);
      const p = await paintedBox(page);
      assert.ok(Math.abs(p.w / p.h / ratio - 1) < 0.03, `frame ${frame + 1}: ${p.w}x${p.h}`);
      assert.ok(Math.abs(p.canvasWidth / p.canvasHeight - 4 / 3) < 0.02);
    }
    assert.deepEqual(faults, []);
  } finally {
    await context.close();
  }
});

test("controls: pause and play, spoken angle, keyboard pan, free wheel, full screen only where possible, device hints", async () => {
  const rel = writePage("controls.html", viewer({ folder: "a", count: 12, type: "png", width: 160, height: 120, "turn-time": 1.2 }) + spacer);
  let { context, page, faults } = await open(rel);
  try {
    await loaded(page);
    await page.waitForFunction(() => Turnlet.viewers[0].frame !== 0);
    const play = page.locator(".turnlet-play");
    assert.equal(await play.getAttribute("aria-label"), "Pause the turning");
    await play.click();
    assert.equal(await play.getAttribute("aria-label"), "Play the turning");
    let f = await get(page, 0, "frame");
    await page.waitForTimeout(300);
    assert.equal(await get(page, 0, "frame"), f, "paused");
    await play.click();
    await page.waitForFunction((f) => Turnlet.viewers[0].frame !== f, f);
    await play.click();

    // The range input speaks the angle as soon as it moves.
    const spoken = await page.evaluate(() => {
      const s = document.querySelector(".turnlet-angle");
      s.value = "3";
      s.dispatchEvent(new Event("input", { bubbles: true }));
      return s.getAttribute("aria-valuetext");
    });
    assert.equal(spoken, "Angle 90°");

    // Zoomed in, arrows pan and Page Down turns.
    await page.focus(".turnlet-view");
    await page.keyboard.press("+");
    await page.keyboard.press("+");
    assert.ok((await get(page, 0, "zoom")) > 1.5);
    f = await get(page, 0, "frame");
    await page.keyboard.press("ArrowRight");
    await page.keyboard.press("ArrowDown");
    let pan = await get(page, 0, "pan");
    assert.ok(pan.x < 0 && pan.y < 0, `pan ${JSON.stringify(pan)}`);
    assert.equal(await get(page, 0, "frame"), f, "arrows pan when zoomed");
    await page.keyboard.press("ArrowLeft");
    assert.equal((await get(page, 0, "pan")).x, 0);
    await page.keyboard.press("PageDown");
    assert.equal(await get(page, 0, "frame"), mod(f + 1, 12));
    await page.keyboard.press("0");

    // After a click on the viewer, the plain wheel still scrolls the page both ways and never zooms.
    const box = await page.locator(".turnlet-view").boundingBox();
    await page.mouse.click(box.x + box.width / 2, box.y + box.height - 10);
    for (const dy of [150, -100]) {
      const y = await page.evaluate(() => scrollY);
      await page.mouse.wheel(0, dy);
      await page.waitForFunction((y) => scrollY !== y, y);
    }
    assert.equal(await get(page, 0, "zoom"), 1);
    const hint = await page.textContent(".turnlet-hint");
    assert.match(hint, /Drag to turn/);
    assert.match(hint, /Ctrl \+ scroll/);
    assert.match(hint, /Double-click for full screen/);
    assert.deepEqual(faults, []);
  } finally {
    await context.close();
  }

  // In frames from another origin (a shop embedding the exported page): the button only where full screen is allowed.
  const framed = "framed.html", other = server.url.replace("127.0.0.1", "localhost") + "a/index.html";
  fs.writeFileSync(path.join(dir, framed), `<!DOCTYPE html><iframe src="${other}" width="400" height="360"></iframe>` +
    `<iframe src="${other}" allow="fullscreen" width="400" height="360"></iframe>`);
  ({ context, page, faults } = await open(framed));
  try {
    const frames = page.frames().filter((fr) => fr.url().endsWith("a/index.html"));
    assert.equal(frames.length, 2);
    const state = await Promise.all(frames.map(async (fr) => {
      await fr.waitForFunction(() => window.Turnlet && Turnlet.viewers.length === 1);
      return fr.evaluate(() => [document.querySelector(".turnlet-fullscreen").hidden, document.querySelector(".turnlet-hint").textContent]);
    }));
    const byAllow = await Promise.all(frames.map((fr) => fr.frameElement().then((el) => el.getAttribute("allow"))));
    state.forEach(([hidden, hint], k) => {
      const allowed = byAllow[k] === "fullscreen";
      assert.equal(hidden, !allowed, `full-screen button in a frame ${allowed ? "with" : "without"} permission`);
      assert.equal(/full screen/.test(hint), allowed);
    });
    assert.deepEqual(faults, []);
  } finally {
    await context.close();
  }

  // A phone hears about swipes and pinches; one frame has no slider and no play button.
  for (const [name, options, expected] of [
    ["a", { viewport: { width: 375, height: 667 }, isMobile: true, hasTouch: true }, "Swipe sideways to turn · Pinch or double-tap to zoom"],
    ["one", { viewport: { width: 375, height: 667 }, isMobile: true, hasTouch: true }, "Pinch or double-tap to zoom"],
    ["one", {}, "Ctrl + scroll or pinch to zoom · Double-click for full screen"],
  ]) {
    ({ context, page, faults } = await open(`${name}/index.html`, options));
    try {
      await loaded(page);
      assert.equal(await page.textContent(".turnlet-hint"), expected);
      const single = name === "one";
      assert.equal(await page.isVisible(".turnlet-angle"), !single);
      assert.equal(await page.isVisible(".turnlet-play"), !single);
      assert.equal(await get(page, 0, "playing"), !single);
      if (single) {
        await page.focus(".turnlet-view");
        await page.keyboard.press("ArrowRight");
        await page.keyboard.press("+");
        assert.equal(await get(page, 0, "frame"), 0);
        assert.ok((await get(page, 0, "zoom")) > 1, "one frame still zooms");
      }
      assert.deepEqual(faults, []);
    } finally {
      await context.close();
    }
  }
});

test("optional frame sets: half size for small views, double size only when zooming, none unless declared", async () => {
  clearLog();
  const rel = writePage("sets.html", '<div id="box" style="width:150px">' +
    viewer({ folder: "sets", count: 8, type: "png", width: 320, height: 240, sets: "half double", autoplay: "off" }) + "</div>");
  let { context, page, faults } = await open(rel);
  try {
    await loaded(page);
    assert.equal(fetched("/sets/half/").length, 8);
    assert.deepEqual(fetched("/sets/").filter((p) => !p.startsWith("/sets/half/")), [], "only the half-size set");
    assert.equal((await get(page, 0, "stats")).set, "half");

    // Zoomed far beyond the main frames, the frame in view comes from the double-size set, and only it.
    const box = await page.locator(".turnlet-view").boundingBox();
    await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
    await page.keyboard.down("Control");
    await page.mouse.wheel(0, -800);
    await page.keyboard.up("Control");
    await page.waitForFunction(() => Turnlet.viewers[0].stats.stills > 0, null, { timeout: 5000 });
    assert.deepEqual(fetched("/sets/double/"), ["/sets/double/0001.png"]);
    assert.equal(fetched("/sets/0").length, 0, "the main set is not needed for the zoomed frame");

    // A view grown past the half-size frames moves to the main set.
    await page.click(".turnlet-zoom-reset");
    await page.evaluate(() => (document.getElementById("box").style.width = "600px"));
    await page.waitForFunction(() => Turnlet.viewers[0].stats.set === "main");
    await page.waitForFunction(() => Turnlet.viewers[0].stats.decodes >= 16, null, { timeout: 5000 });
    assert.equal(fetched("/sets/0").length, 8);
    assert.equal(fetched("/sets/double/").length, 1);
    assert.deepEqual(faults, []);
  } finally {
    await context.close();
  }

  // A declared set that is missing on the server costs one request, not one per redraw.
  clearLog();
  ({ context, page, faults } = await open(writePage("nodouble.html",
    viewer({ folder: "a", count: 12, type: "png", width: 160, height: 120, sets: "double", autoplay: "off" }))));
  try {
    await loaded(page);
    await page.focus(".turnlet-view");
    for (let k = 0; k < 6; k++) await page.keyboard.press("+");
    for (const key of ["ArrowRight", "ArrowDown", "ArrowLeft", "ArrowUp"]) {
      await page.waitForTimeout(250);
      await page.keyboard.press(key);   // each pan redraws the view at rest
    }
    await page.waitForTimeout(500);
    assert.deepEqual(server.missing.filter((p) => p.startsWith("/a/double/")), ["/a/double/0001.png"]);
    assert.ok(faults.every((f) => /404|\/a\/double\/0001/.test(f)), faults.join("\n"));
  } finally {
    await context.close();
  }

  // The page as exported without extra sets never asks for them, zoomed or not.
  clearLog();
  ({ context, page, faults } = await open("sets/index.html", { viewport: { width: 400, height: 400 } }));
  try {
    await loaded(page);
    await page.focus(".turnlet-view");
    for (let k = 0; k < 6; k++) await page.keyboard.press("+");
    await page.waitForTimeout(500);
    assert.equal(fetched("/sets/0").length, 8);
    assert.deepEqual(fetched("/sets/").filter((p) => /\/(half|double)\//.test(p)), []);
    assert.deepEqual(faults, []);
  } finally {
    await context.close();
  }
});

test("frames on another host that sends no CORS headers still load, as images", async () => {
  const other = server.url.replace("127.0.0.1", "localhost") + "a/";
  const { context, page, faults } = await open(writePage("cors.html", viewer({ folder: other, count: 12, type: "png", width: 160, height: 120 })));
  try {
    await loaded(page);
    assert.equal(await get(page, 0, "failed"), 0);
    assert.equal(await page.isHidden(".turnlet-notice"), true);
    assert.ok(faults.every((f) => /CORS|Failed to fetch|localhost/.test(f)), faults.join("\n"));
  } finally {
    await context.close();
  }
});
