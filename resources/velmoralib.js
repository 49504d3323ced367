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

// Coarse outlines of the land masses, longitude and latitude pairs in
// degrees: enough to find one's way on the map. The program's About picture
// draws its globe from these same lines.
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

    // The land in one path, so that overlapping outlines show no seams.
    g.fillStyle = "#3f6b3a";
    g.beginPath();
    velmora.land.forEach(function (outline) {
        for (var k = 0; k < outline.length; k += 2) {
            var at = velmora.project(outline[k + 1], outline[k], w, h);
            if (k === 0) g.moveTo(at[0], at[1]); else g.lineTo(at[0], at[1]);
        }
        g.closePath();
    });
    g.fill("nonzero");

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
            g.fillRect(at[0] - 1, at[1] - 1, 2, 2);
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
