// Script library of the journal page. velmora.js, written by the program,
// calls add_place() once per place while the page is still loading; the
// places are collected and drawn once the document is ready.
// Names, comments and links are only ever inserted as text, never as
// markup: the journal is plain data and must not be able to run anything.
// The page works from disk and asks the network for nothing.

var velmora = {
    places: [],
    journalMissing: false,
    shown: false,
    pageSize: 200,      // table rows drawn at a time; more as the user scrolls
    matches: [],        // indexes of the places that pass the filter
    drawnRows: 0
};

function add_place(name, link, comment) {
    velmora.places.push(velmora.makePlace(velmora.places.length, name, link, comment));
    if (velmora.shown) velmora.refresh();
}

// A missing velmora.js (no journal saved here yet) shows up as a load error.
window.addEventListener("error", function (e) {
    var src = e.target && e.target.src;
    if (src && /(^|\/)velmora\.js$/.test(src)) velmora.journalMissing = true;
}, true);

velmora.makePlace = function (index, name, link, comment) {
    link = String(link == null ? "" : link);
    var place = {
        index: index,
        name: velmora.decode(name),
        link: link,
        comment: velmora.decode(comment),
        lat: velmora.linkNumber(link, 1),
        lon: velmora.linkNumber(link, 2)
    };
    place.key = (place.name + "\n" + place.comment).toLowerCase();
    return place;
};

// Turns back the entities the program writes: &gt; &lt; &quot; &#39; and
// decimal character references. "&" on its own is written as it is, so
// &amp; and other named entities are left untouched, as the program does.
velmora.decode = function (text) {
    text = String(text == null ? "" : text);
    return text.replace(/&(gt|lt|quot|#39|#(\d{1,7}));/g, function (all, what, num) {
        switch (what) {
        case "gt": return ">";
        case "lt": return "<";
        case "quot": return "\"";
        case "#39": return "'";
        }
        var cp = parseInt(num, 10);
        if (cp === 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return all;
        return String.fromCodePoint ? String.fromCodePoint(cp) : all;
    });
};

// Latitude and longitude are read as World Wind's layer export reads them:
// "&"-separated fields 1 and 2 by position, the text after the first "="
// (up to a second one), blanks ignored, then as much of a decimal number as
// stands there; anything else gives 0.
velmora.linkNumber = function (link, field) {
    var piece = link.split("&")[field];
    if (piece === undefined) return 0;
    var parts = piece.split("=");
    if (parts.length < 2) return 0;
    var m = /^[+-]?(\d+(\.\d+)?|\.\d+)([eE][+-]?\d+)?/.exec(parts[1].replace(/[ \t\n]/g, ""));
    if (!m) return 0;
    var v = parseFloat(m[0]);
    return isFinite(v) ? v : 0;
};

// Only a location link flies World Wind; anything else is never a link.
velmora.isWorldWindLink = function (link) {
    return link.slice(0, 12) === "worldwind://";
};

velmora.decimal = function (v) {
    return String(Math.round(v * 100000) / 100000);
};

// 48.85667 -> 48\u00B0 51' 24.0" N, seconds to a tenth.
velmora.dms = function (value, positive, negative) {
    var tenths = Math.round(Math.abs(value) * 36000);
    var deg = Math.floor(tenths / 36000);
    var min = Math.floor((tenths % 36000) / 600);
    var sec = (tenths % 600) / 10;
    var hemisphere = value < 0 && tenths > 0 ? negative : positive;
    return deg + "\u00B0 " + min + "\u2032 " + sec.toFixed(1) + "\u2033 " + hemisphere;
};

velmora.el = function (tag, cls, text) {
    var e = document.createElement(tag);
    if (cls) e.className = cls;
    if (text !== undefined) e.textContent = text;
    return e;
};

// ----- the table -------------------------------------------------------

velmora.row = function (p) {
    var tr = velmora.el("tr");
    tr.id = "place-" + p.index;
    tr.appendChild(velmora.el("td", "num", String(p.index + 1)));
    tr.appendChild(velmora.el("td", "name", p.name));
    tr.appendChild(velmora.el("td", "comment", p.comment));
    var lat = velmora.el("td", "coord lat");
    lat.appendChild(velmora.el("span", "dec", velmora.decimal(p.lat)));
    lat.appendChild(velmora.el("span", "dms", velmora.dms(p.lat, "N", "S")));
    tr.appendChild(lat);
    var lon = velmora.el("td", "coord lon");
    lon.appendChild(velmora.el("span", "dec", velmora.decimal(p.lon)));
    lon.appendChild(velmora.el("span", "dms", velmora.dms(p.lon, "E", "W")));
    tr.appendChild(lon);
    var where = velmora.el("td", "link");
    if (velmora.isWorldWindLink(p.link)) {
        var a = velmora.el("a", "fly", "fly there");
        a.href = p.link;
        a.title = p.link;
        where.appendChild(a);
    } else {
        where.appendChild(velmora.el("span", "plain", p.link));
    }
    tr.appendChild(where);
    return tr;
};

// Draws the next page of matching rows.
velmora.moreRows = function () {
    var body = document.getElementById("places");
    var end = Math.min(velmora.matches.length, velmora.drawnRows + velmora.pageSize);
    var frag = document.createDocumentFragment();
    for (var i = velmora.drawnRows; i < end; i++) frag.appendChild(velmora.row(velmora.places[velmora.matches[i]]));
    body.appendChild(frag);
    velmora.drawnRows = end;
    var more = document.getElementById("more");
    var left = velmora.matches.length - end;
    more.hidden = left <= 0;
    more.textContent = "Show more (" + left + " left)";
};

velmora.filterText = function () {
    var box = document.getElementById("filter");
    return box ? box.value.toLowerCase() : "";
};

velmora.refresh = function () {
    var filter = velmora.filterText();
    velmora.matches = [];
    for (var i = 0; i < velmora.places.length; i++)
        if (!filter || velmora.places[i].key.indexOf(filter) >= 0) velmora.matches.push(i);

    var body = document.getElementById("places");
    while (body.firstChild) body.removeChild(body.firstChild);
    velmora.drawnRows = 0;
    velmora.moreRows();

    var total = velmora.places.length;
    var noun = total === 1 ? " place" : " places";
    document.getElementById("count").textContent =
        filter ? velmora.matches.length + " of " + total + noun : total + noun;
    document.getElementById("nomatch").hidden = !(total > 0 && velmora.matches.length === 0);
    document.getElementById("table").hidden = total === 0;
    document.getElementById("missing").hidden = !(total === 0 && velmora.journalMissing);
    document.getElementById("empty").hidden = !(total === 0 && !velmora.journalMissing);
    velmora.drawMap();
    velmora.shown = true;
};

// ----- the map ---------------------------------------------------------

velmora.map = { index: null, cell: 8, width: 0, height: 0 };

velmora.project = function (lat, lon, w, h) {
    var x = (Math.max(-180, Math.min(180, lon)) + 180) / 360 * w;
    var y = (90 - Math.max(-90, Math.min(90, lat))) / 180 * h;
    return [x, y];
};

velmora.drawMap = function () {
    var canvas = document.getElementById("map");
    if (!canvas || !canvas.getContext) return;
    var w = canvas.clientWidth, h = Math.round(w / 2);
    var ratio = window.devicePixelRatio || 1;
    canvas.style.height = h + "px";
    canvas.width = Math.round(w * ratio);
    canvas.height = Math.round(h * ratio);
    var g = canvas.getContext("2d");
    g.setTransform(ratio, 0, 0, ratio, 0, 0);

    var sea = g.createLinearGradient(0, 0, 0, h);
    sea.addColorStop(0, "#0d2a52");
    sea.addColorStop(0.5, "#16407a");
    sea.addColorStop(1, "#0d2a52");
    g.fillStyle = sea;
    g.fillRect(0, 0, w, h);

    // Graticule every 15 degrees, labelled every 30.
    g.lineWidth = 1;
    g.font = "10px sans-serif";
    g.fillStyle = "rgba(210, 225, 255, 0.75)";
    for (var lon = -180; lon <= 180; lon += 15) {
        var x = Math.round((lon + 180) / 360 * w) + 0.5;
        g.strokeStyle = lon === 0 ? "rgba(210, 225, 255, 0.55)" : "rgba(210, 225, 255, 0.18)";
        g.beginPath(); g.moveTo(x, 0); g.lineTo(x, h); g.stroke();
        if (lon % 30 === 0 && lon > -180 && lon < 180)
            g.fillText(Math.abs(lon) + "\u00B0" + (lon < 0 ? "W" : lon > 0 ? "E" : ""), x + 3, h - 4);
    }
    for (var lat = -75; lat <= 75; lat += 15) {
        var y = Math.round((90 - lat) / 180 * h) + 0.5;
        g.strokeStyle = lat === 0 ? "rgba(210, 225, 255, 0.55)" : "rgba(210, 225, 255, 0.18)";
        g.beginPath(); g.moveTo(0, y); g.lineTo(w, y); g.stroke();
        if (lat % 30 === 0)
            g.fillText(Math.abs(lat) + "\u00B0" + (lat < 0 ? "S" : lat > 0 ? "N" : ""), 3, y - 3);
    }
    // Both tropics.
    g.strokeStyle = "rgba(255, 205, 80, 0.8)";
    g.setLineDash([5, 4]);
    [23.44, -23.44].forEach(function (t) {
        var y = (90 - t) / 180 * h;
        g.beginPath(); g.moveTo(0, y); g.lineTo(w, y); g.stroke();
    });
    g.setLineDash([]);
    g.fillStyle = "rgba(255, 205, 80, 0.9)";
    g.fillText("Tropic of Cancer", w - 95, (90 - 23.44) / 180 * h - 4);
    g.fillText("Tropic of Capricorn", w - 110, (90 + 23.44) / 180 * h + 12);

    // One marker per place passing the filter, indexed by cell for hovering.
    var index = {}, cell = velmora.map.cell, drawn = 0;
    g.fillStyle = "#ff4b3a";
    g.strokeStyle = "rgba(255, 255, 255, 0.9)";
    var few = velmora.matches.length <= 2000;
    for (var i = 0; i < velmora.matches.length; i++) {
        var p = velmora.places[velmora.matches[i]];
        var at = velmora.project(p.lat, p.lon, w, h);
        if (few) {
            g.beginPath(); g.arc(at[0], at[1], 3.5, 0, 2 * Math.PI); g.fill(); g.stroke();
        } else {
            g.fillRect(at[0] - 1.5, at[1] - 1.5, 3, 3);
        }
        var k = Math.floor(at[0] / cell) + "," + Math.floor(at[1] / cell);
        (index[k] || (index[k] = [])).push(p.index);
        drawn++;
    }
    canvas.setAttribute("data-markers", String(drawn));
    velmora.map.index = index;
    velmora.map.width = w;
    velmora.map.height = h;
};

// The places under the mouse, nearest first (within 6 pixels).
velmora.placesAt = function (x, y) {
    var cell = velmora.map.cell, found = [];
    var cx = Math.floor(x / cell), cy = Math.floor(y / cell);
    for (var dx = -1; dx <= 1; dx++) {
        for (var dy = -1; dy <= 1; dy++) {
            var list = velmora.map.index && velmora.map.index[(cx + dx) + "," + (cy + dy)];
            if (!list) continue;
            for (var i = 0; i < list.length; i++) {
                var p = velmora.places[list[i]];
                var at = velmora.project(p.lat, p.lon, velmora.map.width, velmora.map.height);
                var d = Math.hypot(at[0] - x, at[1] - y);
                if (d <= 6) found.push({ place: p, d: d });
            }
        }
    }
    found.sort(function (a, b) { return a.d - b.d || a.place.index - b.place.index; });
    return found.map(function (f) { return f.place; });
};

velmora.hover = function (e) {
    var canvas = document.getElementById("map");
    var tip = document.getElementById("tip");
    var r = canvas.getBoundingClientRect();
    var x = e.clientX - r.left, y = e.clientY - r.top;
    var here = velmora.placesAt(x, y);
    if (here.length === 0) {
        tip.hidden = true;
        canvas.style.cursor = "";
        return;
    }
    tip.textContent = here[0].name + (here.length > 1 ? " (+" + (here.length - 1) + " more)" : "");
    tip.hidden = false;
    tip.style.left = Math.min(x + 12, r.width - tip.offsetWidth - 2) + "px";
    tip.style.top = Math.max(0, y - 28) + "px";
    canvas.style.cursor = "pointer";
};

// Clicking a marker shows its place in the table.
velmora.pick = function (e) {
    var canvas = document.getElementById("map");
    var r = canvas.getBoundingClientRect();
    var here = velmora.placesAt(e.clientX - r.left, e.clientY - r.top);
    if (here.length === 0) return;
    var target = here[0].index;
    var pos = velmora.matches.indexOf(target);
    while (pos >= velmora.drawnRows) velmora.moreRows();
    var row = document.getElementById("place-" + target);
    if (!row) return;
    var old = document.querySelector("tr.picked");
    if (old) old.className = "";
    row.className = "picked";
    row.scrollIntoView({ block: "center" });
};

velmora.start = function () {
    var filterBox = document.getElementById("filter");
    filterBox.addEventListener("input", velmora.refresh);
    document.getElementById("more").addEventListener("click", velmora.moreRows);
    var canvas = document.getElementById("map");
    canvas.addEventListener("mousemove", velmora.hover);
    canvas.addEventListener("mouseleave", function () { document.getElementById("tip").hidden = true; });
    canvas.addEventListener("click", velmora.pick);
    var pending = false;
    window.addEventListener("resize", function () {
        if (pending) return;
        pending = true;
        requestAnimationFrame(function () { pending = false; velmora.drawMap(); });
    });
    // Further rows arrive as the end of the table comes into view.
    if (window.IntersectionObserver) {
        new IntersectionObserver(function (entries) {
            if (entries[0].isIntersecting && velmora.drawnRows < velmora.matches.length) velmora.moreRows();
        }, { rootMargin: "400px" }).observe(document.getElementById("more"));
    }
    velmora.refresh();
};

if (document.readyState === "loading") {
    document.addEventListener("DOMContentLoaded", velmora.start);
} else {
    velmora.start();
}
