#!/bin/sh
# Refreshes the map libraries and outlines of the journal page in resources/
# from npm, at the versions pinned here (their integrity checked against
# the hashes below). The page opens from disk, where it may neither fetch
# nor import modules: each library is its minified browser build, and each
# outline set a script that keeps the TopoJSON as a string (parsed only
# when the map first needs it). Every file starts with its licence, so each
# copy carries it. Needs npm, node and tar; run it from anywhere.
#
# To move to another version: change it here, run this with CHECK=0 (it
# prints the new hashes), put the hashes here and run it again.
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
out="$here/resources"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# name version integrity
packages='
d3-array 3.2.4 sha512-tdQAmyA18i4J7wprpYq8ClcxZy3SC31QMeByyCFyRt7BVHdREQZ5lpzoe5mFEYZUWe+oq8HBvk9JjpibyEV4Jg==
d3-geo 3.1.1 sha512-637ln3gXKXOwhalDzinUgY83KzNWZRKbYubaG+fGVuc/dxO64RRljtCTnf5ecMyE1RIdtqpkVcq0IbtU2S8j2Q==
topojson-client 3.1.0 sha512-605uxS6bcYxGXw9qi62XyrV6Q3xwbndjachmNxu8HWTtVPxZfEJN9fd/SZS1Q54Sn2y0TMyMxFj/cJINqGHrKw==
world-atlas 2.0.2 sha512-IXfV0qwlKXpckz1FhwXVwKRjiIhOnWttOskm5CtxMsjgE/MXAYRHWJqgXOpM8IkcPBoXnyTU5lFHcYa5ChG0LQ==
'

echo "$packages" | while read -r name version integrity; do
    [ -n "$name" ] || continue
    (cd "$work" && npm pack --silent "$name@$version" >/dev/null)
    got=$(node -e 'const c = require("crypto"), fs = require("fs");
        process.stdout.write("sha512-" + c.createHash("sha512").update(fs.readFileSync(process.argv[1])).digest("base64"))' \
        "$work/$name-$version.tgz")
    if [ "$got" != "$integrity" ]; then
        echo "$name $version: integrity $got" >&2
        [ "${CHECK:-1}" = 0 ] || exit 1
    fi
    mkdir -p "$work/$name"
    tar xzf "$work/$name-$version.tgz" -C "$work/$name"
done

node - "$work" "$out" <<'EOF'
const fs = require("fs");
const path = require("path");
const [work, out] = process.argv.slice(2);
const pkg = (name) => path.join(work, name, "package");
const version = (name) => JSON.parse(fs.readFileSync(path.join(pkg(name), "package.json"), "utf8")).version;
// The page's scripts are read as Windows-1252: anything past ASCII is
// written as an escape (the libraries hold such characters only in strings).
const ascii = (text) => text.replace(/[^\x00-\x7f]/g, (c) => "\\u" + c.charCodeAt(0).toString(16).padStart(4, "0"));
const licence = (name, note) => "/* " + name + " " + version(name) + " from npm." + (note ? " " + note : "") + "\n\n" +
    fs.readFileSync(path.join(pkg(name), "LICENSE"), "utf8").trim().replace(/\*\//g, "* /") + "\n*/\n";

for (const name of ["d3-array", "d3-geo", "topojson-client"]) {
    const code = fs.readFileSync(path.join(pkg(name), "dist", name + ".min.js"), "utf8");
    fs.writeFileSync(path.join(out, name + ".min.js"), ascii(licence(name) + code.trim() + "\n"));
}

// Natural Earth's outlines at two scales, countries and land each.
for (const scale of ["110m", "50m"]) {
    let text = licence("world-atlas", "The outlines are Natural Earth's (naturalearthdata.com), in the public domain.") +
        "var worldAtlas = worldAtlas || {};\n";
    for (const set of ["countries", "land"]) {
        const json = JSON.stringify(JSON.parse(fs.readFileSync(path.join(pkg("world-atlas"), set + "-" + scale + ".json"), "utf8")));
        text += "worldAtlas[\"" + set + "-" + scale + "\"] = " + JSON.stringify(json) + ";\n";
    }
    fs.writeFileSync(path.join(out, "world-" + scale + ".js"), ascii(text));
}
EOF
ls -l "$out"/d3-array.min.js "$out"/d3-geo.min.js "$out"/topojson-client.min.js "$out"/world-110m.js "$out"/world-50m.js
