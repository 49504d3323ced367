// Script library of the journal page. velmora.js, written by the program,
// calls add_place() once per place while the page is still loading; the
// places are kept as they come and drawn once the document is ready: the
// count and the rows in view in the first frame, the map in the next.
// Names, comments and links are only ever inserted as text, never as
// markup: the journal is plain data and must not be able to run anything.
// The page works from disk and asks the network for nothing.
// A journal holds up to 32,767 places, so the table draws only the rows in
// view and the map draws its markers on one canvas.

var velmora = {
    // Each place as velmora.js hands it over: name, link, comment, three
    // entries a place. Nothing more is done while the journal loads; a
    // place is decoded and formatted only when it is shown.
    raw: [],
    made: new Map(),             // index -> the place as shown, made on first show
    located: 0,                  // places whose position is in u and v
    u: new Float64Array(0),      // position on the whole-world map, 0 to 1 both ways; NaN: none
    v: new Float64Array(0),
    filterKeys: [],              // lower-case name and comment, made by the first filter
    journalMissing: false,
    shown: false,
    filter: "",
    matches: new Int32Array(0),  // indexes of the places that pass the filter, ascending
    picked: -1,                  // index of the place picked on the map or in the table
    cellChars: 500,              // more than any cell shows; the rest is cut before layout
    titleChars: 2000,            // hover texts longer than this are cut too
    tipChars: 200,
    // The globe of the desktop takes geo: links where the browser runs on
    // Linux; World Wind's worldwind:// links stay beside them.
    geoLinks: /linux/i.test((navigator.platform || "") + " " + (navigator.userAgent || ""))
};

function add_place(name, link, comment) {
    velmora.raw.push(name, link, comment);
    if (velmora.shown) velmora.refreshSoon();
}

// A missing velmora.js (no journal saved here yet) shows up as a load error.
window.addEventListener("error", function (e) {
    var src = e.target && e.target.src;
    if (src && /(^|\/)velmora\.js$/.test(src)) velmora.journalMissing = true;
}, true);

velmora.count = function () {
    return (velmora.raw.length / 3) | 0;
};

velmora.text = function (value) {
    return String(value == null ? "" : value);
};

// The place as the table and the tip show it.
velmora.place = function (index) {
    var p = velmora.made.get(index);
    if (p) return p;
    var raw = velmora.raw, link = velmora.text(raw[3 * index + 1]);
    var lat = velmora.coordinate(link, 1, 90), lon = velmora.coordinate(link, 2, 180);
    var onMap = lat === lat && lon === lon;
    p = {
        index: index,
        name: velmora.decode(raw[3 * index]),
        link: link,
        comment: velmora.decode(raw[3 * index + 2]),
        lat: onMap ? lat : NaN,
        lon: onMap ? lon : NaN
    };
    velmora.made.set(index, p);
    return p;
};

// Positions on the map of the places added since the last call.
velmora.locate = function () {
    var n = velmora.count(), from = velmora.located;
    if (from === n) return;
    if (velmora.u.length < n) {
        var u = new Float64Array(n), v = new Float64Array(n);
        u.set(velmora.u.subarray(0, from));
        v.set(velmora.v.subarray(0, from));
        velmora.u = u;
        velmora.v = v;
    }
    var raw = velmora.raw, us = velmora.u, vs = velmora.v;
    for (var i = from; i < n; i++) {
        var link = velmora.text(raw[3 * i + 1]);
        var lat = velmora.coordinate(link, 1, 90), lon = velmora.coordinate(link, 2, 180);
        var onMap = lat === lat && lon === lon;
        us[i] = onMap ? (lon + 180) / 360 : NaN;
        vs[i] = onMap ? (90 - lat) / 180 : NaN;
    }
    velmora.located = n;
};

// Turns back the entities the program writes: &gt; &lt; &quot; &#39; and
// decimal character references. "&" on its own is written as it is, so
// &amp; and other named entities are left untouched, as the program does.
// A reference to half of a surrogate pair shows as U+FFFD, as in HTML.
velmora.decode = function (text) {
    text = String(text == null ? "" : text);
    if (text.indexOf("&") >= 0) {
        text = text.replace(/&(gt|lt|quot|#39|#(\d{1,7}));/g, function (all, what, num) {
            switch (what) {
            case "gt": return ">";
            case "lt": return "<";
            case "quot": return "\"";
            case "#39": return "'";
            }
            var cp = parseInt(num, 10);
            if (cp >= 0xD800 && cp <= 0xDFFF) return "\uFFFD";
            if (cp === 0 || cp > 0x10FFFF) return all;
            return String.fromCodePoint(cp);
        });
    }
    return text;
};

// Half of a surrogate pair (only a hand-made journal holds one) shows as
// U+FFFD rather than as whatever the browser makes of it.
velmora.wellFormed = function (text) {
    if (text.isWellFormed) return text.isWellFormed() ? text : text.toWellFormed();
    return text.replace(/\p{Cs}/gu, "\uFFFD");
};

// Latitude and longitude are read as World Wind's layer export reads them:
// "&"-separated fields 1 and 2 by position, the text after the first "="
// (up to a second one), blanks ignored, then as much of a decimal number as
// stands there; anything else gives 0.
velmora.linkNumber = function (link, field) {
    var start = -1;
    for (var f = 0; f < field; f++) {
        start = link.indexOf("&", start + 1);
        if (start < 0) return 0;
    }
    var end = link.indexOf("&", start + 1);
    if (end < 0) end = link.length;
    var eq = link.indexOf("=", start + 1);
    if (eq < 0 || eq > end) return 0;
    var next = link.indexOf("=", eq + 1);
    if (next >= 0 && next < end) end = next;
    // The program writes plain decimals ("-33.86880"): read those without
    // the general rule below, which is many times slower. Up to 15 digits
    // are exact as a whole number, and one division rounds them just as
    // reading the text would.
    var i = eq + 1, negative = link.charCodeAt(i) === 45, point = -1, whole = 0;
    if (negative) i++;
    var digits = i;
    for (; i < end; i++) {
        var c = link.charCodeAt(i);
        if (c === 46 && point < 0) point = i;
        else if (c >= 48 && c <= 57) whole = whole * 10 + (c - 48);
        else break;
    }
    if (i === end && point > digits && point < end - 1 && end - digits <= 16) {
        var value = whole / velmora.tens[end - point - 1];
        return negative ? -value : value;
    }
    var m = /^[+-]?(\d+(\.\d+)?|\.\d+)([eE][+-]?\d+)?/.exec(link.slice(eq + 1, end).replace(/[ \t\n]/g, ""));
    return m ? parseFloat(m[0]) : 0;
};

velmora.tens = [1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15];

// A number too large for the globe is no position: NaN, shown as a dash
// and left off the map.
velmora.coordinate = function (link, field, limit) {
    var v = velmora.linkNumber(link, field);
    return isFinite(v) && Math.abs(v) <= limit ? v : NaN;
};

// Only a location link flies World Wind; anything else is never a link.
velmora.isWorldWindLink = function (link) {
    return link.slice(0, 12) === "worldwind://";
};

// "geo:48.8566,2.3522": degrees to seven decimals (about a centimetre),
// never with an exponent, which geo: links do not allow.
velmora.geoLink = function (lat, lon) {
    var number = function (v) {
        var text = v.toFixed(7).replace(/\.?0+$/, "");
        return text === "-0" ? "0" : text;
    };
    return "geo:" + number(lat) + "," + number(lon);
};

velmora.decimal = function (v) {
    return v === v ? String(Math.round(v * 100000) / 100000) : "\u2013";
};

// 48.85667 -> 48\u00B0 51' 24.0" N, seconds to a tenth.
velmora.dms = function (value, positive, negative) {
    if (value !== value) return "";
    var tenths = Math.round(Math.abs(value) * 36000);
    var deg = Math.floor(tenths / 36000);
    var min = Math.floor((tenths % 36000) / 600);
    var sec = (tenths % 600) / 10;
    var hemisphere = value < 0 && tenths > 0 ? negative : positive;
    return deg + "\u00B0 " + min + "\u2032 " + sec.toFixed(1) + "\u2033 " + hemisphere;
};

// A text as shown: the first `most` characters, with an ellipsis when cut
// (a surrogate pair is never split).
velmora.cut = function (text, most) {
    if (text.length > most) {
        var end = most - 1;
        var c = text.charCodeAt(end - 1);
        if (c >= 0xD800 && c <= 0xDBFF) end--;
        text = text.slice(0, end) + "\u2026";
    }
    return velmora.wellFormed(text);
};

velmora.el = function (tag, cls, text) {
    var e = document.createElement(tag);
    if (cls) e.className = cls;
    if (text !== undefined) e.textContent = text;
    return e;
};

velmora.nextFrame = function (f) {
    (window.requestAnimationFrame || setTimeout)(f);
};

// ----- the table -------------------------------------------------------
// Only the rows in view are in the document, between two empty rows as
// tall as the rows they stand for; every row has the same height.

// The row height and the table head are guessed until the first rows are
// laid out, so that the first frame forces no layout of its own.
velmora.table = { rowHeight: 44, head: 34, measured: false, first: -1, last: -1, overscan: 4 };

velmora.coordCell = function (cls, value, positive, negative) {
    var td = velmora.el("td", "coord " + cls);
    td.appendChild(velmora.el("span", "dec", velmora.decimal(value)));
    td.appendChild(velmora.el("span", "dms", velmora.dms(value, positive, negative)));
    return td;
};

velmora.row = function (p, odd) {
    var tr = velmora.el("tr", "place" + (odd ? " odd" : "") + (p.index === velmora.picked ? " picked" : ""));
    tr.id = "place-" + p.index;
    tr.appendChild(velmora.el("td", "num", String(p.index + 1)));
    tr.appendChild(velmora.el("td", "name", velmora.cut(p.name, velmora.cellChars)));
    tr.appendChild(velmora.el("td", "comment", velmora.cut(p.comment, velmora.cellChars)));
    tr.appendChild(velmora.coordCell("lat", p.lat, "N", "S"));
    tr.appendChild(velmora.coordCell("lon", p.lon, "E", "W"));
    var where = velmora.el("td", "link");
    if (velmora.isWorldWindLink(p.link)) {
        var a = velmora.el("a", "fly", "fly there");
        a.href = p.link;
        a.title = velmora.cut(p.link, velmora.titleChars);
        where.appendChild(a);
        if (velmora.geoLinks && p.lat === p.lat) {
            var geo = velmora.el("a", "geo", "on the globe");
            geo.href = velmora.geoLink(p.lat, p.lon);
            geo.title = "Show the place in the desktop's globe";
            where.appendChild(geo);
        }
    } else {
        where.appendChild(velmora.el("span", "plain", velmora.cut(p.link, velmora.cellChars)));
    }
    tr.appendChild(where);
    return tr;
};

velmora.gap = function (rows) {
    var tr = velmora.el("tr", "gap");
    var td = velmora.el("td");
    td.colSpan = 6;
    td.style.height = rows * velmora.table.rowHeight + "px";
    tr.appendChild(td);
    return tr;
};

// Draws the rows in view (and a few around them) unless they are there.
velmora.drawRows = function (again) {
    var t = velmora.table, box = document.getElementById("rowsbox");
    var n = velmora.matches.length;
    var top = (velmora.shown ? box.scrollTop : 0) - t.head;
    var first = Math.max(0, Math.min(n, Math.floor(top / t.rowHeight) - t.overscan));
    // The box grows with its rows up to a share of the window: until they
    // are drawn its own height says nothing.
    var last = Math.max(first, Math.min(n, Math.ceil((top + window.innerHeight) / t.rowHeight) + t.overscan));
    if (!again && first === t.first && last === t.last) return;
    t.first = first;
    t.last = last;
    var frag = document.createDocumentFragment();
    if (first > 0) frag.appendChild(velmora.gap(first));
    for (var i = first; i < last; i++) frag.appendChild(velmora.row(velmora.place(velmora.matches[i]), i % 2 === 1));
    if (n > last) frag.appendChild(velmora.gap(n - last));
    document.getElementById("places").replaceChildren(frag);
    if (!t.measured && velmora.shown) velmora.measureRows();
};

// The rows' height comes from the style sheet and the fonts: the first
// rows laid out tell it, and the gaps are set again if it was guessed
// wrong. Measured once (again after a resize), never per row.
velmora.measureRows = function () {
    var t = velmora.table, rows = document.querySelectorAll("#places tr.place");
    if (rows.length === 0) return;
    t.measured = true;
    t.head = document.querySelector("#table thead").offsetHeight;
    var first = rows[0].getBoundingClientRect(), n = rows.length - 1;
    var height = n > 0 ? (rows[n].getBoundingClientRect().top - first.top) / n : first.height;
    if (!(height > 0) || Math.abs(height - t.rowHeight) < 0.01) return;
    t.rowHeight = height;
    var gaps = document.querySelectorAll("#places tr.gap td");
    for (var i = 0; i < gaps.length; i++)
        gaps[i].style.height = (i === 0 && t.first > 0 ? t.first : velmora.matches.length - t.last) * height + "px";
};

// Scrolls the table so that the place at `pos` among the matches is in the
// middle of the part of the table in the window, drawing only the rows
// around it. The window itself scrolls only when it must, so that the map
// mostly stays where it is.
velmora.showRow = function (pos) {
    var box = document.getElementById("rowsbox");
    var t = velmora.table;
    if (!t.measured) velmora.measureRows();
    var head = t.head;
    var b = box.getBoundingClientRect();
    var top = Math.max(b.top + head, 0), bottom = Math.min(b.bottom, window.innerHeight);
    var few = bottom - top < 3 * t.rowHeight;
    if (few) {
        top = b.top + head;
        bottom = b.bottom;
    }
    box.scrollTop = head + pos * t.rowHeight - ((top + bottom - t.rowHeight) / 2 - b.top);
    velmora.drawRows(true);
    // The last rows cannot scroll up to the middle, and a table mostly
    // out of the window shows the row only if the window scrolls.
    var row = document.getElementById("place-" + velmora.matches[pos]);
    var r = row && row.getBoundingClientRect();
    if (r && (r.top < 0 || r.bottom > window.innerHeight)) row.scrollIntoView({ block: "nearest" });
    return row;
};

// Position of a place among the matches (which are in journal order), or -1.
velmora.matchPosition = function (index) {
    var m = velmora.matches, lo = 0, hi = m.length - 1;
    while (lo <= hi) {
        var mid = (lo + hi) >> 1;
        if (m[mid] === index) return mid;
        if (m[mid] < index) lo = mid + 1; else hi = mid - 1;
    }
    return -1;
};

velmora.pickPlace = function (index, scroll) {
    velmora.picked = index;
    var old = document.querySelectorAll("#places tr.picked");
    for (var i = 0; i < old.length; i++) old[i].classList.remove("picked");
    var pos = velmora.matchPosition(index);
    var row = scroll && pos >= 0 ? velmora.showRow(pos) : document.getElementById("place-" + index);
    if (row) row.classList.add("picked");
    velmora.drawMapSoon();
};

// A name, comment or plain link cut by the width of its column shows in
// full (or nearly: very long texts stay cut) under the mouse.
velmora.hoverCell = function (e) {
    var cell = e.target.closest && e.target.closest("td.name, td.comment, td.link");
    if (!cell || cell.title || cell.querySelector("a") || cell.scrollWidth <= cell.clientWidth) return;
    var index = Number(cell.parentNode.id.slice(6));
    if (!(index >= 0 && index < velmora.count())) return;
    var p = velmora.place(index);
    var text = cell.classList.contains("name") ? p.name : cell.classList.contains("comment") ? p.comment : p.link;
    cell.title = velmora.cut(text, velmora.titleChars);
};

velmora.clickRow = function (e) {
    if (e.target.closest("a")) return;
    var tr = e.target.closest("tr.place");
    if (tr) velmora.pickPlace(Number(tr.id.slice(6)), false);
};

// ----- filtering -------------------------------------------------------

velmora.filterText = function () {
    var box = document.getElementById("filter");
    return box ? box.value.toLowerCase() : "";
};

// What the filter looks at, for every place (or the first `most`): made
// once, while the page is idle after the map is drawn, or by the first
// filter typed before that.
velmora.makeKeys = function (most) {
    var raw = velmora.raw, keys = velmora.filterKeys, n = velmora.count();
    if (most < n) n = most;
    for (var i = keys.length; i < n; i++)
        keys.push((velmora.decode(raw[3 * i]) + "\n" + velmora.decode(raw[3 * i + 2])).toLowerCase());
    return keys;
};

velmora.makeKeysWhenIdle = function () {
    var later = window.requestIdleCallback || function (f) { setTimeout(f, 50); };
    later(function step() {
        var keys = velmora.makeKeys(velmora.filterKeys.length + 2048);
        if (keys.length < velmora.count()) later(step);
    });
};

velmora.match = function (filter) {
    // A longer filter only ever narrows the matches of a shorter one.
    var narrowing = velmora.shown && velmora.filter && filter.indexOf(velmora.filter) >= 0;
    var from = narrowing ? velmora.matches : null;
    var n = from ? from.length : velmora.count();
    var out = new Int32Array(n), k = 0;
    if (!filter) {
        for (; k < n; k++) out[k] = k;
    } else {
        var keys = velmora.makeKeys(Infinity);
        for (var j = 0; j < n; j++) {
            var i = from ? from[j] : j;
            if (keys[i].indexOf(filter) >= 0) out[k++] = i;
        }
    }
    // The same places as before (a letter more that all of them hold):
    // the same matches, so that the markers need not be drawn again.
    if (!(narrowing && k === n)) velmora.matches = out.subarray(0, k);
    velmora.filter = filter;
};

velmora.refresh = function () {
    velmora.match(velmora.filterText());

    var total = velmora.count();
    var noun = total === 1 ? " place" : " places";
    document.getElementById("count").textContent =
        velmora.filter ? velmora.matches.length + " of " + total + noun : total + noun;
    document.getElementById("nomatch").hidden = !(total > 0 && velmora.matches.length === 0);
    document.getElementById("rowsbox").hidden = total === 0;
    document.getElementById("missing").hidden = !(total === 0 && velmora.journalMissing);
    document.getElementById("empty").hidden = !(total === 0 && !velmora.journalMissing);
    if (velmora.shown) document.getElementById("rowsbox").scrollTop = 0;
    velmora.drawRows(true);
    if (velmora.shown) {
        velmora.drawMapSoon();
    } else {
        // The count and the rows go out in this frame, the map in the next.
        velmora.shown = true;
        velmora.nextFrame(function () { velmora.nextFrame(velmora.firstMap); });
    }
};

// The rows are laid out by now: their height is read without forcing a
// layout, before the map changes the page.
velmora.firstMap = function () {
    velmora.measureRows();
    velmora.drawMap();
    velmora.makeKeysWhenIdle();
};

velmora.refreshSoon = function () {
    if (velmora.refreshPending) return;
    velmora.refreshPending = true;
    velmora.nextFrame(function () { velmora.refreshPending = false; velmora.filter = null; velmora.refresh(); });
};

// ----- the map ---------------------------------------------------------

// Coarse outlines of the land masses, longitude and latitude pairs in
// degrees: enough to find one's way on the map. The program's About picture
// draws its globe from these same lines, read between the two marker lines.
// velmora.land: begin
velmora.land = [
    // Africa
    [-17.1,21, -13,27.7, -9.8,29.5, -6,35.8, -2,35.1, 3,36.8, 10,37.3, 11,33.5, 15,32.3, 20,30.9,
     25,31.6, 32.3,31.2, 34.2,27.8, 37.2,21, 39,16, 43.3,12.6, 51.2,11.8, 49.5,6, 42,-0.5, 39.5,-5,
     40.5,-10.5, 40.6,-15, 35.5,-23, 32.8,-26, 30,-31, 25.6,-34, 20,-34.8, 18.4,-34, 17.8,-30, 15.2,-27,
     14.5,-22, 11.8,-17.3, 13.5,-12, 13.2,-8.8, 12.2,-6, 9.3,-1, 9.8,3.5, 8.5,4.5, 5.5,4.3, 1.2,6,
     -4,5.2, -7.5,4.4, -11.5,7, -13.3,9.4, -16.7,12.4, -17.5,14.7],
    // Madagascar
    [44,-25, 47,-25, 50.5,-15.5, 49.2,-12, 44,-17],
    // Europe
    [-9.5,36.9, -9,43, -1.5,43.4, -4.5,48.4, 1.5,50.9, 4,51.5, 8.5,53.6, 9.5,57, 12,56, 10.5,54, 14,54,
     19.5,54.5, 21.3,57, 24,57.5, 28,59.5, 22.5,60.2, 25,65, 21.5,65.5, 17.5,62.5, 19,60, 16.5,57,
     12.5,55.5, 11,58.8, 5.3,59, 5,62, 10,64, 14.4,67.9, 19,70, 25.8,71, 31,70, 33,69, 40,67, 44,68.5,
     55,68.3, 60,69, 60,55, 50,47, 42,41.5, 36,41, 29,41, 26,40.5, 23.9,38, 22.5,36.5, 21,38.5,
     19.4,41.8, 13.5,45.6, 12.3,44.4, 16,41.4, 18.5,40.1, 15.7,38, 12.5,41.9, 10,44, 7,43.5, 3.2,43,
     3.2,42, 0.3,40, -2,36.8, -5.5,36],
    // Great Britain and Ireland
    [-5.7,50, 1.5,51, 1.7,52.7, 0,53.5, -1.5,55.5, -3,58.6, -5,58.6, -6.2,56.5, -4.8,55, -3,54,
     -4.5,53.3, -4.3,51.7, -5.7,51.7],
    [-10,51.6, -6,52, -6,54.2, -8,55.2, -10,54],
    // Asia with Anatolia and Arabia
    [60,69, 68,69, 73,72.5, 80,73, 87,75, 100,77, 113,73.5, 130,71, 140,72.5, 160,70, 180,69, 180,65,
     178,64.5, 170,60, 163,59.5, 156,51, 156,57.5, 143,59.3, 135,54.7, 141,48, 131,42.5, 129.5,36,
     126.5,34.5, 126,37.5, 121,40.5, 122,37, 119,34.5, 121.8,31, 119.5,25, 110,20.5, 108,21.5, 106,18,
     109,11.5, 105,8.5, 104,10.5, 100.5,13.5, 99,8, 103.5,1.3, 98,4, 98.5,12, 97.5,16.5, 94.5,18,
     91.8,22.3, 86.5,20, 80.2,15.5, 80,10, 77.5,8, 72.8,19, 70.2,23, 66.6,25.4, 61.5,25.2, 57.3,25.8,
     59.8,22.5, 55.7,17.8, 52,15.8, 45,12.8, 43.2,13.3, 39,21.5, 35,28, 34.5,31.5, 35.8,35.8, 36,36.8,
     30,36.4, 26.2,39.5, 29,41, 36,41.5, 41.5,41.5, 50,45, 60,55],
    // Japan
    [130,31.5, 135,33.5, 140,35, 141,38, 141.5,41.3, 140,40, 139,38, 136,36.5, 132,35, 130.9,34],
    // North America
    [-168,65.5, -162,70.2, -156.5,71.3, -141,69.7, -128,70, -115,68.5, -95,68, -88,68.5, -82,66.5,
     -87,64, -94,59, -92.5,57, -82.5,55, -79,51.5, -77,56, -78,62.4, -72,61.8, -65,60, -61,56, -56,52,
     -60,50, -66,49.3, -64,46.8, -60,46, -66,44.5, -70,43.7, -70.5,41.7, -74,40.5, -76,38, -75.5,35.2,
     -81,31.5, -80,27, -80.5,25.2, -82.5,27.8, -83.5,29.8, -89,30.3, -94,29.6, -97.3,27.5, -97.5,22,
     -95,18.7, -91.5,18.5, -90.5,21, -87,21.5, -88,16, -83.3,15, -83.7,11, -81.5,8.8, -79.5,9.5,
     -77.5,8.5, -79.7,7.3, -85.5,10, -88,13.2, -92.2,14.5, -96,15.7, -105,19.5, -105.7,23, -109.5,26,
     -112.8,31.5, -114.7,31.3, -112,28, -110,23, -112.2,24.8, -114.2,28, -115.7,30.5, -117.2,32.6,
     -120.6,34.5, -122.5,37.8, -124,40.4, -124.5,43, -124,46.5, -124.7,48.4, -127.5,50.5, -131,54,
     -135,57.5, -140,59.8, -146,61, -152,59, -157,58.5, -162,55, -158,58.7, -162,60, -166,62, -165,64.4],
    // South America
    [-77.5,8.5, -72,12, -64,10.6, -61,10.7, -57.5,6, -51.5,4.2, -50,0, -44.5,-2.5, -35.2,-5.5, -35,-9,
     -39,-13.5, -39.2,-17.8, -41,-22, -44.5,-23.2, -48.5,-26.5, -48.7,-28.5, -53,-33.7, -56.8,-36.5,
     -57.5,-38.2, -62,-39, -65,-41, -63.8,-42.4, -67.5,-46.4, -65.8,-47.8, -69,-50.3, -68.4,-52.5,
     -70,-54.9, -74.5,-52.5, -75.5,-46.9, -73.5,-42, -73.6,-37, -71.5,-32, -70.4,-23, -70.3,-18.4,
     -75.8,-14.5, -79.5,-7.5, -81.2,-5.5, -80,-2, -80.1,0.9, -78.8,1.5, -77.3,4, -77.5,6.5],
    // Greenland
    [-73,78, -60,82, -32,83.5, -18,81, -19,75, -22,70.5, -32,68, -40,65, -43,60, -48,61, -52,65, -54,70,
     -58,75.5, -66,76.5],
    // Australia
    [114,-22, 113.5,-26, 115,-34, 118,-35, 123.5,-33.8, 129,-31.6, 134,-32.7, 138,-35.5, 140,-38,
     144,-38.2, 146.5,-39, 150,-37.5, 153.3,-28.5, 153,-25, 149,-21.5, 146,-18.8, 145.4,-14.5,
     143.5,-14.2, 142.5,-10.7, 141.5,-13, 141.6,-17, 140.5,-17.5, 137.8,-16, 136.5,-12, 132.5,-11.5,
     130,-13, 129,-15, 126,-14, 122.2,-17.3, 121,-19.5],
    // Antarctica
    [-180,-78, -150,-77, -120,-73, -90,-72.5, -75,-70, -60,-64, -57,-63.5, -60,-70, -45,-78, -20,-73,
     0,-70, 30,-69, 60,-67, 90,-66.5, 120,-66.5, 150,-68.5, 165,-72, 170,-77, 180,-78, 180,-90,
     -180,-90]
];
// velmora.land: end

// The view: the top left corner (u0, v0) in whole-map units (0 to 1 both
// ways) and the magnification; at zoom 1 the whole world fills the canvas.
velmora.map = {
    zoom: 1, u0: 0, v0: 0,
    maxZoom: 8192,
    width: 0, height: 0, ratio: 1,
    shown: 0,                    // places with a marker in view
    pending: false,
    drag: null,                  // where a press on the map began
    dragged: false,
    stamps: {},
    layer: null,                 // the markers' canvas, drawn over the map in one go
    pixels: null,
    // The globe: the point in the middle of it, and its magnification (at
    // 1 the whole globe fits the canvas).
    globe: false,
    lon0: 0, lat0: 20, globeZoom: 1,
    maxGlobeZoom: 256,
    turned: false,               // the globe moved since it was shown
    movedAt: -Infinity,          // when the view last moved
    stillMs: 200,                // still this long, the outlines are drawn finer
    fineTimer: 0,
    scale: ""                    // the outlines drawn: "110m", "50m", or "" (the coarse land)
};

// A marker as the pixels it covers around its centre, in device pixels:
// the offsets into a row-major buffer `stride` wide and the colour of each
// (red, with a white rim if `rimmed`, its edge smoothed). Writing these
// straight into a pixel buffer costs far less than drawing a path, or an
// image, per place.
velmora.stamp = function (radius, rimmed, stride) {
    var m = velmora.map, key = radius + "/" + rimmed + "/" + stride;
    if (m.stamps[key]) return m.stamps[key];
    var rim = Math.max(1, radius / 3), outer = radius + rim / 2, inner = rimmed ? radius - rim / 2 : outer + 1;
    var reach = Math.ceil(outer + 1), offsets = [], xs = [], ys = [], colours = [], alphas = [];
    for (var dy = -reach; dy <= reach; dy++) {
        for (var dx = -reach; dx <= reach; dx++) {
            var d = Math.sqrt(dx * dx + dy * dy);
            var alpha = Math.max(0, Math.min(1, outer + 0.5 - d));
            if (alpha === 0) continue;
            var t = Math.max(0, Math.min(1, d - inner + 0.5));        // 0 inside, 1 on the rim
            var r = Math.round(255), gr = Math.round(75 + t * 180), b = Math.round(58 + t * 197);
            var a = Math.round(alpha * 255);
            offsets.push(dy * stride + dx);
            xs.push(dx);
            ys.push(dy);
            colours.push(velmora.littleEndian ? ((a << 24) | (b << 16) | (gr << 8) | r) >>> 0
                                              : ((r << 24) | (gr << 16) | (b << 8) | a) >>> 0);
            alphas.push(a);
        }
    }
    m.stamps[key] = { reach: reach, offsets: Int32Array.from(offsets), xs: Int32Array.from(xs), ys: Int32Array.from(ys),
                      colours: Uint32Array.from(colours), alphas: Uint8Array.from(alphas) };
    return m.stamps[key];
};

velmora.littleEndian = new Uint8Array(new Uint32Array([1]).buffer)[0] === 1;

// Grid spacing in degrees for a view that shows `span` degrees over
// `pixels`: lines at least 45 pixels apart.
velmora.gridStep = function (span, pixels) {
    var steps = [30, 15, 10, 5, 2, 1, 0.5, 0.25, 0.1, 0.05, 0.02, 0.01, 0.005, 0.002, 0.001];
    for (var i = steps.length - 1; i >= 0; i--)
        if (steps[i] / span * pixels >= 45) return steps[i];
    return 30;
};

velmora.degrees = function (value, positive, negative) {
    var text = String(Math.abs(Math.round(value * 1000) / 1000));
    return text + "\u00B0" + (value < 0 ? negative : value > 0 ? positive : "");
};

velmora.drawMap = function () {
    var canvas = document.getElementById("map");
    if (!canvas || !canvas.getContext) return;
    var m = velmora.map;
    velmora.locate();
    velmora.sizeMap(canvas);
    var w = m.width, h = m.height;
    if (!(w > 0)) return;                                  // not laid out: nothing to draw on
    var g = canvas.getContext("2d");
    g.setTransform(m.ratio, 0, 0, m.ratio, 0, 0);
    var sx = w * m.zoom, sy = h * m.zoom, u0 = m.u0, v0 = m.v0;
    var x = function (lon) { return ((lon + 180) / 360 - u0) * sx; };
    var y = function (lat) { return ((90 - lat) / 180 - v0) * sy; };
    // The map under the markers is drawn again only when the view changed,
    // not when only the places shown did (a filter, a pick).
    var scale = velmora.outlineScale();
    var view = [m.globe, w, h, m.ratio, scale, m.zoom, m.u0, m.v0, m.globeZoom, m.lon0, m.lat0].join(" ");
    if (!m.base || m.baseView !== view) {
        m.base = m.base || document.createElement("canvas");
        m.base.width = canvas.width;
        m.base.height = canvas.height;
        var b = m.base.getContext("2d");
        b.setTransform(m.ratio, 0, 0, m.ratio, 0, 0);
        if (m.globe) {
            velmora.drawGlobe(b, w, h, scale);
        } else {
            velmora.drawSea(b, w, h);
            if (!velmora.drawOutlines(b, w, h, scale)) velmora.drawLand(b, x, y);
            velmora.drawGrid(b, w, h, x, y);
        }
        m.baseView = view;
    }
    g.setTransform(1, 0, 0, 1, 0, 0);
    g.drawImage(m.base, 0, 0);
    g.setTransform(m.ratio, 0, 0, m.ratio, 0, 0);
    velmora.drawMarkers(g, w, h);
    m.scale = velmora.outlines(scale) ? scale : velmora.outlines("110m") ? "110m" : "";
    velmora.showMapState(canvas);
};

// The canvas half as high as it is wide, in device pixels.
velmora.sizeMap = function (canvas) {
    var m = velmora.map;
    var w = canvas.clientWidth, h = Math.round(w / 2);
    var ratio = window.devicePixelRatio || 1;
    if (m.width === w && m.ratio === ratio) return;
    canvas.style.height = h + "px";
    canvas.width = Math.round(w * ratio);
    canvas.height = Math.round(h * ratio);
    m.width = w;
    m.height = h;
    m.ratio = ratio;
};

velmora.drawSea = function (g, w, h) {
    var sea = g.createLinearGradient(0, 0, 0, h);
    sea.addColorStop(0, "#0d2a52");
    sea.addColorStop(0.5, "#16407a");
    sea.addColorStop(1, "#0d2a52");
    g.fillStyle = sea;
    g.fillRect(0, 0, w, h);
};

// The land in one path, so that overlapping outlines show no seams.
velmora.drawLand = function (g, x, y) {
    g.fillStyle = "#3f6b3a";
    g.beginPath();
    velmora.land.forEach(function (outline) {
        for (var k = 0; k < outline.length; k += 2) {
            if (k === 0) g.moveTo(x(outline[k]), y(outline[k + 1]));
            else g.lineTo(x(outline[k]), y(outline[k + 1]));
        }
        g.closePath();
    });
    g.fill("nonzero");
};

// What the map shows, for the zoom buttons and for scripts that look at it.
velmora.showMapState = function (canvas) {
    var m = velmora.map;
    canvas.setAttribute("data-markers", String(m.shown));
    var zoom = m.globe ? m.globeZoom : m.zoom;
    canvas.setAttribute("data-zoom", String(zoom));
    canvas.setAttribute("data-view", m.globe ? "globe" : "map");
    canvas.setAttribute("data-scale", m.scale);
    document.getElementById("zoomin").disabled = zoom >= (m.globe ? m.maxGlobeZoom : m.maxZoom);
    document.getElementById("zoomout").disabled = zoom <= 1;
    document.getElementById("zoomreset").disabled = zoom <= 1;
    // The globe needs the outlines and their libraries: its button shows
    // once the map is drawn with them.
    document.getElementById("globe").hidden = !velmora.outlines("110m");
};

// Graticule at a spacing that suits the zoom (every 15 degrees for the
// whole world), the equator and meridian brighter, and both tropics.
velmora.drawGrid = function (g, w, h, x, y) {
    var m = velmora.map;
    var west = m.u0 * 360 - 180, east = west + 360 / m.zoom;
    var north = 90 - m.v0 * 180, south = north - 180 / m.zoom;
    var step = velmora.gridStep(east - west, w);
    var every = step * w / (east - west) >= 90 ? 1 : 2;   // labels on every line, or every other
    g.lineWidth = 1;
    g.font = "10px sans-serif";
    g.fillStyle = "rgba(210, 225, 255, 0.75)";
    var first = Math.ceil(west / step), last = Math.floor(east / step);
    for (var i = first; i <= last; i++) {
        var lon = i * step, px = Math.round(x(lon)) + 0.5;
        g.strokeStyle = i === 0 ? "rgba(210, 225, 255, 0.55)" : "rgba(210, 225, 255, 0.18)";
        g.beginPath(); g.moveTo(px, 0); g.lineTo(px, h); g.stroke();
        if (i % every === 0 && lon > -180 && lon < 180 && px < w - 30) g.fillText(velmora.degrees(lon, "E", "W"), px + 3, h - 4);
    }
    first = Math.ceil(south / step);
    last = Math.floor(north / step);
    for (i = first; i <= last; i++) {
        var lat = i * step, py = Math.round(y(lat)) + 0.5;
        if (lat <= -90 || lat >= 90) continue;
        g.strokeStyle = i === 0 ? "rgba(210, 225, 255, 0.55)" : "rgba(210, 225, 255, 0.18)";
        g.beginPath(); g.moveTo(0, py); g.lineTo(w, py); g.stroke();
        if (i % every === 0 && py > 12) g.fillText(velmora.degrees(lat, "N", "S"), 3, py - 3);
    }
    g.strokeStyle = "rgba(255, 205, 80, 0.8)";
    g.fillStyle = "rgba(255, 205, 80, 0.9)";
    g.setLineDash([5, 4]);
    [[23.44, "Tropic of Cancer", -4], [-23.44, "Tropic of Capricorn", 12]].forEach(function (t) {
        var py = y(t[0]);
        if (py < 0 || py > h) return;
        g.beginPath(); g.moveTo(0, py); g.lineTo(w, py); g.stroke();
        g.fillText(t[1], w - g.measureText(t[1]).width - 8, py + t[2]);
    });
    g.setLineDash([]);
};

// One marker per place that passes the filter and lies in view, stamped
// into a pixel buffer that is then drawn over the map. A marker whose
// centre is already covered by another is not stamped: the map looks the
// same, and a crowd of places costs little more than the pixels it covers.
velmora.drawMarkers = function (g, w, h) {
    var m = velmora.map, matches = velmora.matches, ratio = m.ratio;
    var W = Math.round(w * ratio), H = Math.round(h * ratio);
    if (!m.layer || m.layer.width !== W || m.layer.height !== H) {
        m.layer = document.createElement("canvas");
        m.layer.width = W;
        m.layer.height = H;
        m.pixels = m.layer.getContext("2d").createImageData(W, H);
        m.words = new Uint32Array(m.pixels.data.buffer);
        m.cover = new Uint8Array(W * H);    // opacity of the marker pixel there
        m.dirty = null;
    }
    var sx = w * m.zoom * ratio, sy = h * m.zoom * ratio, u0 = m.u0, v0 = m.v0;
    // Nothing the markers depend on changed (a place was picked): the
    // layer drawn last time serves again.
    var state = m.globe ? [matches, "globe", m.lon0, m.lat0, m.globeZoom, W, H] : [matches, sx, sy, u0, v0, W, H];
    if (!m.stamped || state.some(function (x, i) { return x !== m.stamped[i]; })) {
        velmora.stampMarkers(W, H, sx, sy);
        m.stamped = state;
    }
    g.setTransform(1, 0, 0, 1, 0, 0);
    g.drawImage(m.layer, 0, 0);
    g.setTransform(ratio, 0, 0, ratio, 0, 0);
    var picked = velmora.picked >= 0 && velmora.matchPosition(velmora.picked) >= 0 ? velmora.picked : -1;
    var at = picked >= 0 ? velmora.onCanvas(picked) : null;
    if (at) {
        g.fillStyle = "#ffd21f";
        g.strokeStyle = "#16325c";
        g.lineWidth = 1.5;
        g.beginPath();
        g.arc(at[0], at[1], 5.5, 0, 2 * Math.PI);
        g.fill();
        g.stroke();
    }
};

velmora.stampMarkers = function (W, H, sx, sy) {
    var m = velmora.map, matches = velmora.matches, us = velmora.u, vs = velmora.v;
    var u0 = m.u0, v0 = m.v0, words = m.words, cover = m.cover;
    // Only the rows and columns the markers covered last time are cleared
    // and copied out: on a globe, or zoomed in on a region, that is little
    // of the canvas.
    var was = m.dirty && m.dirty[2] <= W && m.dirty[3] <= H ? m.dirty : [0, 0, W, H];
    for (var row = was[1]; row < was[3]; row++) {
        words.fill(0, row * W + was[0], row * W + was[2]);
        cover.fill(0, row * W + was[0], row * W + was[2]);
    }
    var inView = new Int32Array(2 * matches.length), shown = 0, i, j, px, py;
    if (m.globe) {
        var gv = velmora.globeView(), gr = gv.r * m.ratio, gx = gv.cx * m.ratio, gy = gv.cy * m.ratio;
        var t = velmora.trig(), cosLat = t.cosLat, sinLat = t.sinLat, cosLon = t.cosLon, sinLon = t.sinLon;
        for (j = 0; j < matches.length; j++) {
            i = matches[j];
            var cl = cosLat[i], cd = cosLon[i] * gv.cosLon0 + sinLon[i] * gv.sinLon0;
            // The far side of the globe (and places with no position, NaN) are left out.
            if (!(gv.sinLat0 * sinLat[i] + gv.cosLat0 * cl * cd > 0)) continue;
            px = Math.round(gx + gr * cl * (sinLon[i] * gv.cosLon0 - cosLon[i] * gv.sinLon0));
            if (!(px >= -8 && px < W + 8)) continue;
            py = Math.round(gy - gr * (gv.cosLat0 * sinLat[i] - gv.sinLat0 * cl * cd));
            if (!(py >= -8 && py < H + 8)) continue;
            inView[2 * shown] = px;
            inView[2 * shown + 1] = py;
            shown++;
        }
    }
    for (j = 0; j < matches.length && !m.globe; j++) {
        i = matches[j];
        px = Math.round((us[i] - u0) * sx);
        if (!(px >= -8 && px < W + 8)) continue;         // also leaves out places with no position
        py = Math.round((vs[i] - v0) * sy);
        if (!(py >= -8 && py < H + 8)) continue;
        inView[2 * shown] = px;
        inView[2 * shown + 1] = py;
        shown++;
    }
    // Smaller markers, and at last plain dots, as the places crowd.
    var s = shown <= 2000 ? velmora.stamp(3.5 * m.ratio, true, W)
          : shown <= 8000 ? velmora.stamp(2 * m.ratio, true, W) : velmora.stamp(1.5 * m.ratio, false, W);
    var offsets = s.offsets, colours = s.colours, alphas = s.alphas, reach = s.reach, n = offsets.length;
    var left = W, top = H, right = 0, bottom = 0;
    for (i = 0; i < 2 * shown; i += 2) {
        var x = inView[i], y = inView[i + 1], centre = y * W + x;
        if (x < left) left = x;
        if (x > right) right = x;
        if (y < top) top = y;
        if (y > bottom) bottom = y;
        var inside = x >= reach && x < W - reach && y >= reach && y < H - reach;
        if (inside && cover[centre] === 255) continue;
        for (var k = 0; k < n; k++) {
            if (!inside) {
                var ox = x + s.xs[k], oy = y + s.ys[k];
                if (ox < 0 || ox >= W || oy < 0 || oy >= H) continue;
            }
            var o = centre + offsets[k];
            if (alphas[k] >= cover[o]) {
                cover[o] = alphas[k];
                words[o] = colours[k];
            }
        }
    }
    m.dirty = shown === 0 ? [0, 0, 0, 0]
        : [Math.max(0, left - reach), Math.max(0, top - reach), Math.min(W, right + reach + 1), Math.min(H, bottom + reach + 1)];
    var x0 = Math.min(was[0], m.dirty[0]), y0 = Math.min(was[1], m.dirty[1]);
    var x1 = Math.max(was[2], m.dirty[2]), y1 = Math.max(was[3], m.dirty[3]);
    if (x1 > x0 && y1 > y0) m.layer.getContext("2d").putImageData(m.pixels, 0, 0, x0, y0, x1 - x0, y1 - y0);
    m.shown = shown;
};

// ----- coasts, borders and the globe -----------------------------------
// Natural Earth's outlines at two scales (world-110m.js and world-50m.js
// keep them as TopoJSON text, read only when first drawn), made into shapes
// by topojson and drawn by d3-geo. A page without them draws velmora.land.

velmora.atlas = {};              // "110m", "50m" -> { land, coast, borders }, or null: not there

velmora.outlines = function (scale) {
    var a = velmora.atlas;
    if (scale in a) return a[scale];
    a[scale] = null;
    var data = window.worldAtlas;
    if (typeof d3 === "undefined" || typeof topojson === "undefined" || !data ||
        typeof data["land-" + scale] !== "string" || typeof data["countries-" + scale] !== "string") return null;
    // A changed copy in the save folder that does not read leaves the map
    // to the coarse land, as if it were not there.
    try {
        var land = JSON.parse(data["land-" + scale]), countries = JSON.parse(data["countries-" + scale]);
        a[scale] = {
            land: velmora.pieces(topojson.feature(land, land.objects.land), "Polygon"),
            coast: velmora.pieces(topojson.mesh(land, land.objects.land), "LineString"),
            // Only the lines between two countries: the coast is drawn already.
            borders: velmora.pieces(topojson.mesh(countries, countries.objects.countries, function (p, q) { return p !== q; }),
                                    "LineString")
        };
    } catch (e) {
        a[scale] = null;
    }
    return a[scale];
};

// A shape cut into its polygons (or lines), each with its bounds in
// degrees, so that a view draws only those that reach into it.
velmora.pieces = function (geo, type) {
    var out = [];
    var add = function (coordinates) {
        if (type === "LineString") {
            velmora.coastLines(coordinates).forEach(function (line) { out.push(velmora.bounded(line, line)); });
        } else {
            out.push(velmora.bounded(coordinates, coordinates[0]));
        }
    };
    (geo.type === "FeatureCollection" ? geo.features.map(function (f) { return f.geometry; }) : [geo]).forEach(function (g) {
        if (!g) return;
        if (g.type === type) add(g.coordinates);
        else if (g.type === "Multi" + type) g.coordinates.forEach(add);
    });
    return out;
};

velmora.bounded = function (coordinates, points) {
    var west = 180, east = -180, south = 90, north = -90;
    for (var k = 0; k < points.length; k++) {
        var p = points[k];
        if (p[0] < west) west = p[0];
        if (p[0] > east) east = p[0];
        if (p[1] < south) south = p[1];
        if (p[1] > north) north = p[1];
    }
    return { coordinates: coordinates, west: west, east: east, south: south, north: north, cap: null };
};

// The smallest cap about a piece's mean point that holds its points (the
// middle as a unit vector, the radius in radians), and its rings as unit
// vectors: made when the globe first needs them.
velmora.cap = function (piece) {
    if (piece.cap) return piece.cap;
    var rings = typeof piece.coordinates[0][0] === "number" ? [piece.coordinates] : piece.coordinates;
    var d = Math.PI / 180, cx = 0, cy = 0, cz = 0;
    var vectors = rings.map(function (ring) {
        var v = new Float64Array(3 * ring.length);
        for (var k = 0; k < ring.length; k++) {
            var cl = Math.cos(ring[k][1] * d);
            v[3 * k] = cl * Math.cos(ring[k][0] * d);
            v[3 * k + 1] = cl * Math.sin(ring[k][0] * d);
            v[3 * k + 2] = Math.sin(ring[k][1] * d);
        }
        return v;
    });
    var outer = vectors[0], k;
    for (k = 0; k < outer.length; k += 3) {
        cx += outer[k];
        cy += outer[k + 1];
        cz += outer[k + 2];
    }
    var length = Math.hypot(cx, cy, cz) || 1, least = 1;
    cx /= length;
    cy /= length;
    cz /= length;
    for (k = 0; k < outer.length; k += 3) least = Math.min(least, cx * outer[k] + cy * outer[k + 1] + cz * outer[k + 2]);
    piece.cap = { x: cx, y: cy, z: cz, radius: Math.acos(Math.max(-1, least)), rings: vectors };
    return piece.cap;
};

// The outlines as the flat map shows them, in degrees (x the longitude, y
// the latitude downwards): cut by d3 at the date line and closed over the
// poles, once, so that a frame of the map only scales and shifts them.
velmora.flatOutlines = function (scale) {
    var o = velmora.outlines(scale);
    if (!o) return null;
    if (!o.flat) o.flat = { land: velmora.flatten(o.land, "MultiPolygon"), coast: velmora.flatten(o.coast, "MultiLineString"),
                            borders: velmora.flatten(o.borders, "MultiLineString") };
    return o.flat;
};

velmora.flatten = function (pieces, type) {
    var out = [], points = null, polygons = type === "MultiPolygon", across = [];
    var done = function () {
        if (points && points.length >= 4) {
            var west = 180, east = -180, south = 90, north = -90;
            for (var k = 0; k < points.length; k += 2) {
                if (points[k] < west) west = points[k];
                if (points[k] > east) east = points[k];
                if (-points[k + 1] < south) south = -points[k + 1];
                if (-points[k + 1] > north) north = -points[k + 1];
            }
            out.push({ points: Float64Array.from(points), west: west, east: east, south: south, north: north });
        }
        points = null;
    };
    // Most pieces stay clear of the date line and the poles: on the flat
    // map they are their own points. Lines are split where they jump across
    // the date line; polygons that reach it go through d3.
    pieces.forEach(function (p) {
        if (polygons && (p.west <= -179.99 || p.east >= 179.99)) {
            across.push(p.coordinates);
            return;
        }
        (polygons ? p.coordinates : [p.coordinates]).forEach(function (ring) {
            points = [];
            for (var k = 0; k < ring.length; k++) {
                if (k > 0 && Math.abs(ring[k][0] - ring[k - 1][0]) > 180) {
                    done();
                    points = [];
                }
                points.push(ring[k][0], -ring[k][1]);
            }
            done();
        });
    });
    var record = {
        beginPath: function () {},
        moveTo: function (x, y) { done(); points = [x, y]; },
        lineTo: function (x, y) { points.push(x, y); },
        closePath: done,
        arc: function () {}
    };
    var plain = d3.geoEquirectangular().scale(180 / Math.PI).translate([0, 0]).precision(0);
    d3.geoPath(plain, record)({ type: type, coordinates: across });
    done();
    return out;
};

// Where the outlines run along the date line (the land is cut there) or
// along a pole, they are no coast: those edges are left out of the lines.
velmora.coastLines = function (line) {
    var lines = [], from = 0;
    var seam = function (p, q) {
        return (Math.abs(p[0]) > 179.999 && Math.abs(q[0]) > 179.999) || (p[1] < -89.999 && q[1] < -89.999);
    };
    for (var k = 1; k <= line.length; k++) {
        if (k < line.length && !seam(line[k - 1], line[k])) continue;
        if (k - from > 1) lines.push(line.slice(from, k));
        from = k;
    }
    return lines;
};

// The scale to draw at: the coarse one for the whole world and while the
// view moves; the fine one once it is still and zoomed in.
velmora.outlineScale = function () {
    var m = velmora.map;
    if ((m.globe ? m.globeZoom : m.zoom) < 3) return "110m";
    var still = performance.now() - m.movedAt;
    if (still >= m.stillMs) return "50m";
    clearTimeout(m.fineTimer);
    m.fineTimer = setTimeout(velmora.drawMapSoon, m.stillMs - still + 10);
    return "110m";
};

velmora.moved = function () {
    velmora.map.movedAt = performance.now();
};

// Land, coast and borders, each in one path so that neighbouring polygons
// show no seams; trace(pieces, polygons) adds those in view to the path.
velmora.drawShapes = function (g, o, trace) {
    g.beginPath();
    trace(o.land, true);
    g.fillStyle = "#3f6b3a";
    g.fill();
    g.lineJoin = "round";
    g.lineWidth = 1;
    g.strokeStyle = "rgba(225, 236, 200, 0.75)";
    g.beginPath();
    trace(o.coast, false);
    g.stroke();
    g.strokeStyle = "rgba(255, 240, 215, 0.6)";
    g.setLineDash([4, 2]);
    g.beginPath();
    trace(o.borders, false);
    g.stroke();
    g.setLineDash([]);
};

// The map's outlines; false when there are none to draw.
velmora.drawOutlines = function (g, w, h, scale) {
    var o = velmora.flatOutlines(scale) || velmora.flatOutlines("110m");
    if (!o) return false;
    // The same plate carree as the markers: the whole world is `sx` wide.
    var m = velmora.map, sx = w * m.zoom, k = sx / 360, tx = (0.5 - m.u0) * sx, ty = (0.5 - m.v0) * h * m.zoom;
    var west = m.u0 * 360 - 180, east = west + 360 / m.zoom;
    var north = 90 - m.v0 * 180, south = north - 180 / m.zoom;
    velmora.drawShapes(g, o, function (pieces, polygons) {
        for (var i = 0; i < pieces.length; i++) {
            var p = pieces[i], c = p.points;
            if (p.east < west || p.west > east || p.north < south || p.south > north) continue;
            g.moveTo(c[0] * k + tx, c[1] * k + ty);
            for (var j = 2; j < c.length; j += 2) g.lineTo(c[j] * k + tx, c[j + 1] * k + ty);
            if (polygons) g.closePath();
        }
    });
    return true;
};

// The globe's centre and radius on the canvas, and the sines and cosines
// of the point in its middle.
velmora.globeView = function () {
    var m = velmora.map, lon0 = m.lon0 * Math.PI / 180, lat0 = m.lat0 * Math.PI / 180;
    return { cx: m.width / 2, cy: m.height / 2, r: 0.46 * m.height * m.globeZoom,
             cosLon0: Math.cos(lon0), sinLon0: Math.sin(lon0), cosLat0: Math.cos(lat0), sinLat0: Math.sin(lat0) };
};

// Sines and cosines of every place's position, made once for the globe.
velmora.trig = function () {
    var t = velmora.trigs, n = velmora.located;
    if (t && t.n === n) return t;
    t = velmora.trigs = { n: n, cosLat: new Float64Array(n), sinLat: new Float64Array(n),
                          cosLon: new Float64Array(n), sinLon: new Float64Array(n) };
    for (var i = 0; i < n; i++) {
        var lat = (0.5 - velmora.v[i]) * Math.PI, lon = (velmora.u[i] - 0.5) * 2 * Math.PI;
        t.cosLat[i] = Math.cos(lat);
        t.sinLat[i] = Math.sin(lat);
        t.cosLon[i] = Math.cos(lon);
        t.sinLon[i] = Math.sin(lon);
    }
    return t;
};

// Where place i is drawn on the canvas, or null (no position, or on the
// far side of the globe).
velmora.onCanvas = function (i) {
    var m = velmora.map, u = velmora.u[i], v = velmora.v[i];
    if (!(u === u)) return null;
    if (!m.globe) return [(u - m.u0) * m.width * m.zoom, (v - m.v0) * m.height * m.zoom];
    var gv = velmora.globeView(), t = velmora.trig();
    var cl = t.cosLat[i], cd = t.cosLon[i] * gv.cosLon0 + t.sinLon[i] * gv.sinLon0;
    if (!(gv.sinLat0 * t.sinLat[i] + gv.cosLat0 * cl * cd > 0)) return null;
    return [gv.cx + gv.r * cl * (t.sinLon[i] * gv.cosLon0 - t.cosLon[i] * gv.sinLon0),
            gv.cy - gv.r * (gv.cosLat0 * t.sinLat[i] - gv.sinLat0 * cl * cd)];
};

// The globe as seen from far above its middle point: space around it, the
// sea, the land with its coast and borders, and the graticule.
velmora.drawGlobe = function (g, w, h, scale) {
    var m = velmora.map, gv = velmora.globeView();
    g.fillStyle = "#07122a";
    g.fillRect(0, 0, w, h);
    var projection = d3.geoOrthographic().scale(gv.r).translate([gv.cx, gv.cy])
        .rotate([-m.lon0, -m.lat0]).clipAngle(90).precision(0.7).clipExtent([[-4, -4], [w + 4, h + 4]]);
    var path = d3.geoPath(projection, g);
    var sea = g.createRadialGradient(gv.cx - gv.r / 3, gv.cy - gv.r / 3, gv.r / 10, gv.cx, gv.cy, gv.r);
    sea.addColorStop(0, "#1d4f8f");
    sea.addColorStop(1, "#0d2a52");
    g.fillStyle = sea;
    g.beginPath();
    path({ type: "Sphere" });
    g.fill();
    // A piece on the far side is left out; one wholly on the near side is
    // drawn straight from its unit vectors (no clipping needed); d3 clips
    // those across the rim. A cap of over a quarter turn always goes to d3.
    var cl = Math.cos(m.lat0 * Math.PI / 180), x = cl * gv.cosLon0, y = cl * gv.sinLon0, z = gv.sinLat0;
    var ax = -gv.sinLon0, ay = gv.cosLon0;                                        // screen x, as a dot product
    var bx = -gv.sinLat0 * gv.cosLon0, by = -gv.sinLat0 * gv.sinLon0, bz = gv.cosLat0;   // screen y, upwards
    velmora.drawShapes(g, velmora.outlines(scale) || velmora.outlines("110m"), function (pieces, polygons) {
        var across = [];
        for (var i = 0; i < pieces.length; i++) {
            var c = velmora.cap(pieces[i]);
            var away = c.radius > 1.4 ? 0 : Math.acos(Math.max(-1, Math.min(1, x * c.x + y * c.y + z * c.z)));
            if (c.radius > 1.4 || away + c.radius >= 1.55) {
                if (c.radius > 1.4 || away - c.radius < 1.6) across.push(pieces[i].coordinates);
                continue;
            }
            for (var r = 0; r < c.rings.length; r++) {
                var v = c.rings[r];
                g.moveTo(gv.cx + gv.r * (ax * v[0] + ay * v[1]), gv.cy - gv.r * (bx * v[0] + by * v[1] + bz * v[2]));
                for (var k = 3; k < v.length; k += 3)
                    g.lineTo(gv.cx + gv.r * (ax * v[k] + ay * v[k + 1]), gv.cy - gv.r * (bx * v[k] + by * v[k + 1] + bz * v[k + 2]));
                if (polygons) g.closePath();
            }
        }
        path({ type: polygons ? "MultiPolygon" : "MultiLineString", coordinates: across });
    });
    g.strokeStyle = "rgba(210, 225, 255, 0.22)";
    g.lineWidth = 1;
    g.beginPath();
    path(velmora.graticule || (velmora.graticule = d3.geoGraticule10()));
    g.stroke();
    g.strokeStyle = "rgba(210, 225, 255, 0.5)";
    g.beginPath();
    path({ type: "Sphere" });
    g.stroke();
};

// "Globe" shows the places on a globe turned to the middle of the map, as
// near as the map was; "Map" shows the map again, where it was unless the
// globe was turned, and then where the globe was.
velmora.toggleGlobe = function () {
    var m = velmora.map, span = 2 * Math.PI * 0.23;     // the map's zoom that shows a globe's scale
    if (!m.globe) {
        m.lon0 = (m.u0 + 0.5 / m.zoom) * 360 - 180;
        m.lat0 = 90 - (m.v0 + 0.5 / m.zoom) * 180;
        m.globeZoom = Math.max(1, Math.min(m.maxGlobeZoom, m.zoom / span));
        m.turned = false;
    } else if (m.turned) {
        m.zoom = Math.max(1, Math.min(m.maxZoom, m.globeZoom * span));
        m.u0 = (m.lon0 + 180) / 360 - 0.5 / m.zoom;
        m.v0 = (90 - m.lat0) / 180 - 0.5 / m.zoom;
        velmora.clampView();
    }
    m.globe = !m.globe;
    var button = document.getElementById("globe");
    button.textContent = m.globe ? "Map" : "Globe";
    button.title = m.globe ? "Show the flat map" : "Show the places on a globe";
    velmora.hideTip();
    velmora.drawMapSoon();
};

// Turns the globe by a drag of (dx, dy) pixels from where it stood.
velmora.turnGlobe = function (lon0, lat0, dx, dy) {
    var m = velmora.map, degrees = 180 / Math.PI / velmora.globeView().r;
    m.lon0 = ((lon0 - dx * degrees) % 360 + 540) % 360 - 180;
    m.lat0 = Math.max(-90, Math.min(90, lat0 + dy * degrees));
    m.turned = true;
    velmora.moved();
    velmora.drawMapSoon();
};

velmora.drawMapSoon = function () {
    var m = velmora.map;
    if (m.pending) return;
    m.pending = true;
    velmora.nextFrame(function () { m.pending = false; velmora.drawMap(); });
};

// ----- zooming and panning ---------------------------------------------

// Keeps the world filling the canvas: no panning off its edges.
velmora.clampView = function () {
    var m = velmora.map, most = 1 - 1 / m.zoom;
    m.u0 = Math.max(0, Math.min(most, m.u0));
    m.v0 = Math.max(0, Math.min(most, m.v0));
};

// Zooms by `factor` keeping the point (x, y) of the canvas where it is.
// False when the zoom is at its limit already.
velmora.zoomAt = function (factor, x, y) {
    var m = velmora.map;
    if (m.globe) return velmora.zoomGlobe(factor);
    var zoom = Math.max(1, Math.min(m.maxZoom, m.zoom * factor));
    if (zoom === m.zoom) return false;
    var u = m.u0 + x / (m.width * m.zoom), v = m.v0 + y / (m.height * m.zoom);
    m.zoom = zoom;
    m.u0 = u - x / (m.width * zoom);
    m.v0 = v - y / (m.height * zoom);
    velmora.clampView();
    velmora.hideTip();
    velmora.moved();
    velmora.drawMapSoon();
    return true;
};

// The globe zooms about its middle.
velmora.zoomGlobe = function (factor) {
    var m = velmora.map;
    var zoom = Math.max(1, Math.min(m.maxGlobeZoom, m.globeZoom * factor));
    if (zoom === m.globeZoom) return false;
    m.globeZoom = zoom;
    m.turned = true;
    velmora.hideTip();
    velmora.moved();
    velmora.drawMapSoon();
    return true;
};

velmora.panBy = function (dx, dy) {
    var m = velmora.map;
    m.u0 -= dx / (m.width * m.zoom);
    m.v0 -= dy / (m.height * m.zoom);
    velmora.clampView();
    velmora.moved();
    velmora.drawMapSoon();
};

velmora.resetView = function () {
    var m = velmora.map;
    if (m.globe) {
        m.globeZoom = 1;
        m.turned = true;
        velmora.drawMapSoon();
        return;
    }
    m.zoom = 1;
    m.u0 = m.v0 = 0;
    velmora.drawMapSoon();
};

velmora.pointer = function (e) {
    var r = document.getElementById("map").getBoundingClientRect();
    return { x: e.clientX - r.left, y: e.clientY - r.top };
};

// A wheel step of 100 zooms by the square root of two; at the limit the
// wheel scrolls the page as usual.
velmora.wheel = function (e) {
    var dy = e.deltaY * (e.deltaMode === 1 ? 33 : e.deltaMode === 2 ? 400 : 1);
    dy = Math.max(-400, Math.min(400, dy));
    var at = velmora.pointer(e);
    if (velmora.zoomAt(Math.pow(2, -dy / 200), at.x, at.y)) e.preventDefault();
};

velmora.press = function (e) {
    if (e.button !== 0) return;
    var m = velmora.map;
    m.drag = { x: e.clientX, y: e.clientY, u0: m.u0, v0: m.v0, lon0: m.lon0, lat0: m.lat0 };
    m.dragged = false;
    try { e.target.setPointerCapture(e.pointerId); } catch (err) { /* a pointer the page cannot hold */ }
};

velmora.move = function (e) {
    var m = velmora.map, d = m.drag;
    if (!d || !(e.buttons & 1)) {
        m.drag = null;
        velmora.hover(e);
        return;
    }
    if (!m.dragged && Math.abs(e.clientX - d.x) + Math.abs(e.clientY - d.y) < 4) return;
    m.dragged = true;
    velmora.hideTip();
    document.getElementById("map").classList.add("dragging");
    if (m.globe) {
        velmora.turnGlobe(d.lon0, d.lat0, e.clientX - d.x, e.clientY - d.y);
        return;
    }
    m.u0 = d.u0;
    m.v0 = d.v0;
    velmora.panBy(e.clientX - d.x, e.clientY - d.y);
};

velmora.release = function () {
    velmora.map.drag = null;
    document.getElementById("map").classList.remove("dragging");
};

velmora.keys = function (e) {
    var m = velmora.map, step = 60;
    // The arrows move the map as a drag does: the globe turns.
    var move = function (dx, dy) {
        if (m.globe) velmora.turnGlobe(m.lon0, m.lat0, dx, dy);
        else velmora.panBy(dx, dy);
    };
    switch (e.key) {
    case "+": case "=": velmora.zoomAt(2, m.width / 2, m.height / 2); break;
    case "-": velmora.zoomAt(0.5, m.width / 2, m.height / 2); break;
    case "0": velmora.resetView(); break;
    case "ArrowLeft": move(step, 0); break;
    case "ArrowRight": move(-step, 0); break;
    case "ArrowUp": move(0, step); break;
    case "ArrowDown": move(0, -step); break;
    default: return;
    }
    e.preventDefault();
};

// ----- naming the places under the mouse --------------------------------

// The indexes of the places that pass the filter within 6 pixels of
// (x, y), nearest first.
velmora.placesAt = function (x, y) {
    var m = velmora.map, matches = velmora.matches, us = velmora.u, vs = velmora.v;
    var sx = m.width * m.zoom, sy = m.height * m.zoom;
    var found = [];
    if (velmora.located < velmora.count()) return found;     // the map is not drawn yet
    for (var j = 0; j < matches.length && m.globe; j++) {
        var at = velmora.onCanvas(matches[j]);
        if (!at) continue;
        var ex = at[0] - x, ey = at[1] - y, e2 = ex * ex + ey * ey;
        if (e2 <= 36) found.push({ index: matches[j], d: e2 });
    }
    for (j = 0; j < matches.length && !m.globe; j++) {
        var i = matches[j];
        var dx = (us[i] - m.u0) * sx - x;
        if (!(dx <= 6 && dx >= -6)) continue;
        var dy = (vs[i] - m.v0) * sy - y;
        if (!(dy <= 6 && dy >= -6)) continue;
        var d = dx * dx + dy * dy;
        if (d <= 36) found.push({ index: i, d: d });
    }
    found.sort(function (a, b) { return a.d - b.d || a.index - b.index; });
    return found.map(function (f) { return f.index; });
};

// The name of the nearest place in a tip beside the mouse, kept inside
// the map however long the name.
velmora.hover = function (e) {
    var canvas = document.getElementById("map");
    var tip = document.getElementById("tip");
    var at = velmora.pointer(e);
    var here = velmora.placesAt(at.x, at.y);
    canvas.classList.toggle("over", here.length > 0);
    if (here.length === 0) {
        tip.hidden = true;
        return;
    }
    var name = velmora.cut(velmora.place(here[0]).name, velmora.tipChars).replace(/[\r\n\t]/g, " ");
    // The name isolated, so that right-to-left text in it cannot carry
    // the count along.
    tip.replaceChildren(velmora.el("bdi", null, name));
    if (here.length > 1) tip.appendChild(document.createTextNode(" (+" + (here.length - 1) + " more)"));
    tip.hidden = false;
    var w = velmora.map.width, h = velmora.map.height;
    var tw = tip.offsetWidth, th = tip.offsetHeight;
    var left = at.x + 12 + tw <= w ? at.x + 12 : at.x - 12 - tw;
    var top = at.y - 28 >= 0 ? at.y - 28 : at.y + 16;
    tip.style.left = Math.max(0, Math.min(w - tw, left)) + "px";
    tip.style.top = Math.max(0, Math.min(h - th, top)) + "px";
};

velmora.hideTip = function () {
    document.getElementById("tip").hidden = true;
};

// Clicking a marker shows its place in the table.
velmora.pick = function (e) {
    if (velmora.map.dragged) {
        velmora.map.dragged = false;
        return;
    }
    var at = velmora.pointer(e);
    var here = velmora.placesAt(at.x, at.y);
    if (here.length > 0) velmora.pickPlace(here[0], true);
};

velmora.start = function () {
    document.getElementById("filter").addEventListener("input", velmora.refresh);
    var box = document.getElementById("rowsbox");
    box.addEventListener("scroll", function () { velmora.drawRows(false); });
    var body = document.getElementById("places");
    body.addEventListener("mouseover", velmora.hoverCell);
    body.addEventListener("click", velmora.clickRow);

    var canvas = document.getElementById("map");
    canvas.addEventListener("pointermove", velmora.move);
    canvas.addEventListener("pointerdown", velmora.press);
    canvas.addEventListener("pointerup", velmora.release);
    canvas.addEventListener("pointercancel", velmora.release);
    canvas.addEventListener("pointerleave", velmora.hideTip);
    canvas.addEventListener("click", velmora.pick);
    canvas.addEventListener("dblclick", function (e) { var at = velmora.pointer(e); velmora.zoomAt(2, at.x, at.y); });
    canvas.addEventListener("wheel", velmora.wheel, { passive: false });
    canvas.addEventListener("keydown", velmora.keys);
    document.getElementById("zoomin").addEventListener("click", function () {
        velmora.zoomAt(2, velmora.map.width / 2, velmora.map.height / 2);
    });
    document.getElementById("zoomout").addEventListener("click", function () {
        velmora.zoomAt(0.5, velmora.map.width / 2, velmora.map.height / 2);
    });
    document.getElementById("zoomreset").addEventListener("click", velmora.resetView);
    document.getElementById("globe").addEventListener("click", velmora.toggleGlobe);
    window.addEventListener("resize", function () {
        velmora.table.measured = false;
        velmora.drawMapSoon();
        velmora.drawRows(false);
    });
    velmora.refresh();
};

if (document.readyState === "loading") {
    document.addEventListener("DOMContentLoaded", velmora.start);
} else {
    velmora.start();
}
