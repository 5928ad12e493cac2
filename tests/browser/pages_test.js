// Browser test of the pages: headless Chromium (Debian's), driven by playwright-core,
// against the demo served by the real binary on loopback.
//
//   node tests/browser/pages_test.js <base url> <screenshot folder>
//
// The listing served has drive 0,0, a member of "Data", failed, so the verdict is Critical.
//
// Checks: no request of the main page or a drive page fails (images, favicon: 200);
// the title and the strip say Critical and every link of the strip leads somewhere; nothing
// scrolls sideways at 1280, 1920 and on a phone (390x844), where the strip's links and the
// top links stay inside the screen; a collapsible header hides and shows its block through
// toggle_collapse; a drive link opens that drive's page with its SMART table; the serial
// number in capitals gives the same page; drive 0,2's page has a History section whose
// charts stay inside the screen at 1280 and on a phone, and "as text" shows their text copy. Writes screenshots of the main page (1280x800, 1920x1080, 390x844) and of drive pages,
// the History one at 1280 and 390 wide.
'use strict';
const path = require('path');
const { chromium } = require('playwright-core');

const base = process.argv[2];
const shots = process.argv[3];
let failures = 0;
function check(ok, what) {
  console.log((ok ? 'ok   ' : 'FAIL ') + what);
  if (!ok) failures++;
}

// Loads `url` and returns the statuses of every request the page made.
async function loadAndWatch(page, url) {
  const seen = [];
  const failed = [];
  const onResponse = (r) => seen.push({ url: r.url(), status: r.status() });
  const onFailed = (r) => failed.push(r.url() + ' ' + (r.failure() || {}).errorText);
  page.on('response', onResponse);
  page.on('requestfailed', onFailed);
  await page.goto(url, { waitUntil: 'load', timeout: 20000 });
  await page.waitForLoadState('networkidle', { timeout: 10000 }).catch(() => {});
  page.off('response', onResponse);
  page.off('requestfailed', onFailed);
  return { seen, failed };
}

async function expectAllLoaded(page, url, label) {
  const { seen, failed } = await loadAndWatch(page, url);
  check(failed.length === 0, `${label}: no failed request ${failed.join(', ')}`);
  const bad = seen.filter((r) => r.status !== 200);
  check(bad.length === 0, `${label}: every response 200 ${bad.map((r) => r.url + '=' + r.status).join(', ')}`);
  // Every image is actually decoded (a 200 with broken bytes would show as broken).
  const broken = await page.$$eval('img', (imgs) =>
    imgs.filter((i) => !i.complete || i.naturalWidth === 0).map((i) => i.getAttribute('src')));
  check(broken.length === 0, `${label}: every image decoded ${broken.join(', ')}`);
  const images = await page.$$eval('img', (imgs) => imgs.length);
  check(images > 0, `${label}: has images (${images})`);
  return seen;
}

// How far the page scrolls sideways at the current viewport width (0: not at all).
async function sidewaysScroll(page) {
  return page.evaluate(() => document.documentElement.scrollWidth - window.innerWidth);
}

// The links of the strip and of the top bar that are not fully inside the viewport's width.
async function linksOutside(page) {
  return page.$$eval('#health a, .navlinks a', (as) => as
    .filter((a) => { const r = a.getBoundingClientRect(); return r.width === 0 || r.left < 0 || r.right > window.innerWidth + 1; })
    .map((a) => a.textContent));
}

async function main() {
  const browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage'],
  });
  try {
    const context = await browser.newContext({ viewport: { width: 1280, height: 800 } });
    const page = await context.newPage();
    const jsErrors = [];
    page.on('pageerror', (e) => jsErrors.push(String(e)));

    await expectAllLoaded(page, base + '/', 'main page');
    const favicon = await context.request.get(base + '/favicon.ico');
    check(favicon.status() === 200 && (await favicon.body()).length > 0, 'favicon.ico 200');
    const iconLink = await page.$eval('link[rel~="icon"]', (l) => l.href).catch(() => '');
    if (iconLink) {
      const r = await context.request.get(iconLink);
      check(r.status() === 200, `page icon ${iconLink} 200`);
    }
    check((await page.title()).length > 0, 'main page has a title');

    // The verdict: in the tab's title and in the strip that opens the page.
    const title = await page.title();
    check(title.startsWith('Critical: ') && title.length > 'Critical: '.length, `title tells the verdict (${title})`);
    const strip = page.locator('#health');
    check((await strip.count()) === 1 && (await strip.isVisible()), 'verdict strip shown');
    const stripText = (await strip.innerText()).trim();
    check(stripText.startsWith('Critical'), `strip opens with the verdict (${stripText.slice(0, 40)})`);
    check(/data collected \d\d:\d\d:\d\d \d\d\/\d\d\/\d{4}/.test(stripText), 'strip says when the data was collected');
    const failedMember = strip.locator('li', { hasText: 'Drive 0,0' });
    check((await failedMember.count()) === 1 && /Critical: .*Failed/.test(await failedMember.innerText()),
      'the failed member is a Critical reason');
    // Every reason's link leads somewhere: an element of this page or a served drive page.
    const targets = await page.$$eval('#health a', (as) => as.map((a) => a.getAttribute('href')));
    check(targets.length > 0, `strip links (${targets.length})`);
    for (const href of targets) {
      if (href.startsWith('#')) {
        check((await page.locator(href).count()) === 1, `strip link ${href} has its target`);
      } else {
        const r = await context.request.get(base + '/' + href);
        // An unknown drive would get the empty frame: a known one shows its serial number.
        check(r.status() === 200 && (await r.text()).includes('Serial number:'), `strip link ${href} opens its drive page`);
      }
    }
    check((await page.locator('#changes').count()) === 1, 'recent changes section');

    check((await sidewaysScroll(page)) <= 0, 'no sideways scroll at 1280');
    await page.screenshot({ path: path.join(shots, 'main_critical_1280x800.png'), fullPage: false });
    await page.setViewportSize({ width: 1920, height: 1080 });
    check((await sidewaysScroll(page)) <= 0, 'no sideways scroll at 1920');
    await page.screenshot({ path: path.join(shots, 'main_critical_1920x1080.png'), fullPage: false });
    await page.screenshot({ path: path.join(shots, 'main_full.png'), fullPage: true });

    // A phone: the strip, the verdict and the top links readable without scrolling sideways;
    // wide tables scroll inside their own boxes.
    await page.setViewportSize({ width: 390, height: 844 });
    const overflow = await sidewaysScroll(page);
    check(overflow <= 2, `no sideways scroll at 390 (page ${overflow + 390} px wide)`);
    const outside = await linksOutside(page);
    check(outside.length === 0, `strip and top links inside the screen at 390 ${outside.join(', ')}`);
    const stripBox = await strip.boundingBox();
    check(stripBox !== null && stripBox.y < 844 && stripBox.x >= 0 && stripBox.x + stripBox.width <= 391,
      'strip starts on the first screen, within its width');
    await page.screenshot({ path: path.join(shots, 'main_phone_390x844.png'), fullPage: false });
    await page.setViewportSize({ width: 1920, height: 1080 });

    // Collapsible block of the first logical device.
    const header = page.locator(`[onclick*="toggle_collapse('c_ld_0')"]`).first();
    const block = page.locator('#c_ld_0');
    check((await header.count()) === 1 && (await block.count()) === 1, 'logical device block and its header');
    check(await block.isVisible(), 'block shown at first');
    await header.click();
    check(await block.isHidden(), 'click hides the block');
    await header.click();
    check(await block.isVisible(), 'second click shows it again');

    // Drive links: every one is relative "hdd_<channel>_<id>".
    const links = await page.$$eval('a[href^="hdd_"]', (as) => as.map((a) => a.getAttribute('href')));
    check(links.length > 0 && links.every((h) => /^hdd_[^_]+_[^_]+$/.test(h)), `drive links (${links.length})`);

    // A SATA drive (the demo's 0,0): the link opens its page with the SMART table.
    await page.setViewportSize({ width: 1280, height: 800 });
    await Promise.all([page.waitForNavigation({ timeout: 20000 }), page.locator('a[href="hdd_0_0"]').first().click()]);
    check(page.url().endsWith('/hdd_0_0'), 'link opened /hdd_0_0');
    await page.waitForLoadState('networkidle', { timeout: 10000 }).catch(() => {});
    const smartRows = await page.locator('table.grid tbody tr').count();
    check(smartRows > 5, `SMART table with rows (${smartRows})`);
    const caption = await page.locator('.card-head').first().innerText();
    const serial = await page.$$eval('td', (tds) => {
      for (let i = 0; i < tds.length - 1; i++) if (tds[i].innerText.trim() === 'Serial number:') return tds[i + 1].innerText.trim();
      return '';
    });
    check(serial.length > 0, `serial number shown (${serial})`);
    await expectAllLoaded(page, base + '/hdd_0_0', 'drive page');
    await page.screenshot({ path: path.join(shots, 'drive_0_0.png'), fullPage: true });
    const byKey = await page.locator('body').innerHTML();

    // The text copy behind "as text".
    const text = page.locator('.mono').first();
    check(await text.isHidden(), 'text copy hidden at first');
    await page.locator('.tools a').first().click();
    // A javascript: link runs as a task after the click, not within it.
    const shown = await text.waitFor({ state: 'visible', timeout: 5000 }).then(() => true, () => false);
    check(shown, '"as text" shows the text copy');
    await page.screenshot({ path: path.join(shots, 'drive_0_0_text.png'), fullPage: true });

    // The same drive by serial number in capitals.
    await expectAllLoaded(page, base + '/hdd_' + serial.toUpperCase(), 'drive page by serial');
    const bySerial = await page.locator('body').innerHTML();
    check(bySerial === byKey, 'serial in capitals gives the same page');
    check((await page.locator('.card-head').first().innerText()) === caption, 'same caption');

    // A SAS drive and an unknown drive (the empty frame).
    await expectAllLoaded(page, base + '/hdd_0_4', 'SAS drive page');
    check((await page.locator('table.grid tbody tr').count()) > 3, 'SAS parameter table');
    await page.screenshot({ path: path.join(shots, 'drive_0_4_sas.png'), fullPage: true });
    await expectAllLoaded(page, base + '/hdd_9_99', 'unknown drive');
    check((await page.locator('table.grid').count()) === 0, 'unknown drive: empty frame');

    // Drive 0,2's History (browser.sh waits until the monitor hands the sections over).
    await page.setViewportSize({ width: 1280, height: 800 });
    await expectAllLoaded(page, base + '/hdd_0_2', 'drive page with history');
    check((await page.locator('#c_hist').count()) === 1, 'drive 0,2 has a History section');
    if ((await page.locator('#c_hist').count()) === 1) {
      // The charts of every value that is shown, none drawn outside the screen.
      const chartsOutside = async () => page.$$eval('#c_hist svg', (svgs) => svgs
        .filter((s) => { const r = s.getBoundingClientRect(); return r.width < 150 || r.height < 50 || r.left < 0 || r.right > window.innerWidth + 1; })
        .map((s) => (s.querySelector('title') || {}).textContent));
      const charts = await page.locator('#c_hist svg').count();
      check(charts >= 3, `History charts (${charts})`);
      check((await page.locator('#c_hist .hist-head', { hasText: 'temperature: last ' }).count()) === 1,
        'temperature heading with its last value');
      check((await chartsOutside()).length === 0, `History charts inside the screen at 1280 ${await chartsOutside()}`);
      check((await sidewaysScroll(page)) <= 0, 'drive page with history: no sideways scroll at 1280');
      await page.locator('#c_hist').scrollIntoViewIfNeeded();
      await page.screenshot({ path: path.join(shots, 'drive_0_2_history_1280.png'), fullPage: true });
      await page.setViewportSize({ width: 390, height: 844 });
      check((await chartsOutside()).length === 0, `History charts inside the screen at 390 ${await chartsOutside()}`);
      await page.screenshot({ path: path.join(shots, 'drive_0_2_history_390.png'), fullPage: true });
      await page.setViewportSize({ width: 1280, height: 800 });
      const copy = page.locator('#c_hist_txt');
      check(await copy.isHidden(), 'History text copy hidden at first');
      await page.locator('a[href="javascript:toggle_collapse(\'c_hist_txt\')"]').click();
      const copyShown = await copy.waitFor({ state: 'visible', timeout: 5000 }).then(() => true, () => false);
      check(copyShown && /\|\s+temperature\s+\|/.test(await copy.innerText()), '"as text" shows the History text copy');
    }

    check(jsErrors.length === 0, `no script errors ${jsErrors.join('; ')}`);
  } finally {
    await browser.close();
  }
}

main().then(
  () => {
    console.log(failures === 0 ? 'browser test passed' : `browser test: ${failures} failure(s)`);
    process.exit(failures === 0 ? 0 : 1);
  },
  (e) => {
    console.error('browser test error:', e);
    process.exit(2);
  });
