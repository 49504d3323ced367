// The journal page in real headless Chromium, opened from disk: a journal
// written by the program's own writer, with hostile names, comments and
// links, must show as plain text in journal order, fly only worldwind://
// links, run nothing injected, draw a marker per place, and never touch the
// network. Set VELMORA_SCREENSHOTS to a folder to keep screenshots.
//
// Environment: VELMORA_RESOURCES (the web view sources), VELMORA_WRITEJOURNAL
// (the journal writer), CHROMIUM (default /usr/bin/chromium).

"use strict";
const test = require("node:test");
const assert = require("node:assert/strict");
const fs = require("node:fs");
const os = require("node:os");
const path = require("node:path");
const { execFileSync } = require("node:child_process");
const { pathToFileURL } = require("node:url");
const puppeteer = require("puppeteer-core");

const resources = process.env.VELMORA_RESOURCES;
const writeJournal = process.env.VELMORA_WRITEJOURNAL;
const shots = process.env.VELMORA_SCREENSHOTS;
const webFiles = ["velmoralib.js", "velmora.html", "velmora.css", "bg.jpg"];

let browser;
let scratch;

// A save folder with the web view files and, unless `journal` is null, a
// journal: "hostile", a count of places, or "" for an empty file.
function saveFolder(name, journal) {
    const dir = path.join(scratch, name);
    fs.mkdirSync(dir);
    for (const f of webFiles) fs.copyFileSync(path.join(resources, f), path.join(dir, f));
    if (journal === "") fs.writeFileSync(path.join(dir, "velmora.js"), "");
    else if (journal !== null) execFileSync(writeJournal, [dir, String(journal)]);
    return dir;
}

// Opens a page from disk, recording every request that is not a local file
// (and stopping it) and every dialog an injected script might open.
async function open(file) {
    const page = await browser.newPage();
    await page.setViewport({ width: 1100, height: 900 });
    const outside = [];
    const dialogs = [];
    const errors = [];
    await page.setRequestInterception(true);
    page.on("request", (r) => {
        if (r.url().startsWith("file:")) r.continue();
        else { outside.push(r.url()); r.abort(); }
    });
    page.on("dialog", (d) => { dialogs.push(d.message()); d.dismiss(); });
    page.on("pageerror", (e) => errors.push(String(e)));
    const started = Date.now();
    await page.goto(pathToFileURL(file).href, { waitUntil: "load" });
    if (file.endsWith("velmora.html")) await page.waitForFunction("velmora.shown === true");
    const loadMs = Date.now() - started;
    return { page, outside, dialogs, errors, loadMs };
}

async function screenshot(page, name) {
    if (!shots) return;
    fs.mkdirSync(shots, { recursive: true });
    await page.screenshot({ path: path.join(shots, name), fullPage: false });
}

async function rows(page) {
    return page.$$eval("#places tr", (trs) => trs.map((tr) => {
        const a = tr.querySelector("td.link a");
        return {
            num: tr.querySelector("td.num").textContent,
            name: tr.querySelector("td.name").textContent,
            comment: tr.querySelector("td.comment").textContent,
            latDms: tr.querySelector("td.lat .dms").textContent,
            lonDms: tr.querySelector("td.lon .dms").textContent,
            lat: tr.querySelector("td.lat .dec").textContent,
            lon: tr.querySelector("td.lon .dec").textContent,
            href: a ? a.getAttribute("href") : null,
            text: tr.querySelector("td.link").textContent,
        };
    }));
}

async function filter(page, text) {
    // Focused and emptied through the page: a click could land elsewhere
    // while rows are still being added under the table.
    await page.$eval("#filter", (e) => { e.focus(); e.value = ""; e.dispatchEvent(new Event("input")); });
    if (text) await page.keyboard.type(text);
    return page.$eval("#count", (e) => e.textContent);
}

test.before(async () => {
    scratch = fs.mkdtempSync(path.join(os.tmpdir(), "velmora-web-"));
    browser = await puppeteer.launch({
        executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
        headless: true,
        userDataDir: path.join(scratch, "profile"),
        args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
               "--disable-component-update", "--no-first-run"],
    });
});

test.after(async () => {
    if (browser) await browser.close();
    fs.rmSync(scratch, { recursive: true, force: true });
});

test("hostile journal: text in order, only worldwind:// links fly, nothing injected runs", async () => {
    const dir = saveFolder("hostile", "hostile");
    const expected = JSON.parse(fs.readFileSync(path.join(dir, "expected.json"), "utf8"));
    const { page, outside, dialogs, errors } = await open(path.join(dir, "velmora.html"));
    await screenshot(page, "webview-hostile.png");

    const shown = await rows(page);
    assert.equal(shown.length, expected.length);
    expected.forEach((e, i) => {
        const r = shown[i];
        assert.equal(r.num, String(i + 1));
        assert.equal(r.name, e.name, `name of place ${i + 1}`);
        assert.equal(r.comment, e.comment, `comment of place ${i + 1}`);
        if (e.link.startsWith("worldwind://")) assert.equal(r.href, e.link, `link of place ${i + 1}`);
        else { assert.equal(r.href, null, `place ${i + 1} must not fly`); assert.equal(r.text, e.link); }
        assert.ok(Math.abs(Number(r.lat) - e.lat) < 1e-4 && Math.abs(Number(r.lon) - e.lon) < 1e-4,
                  `coordinates of place ${i + 1}: ${r.lat}, ${r.lon}`);
    });

    // Nothing became markup, no script ran, no dialog opened.
    const found = await page.evaluate(() => ({
        pwned: window.__pwned,
        scripts: document.scripts.length,
        images: document.images.length,
        links: Array.from(document.querySelectorAll("a[href]")).map((a) => a.getAttribute("href")),
    }));
    assert.equal(found.pwned, undefined);
    assert.equal(found.scripts, 2);
    assert.equal(found.images, 0);
    assert.ok(found.links.every((h) => h.startsWith("worldwind://")), found.links.join("\n"));
    assert.deepEqual(dialogs, []);
    assert.deepEqual(errors, []);

    // Degrees, minutes and seconds, both hemispheres.
    assert.equal(shown[0].latDms, "48\u00B0 51\u2032 23.8\u2033 N");
    assert.equal(shown[0].lonDms, "2\u00B0 21\u2032 7.9\u2033 E");
    assert.equal(shown[5].latDms, "22\u00B0 54\u2032 24.5\u2033 S");
    assert.equal(shown[5].lonDms, "43\u00B0 10\u2032 22.4\u2033 W");

    // A marker per place, and the name of the one under the mouse.
    assert.equal(await page.$eval("#map", (c) => c.getAttribute("data-markers")), String(expected.length));
    const at = await page.$eval("#map", (c) => {
        const r = c.getBoundingClientRect();
        return { x: r.left + (139.6503 + 180) / 360 * r.width, y: r.top + (90 - 35.6762) / 180 * r.height };
    });
    await page.mouse.move(at.x, at.y);
    const tip = await page.$eval("#tip", (t) => ({ hidden: t.hidden, text: t.textContent }));
    assert.equal(tip.hidden, false);
    assert.equal(tip.text, expected[3].name);
    await screenshot(page, "webview-hover.png");

    // The filter looks at names and comments, whatever the case.
    assert.equal(await filter(page, "Z\u00DCRICH"), "1 of 9 places");
    assert.deepEqual((await rows(page)).map((r) => r.num), ["3"]);
    assert.equal(await filter(page, "script"), "2 of 9 places");
    assert.deepEqual((await rows(page)).map((r) => r.num), ["1", "8"]);
    assert.equal(await page.$eval("#map", (c) => c.getAttribute("data-markers")), "2");
    assert.equal(await filter(page, "nowhere at all"), "0 of 9 places");
    assert.equal(await page.$eval("#nomatch", (e) => e.hidden), false);
    assert.equal(await filter(page, ""), "9 places");

    assert.deepEqual(outside, []);
    await page.close();
});

test("no journal yet, and an empty one, say how to add the first place", async () => {
    for (const [name, journal, shownId] of [["missing", null, "#missing"], ["empty", "", "#empty"]]) {
        const dir = saveFolder(name, journal);
        const { page, outside, errors } = await open(path.join(dir, "velmora.html"));
        const state = await page.evaluate((id) => ({
            note: !document.querySelector(id).hidden,
            text: document.querySelector(id).textContent,
            table: !document.getElementById("table").hidden,
            count: document.getElementById("count").textContent,
        }), shownId);
        assert.equal(state.note, true, name);
        assert.match(state.text, /To add the first place/);
        assert.equal(state.table, false);
        assert.equal(state.count, "0 places");
        assert.deepEqual(outside, []);
        assert.deepEqual(errors, []);
        if (journal === null) await screenshot(page, "webview-missing.png");
        await page.close();
    }
});

test("a full journal of 32,767 places loads and filters", async () => {
    const five = saveFolder("five", 5);
    let opened = await open(path.join(five, "velmora.html"));
    const fiveMs = opened.loadMs;
    await screenshot(opened.page, "webview-5.png");
    await opened.page.close();

    const full = saveFolder("full", 32767);
    opened = await open(path.join(full, "velmora.html"));
    const { page, outside, errors } = opened;
    console.log(`load time: 5 places ${fiveMs} ms, 32,767 places ${opened.loadMs} ms`);
    await screenshot(page, "webview-32767.png");
    assert.equal(await page.$eval("#count", (e) => e.textContent), "32767 places");
    assert.equal(await page.$eval("#map", (c) => c.getAttribute("data-markers")), "32767");
    // Rows are drawn a page at a time, the rest as the table scrolls.
    const drawn = (await rows(page)).length;
    assert.ok(drawn >= 200 && drawn < 32767, `${drawn} rows drawn`);
    // Scrolling may draw more on its own meanwhile; the button adds a page at least.
    await page.$eval("#more", (b) => b.click());
    const after = (await rows(page)).length;
    assert.ok(after >= drawn + 200 && after < 32767, `${after} rows drawn after "more"`);

    const t = Date.now();
    assert.equal(await filter(page, "place 32767"), "1 of 32767 places");
    console.log(`filtering 32,767 places: ${Date.now() - t} ms for ${"place 32767".length} keystrokes`);
    assert.deepEqual((await rows(page)).map((r) => r.name), ["Place 32767"]);
    assert.deepEqual(outside, []);
    assert.deepEqual(errors, []);
    await page.close();
});

test("the help page opens from disk without the network", async () => {
    const { page, outside, errors } = await open(path.join(resources, "help.html"));
    assert.match(await page.title(), /Help/);
    assert.deepEqual(outside, []);
    assert.deepEqual(errors, []);
    await screenshot(page, "help.png");
    await page.close();
});
