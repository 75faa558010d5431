// Opens an exported viewer page through its file:// address in headless Chromium and waits until
// every frame has loaded, with no failed request and no script error.
// Usage: node odd_paths_page.mjs PAGE FRAMES
import { pathToFileURL } from "node:url";
import { launchBrowser, watchFaults } from "../browser/helpers.mjs";

const [page, frames] = process.argv.slice(2);
const browser = await launchBrowser();
let code = 0;
try {
  const tab = await browser.newPage();
  const faults = watchFaults(tab);
  const url = pathToFileURL(page).href;
  await tab.goto(url);
  await tab.waitForFunction(
    () => window.turnletViewer && window.turnletViewer.total > 0 && window.turnletViewer.loaded === window.turnletViewer.total,
    null,
    { timeout: 30000 },
  );
  const total = await tab.evaluate(() => window.turnletViewer.total);
  console.log(`[  MEASURE ] ${url}: ${total} frames loaded, ${faults.length} faults`);
  if (String(total) !== frames || faults.length) {
    console.log(faults.join("\n"));
    code = 1;
  }
} catch (error) {
  console.log(`odd_paths_page: ${error.message}`);
  code = 1;
} finally {
  await browser.close();
}
process.exit(code);
