// Script library of the journal page. velmora.js calls add_place() once per
// place while the page is still loading, so places are collected first and
// drawn once the document is ready.
// Names and comments are only ever inserted as text, never as markup: the
// journal file is plain data and must not be able to run anything.

var velmora = {
    places: [],
    shown: false
};

function add_place(name, link, comment) {
    var place = {
        name: velmora.decode(name),
        link: String(link == null ? "" : link),
        comment: velmora.decode(comment)
    };
    velmora.places.push(place);
    // A place added after the first drawing (should a page script call it
    // late) still appears.
    if (velmora.shown) velmora.render();
}

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

velmora.isWorldWindLink = function (link) {
    return link.slice(0, 12).toLowerCase() === "worldwind://";
};

// "lat, lon" when the link carries both, to keep the table narrow; the
// whole link stays in the tooltip.
velmora.shortLink = function (link) {
    var lat = /[?&\/]lat=(-?[0-9.]+)/.exec(link);
    var lon = /[?&\/]lon=(-?[0-9.]+)/.exec(link);
    if (!lat || !lon) return link;
    var round = function (s) {
        var v = parseFloat(s);
        return isNaN(v) ? s : String(Math.round(v * 100000) / 100000);
    };
    return round(lat[1]) + ", " + round(lon[1]);
};

velmora.cell = function (row, text, cls) {
    var td = document.createElement("td");
    if (cls) td.className = cls;
    if (text !== undefined) td.textContent = text;
    row.appendChild(td);
    return td;
};

velmora.render = function () {
    var body = document.getElementById("places");
    var count = document.getElementById("count");
    var filterBox = document.getElementById("filter");
    if (!body) return;
    var filter = filterBox ? filterBox.value.toLowerCase() : "";

    while (body.firstChild) body.removeChild(body.firstChild);

    var shown = 0;
    for (var i = 0; i < velmora.places.length; i++) {
        var p = velmora.places[i];
        if (filter && (p.name + "\n" + p.comment).toLowerCase().indexOf(filter) < 0) continue;
        shown++;
        var tr = document.createElement("tr");
        velmora.cell(tr, String(i + 1), "num");
        velmora.cell(tr, p.name, "name");
        velmora.cell(tr, p.comment, "comment");
        var where = velmora.cell(tr, undefined, "link");
        if (velmora.isWorldWindLink(p.link)) {
            var a = document.createElement("a");
            a.href = p.link;
            a.title = p.link;
            a.textContent = velmora.shortLink(p.link);
            where.appendChild(a);
        } else {
            // Anything else (a javascript: address, say) stays plain text.
            where.textContent = p.link;
        }
        body.appendChild(tr);
    }

    var total = velmora.places.length;
    if (count) {
        var noun = total === 1 ? " place" : " places";
        count.textContent = filter ? shown + " of " + total + noun : total + noun;
    }
    var empty = document.getElementById("empty");
    if (empty) empty.style.display = total === 0 ? "" : "none";
    velmora.shown = true;
};

velmora.start = function () {
    var filterBox = document.getElementById("filter");
    if (filterBox) {
        filterBox.oninput = velmora.render;
        filterBox.onkeyup = velmora.render; // older browsers without "input"
    }
    velmora.render();
};

if (document.readyState === "loading") {
    document.addEventListener("DOMContentLoaded", velmora.start);
} else {
    velmora.start();
}
