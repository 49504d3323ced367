#!/bin/sh
# Makes the Debian package from the built tree and checks it as Debian's
# tools do: lintian, the desktop entry, the AppStream data, the manual
# page and the contents. Then the packaged program, unpacked into a scratch
# root, must answer as the program of the build tree.
#
# Arguments: the source folder, the build folder, the version, the built
# program.
set -eu
source=$1
build=$2
version=$3
built=$4
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
  echo "$*" >&2
  exit 1
}

deb="$scratch/velmora_${version}_$(dpkg --print-architecture).deb"
(cd "$build" && cpack -G DEB -B "$scratch" >"$scratch/cpack.log" 2>&1) || { cat "$scratch/cpack.log"; fail "cpack failed"; }
[ -f "$deb" ] || fail "no $(basename "$deb") made: $(ls "$scratch")"

# No error and no warning; what lintian notes besides is shown.
lintian --fail-on error,warning --display-info --tag-display-limit 0 "$deb" 2>"$scratch/lintian.err" \
  || { cat "$scratch/lintian.err"; fail "lintian found errors or warnings"; }

# The libraries come from dpkg-shlibdeps, the globe is recommended.
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6 (>=' || fail "Depends lacks the Qt libraries: $(dpkg-deb -f "$deb" Depends)"
[ "$(dpkg-deb -f "$deb" Recommends)" = marble ] || fail "Recommends: $(dpkg-deb -f "$deb" Recommends)"

# Exactly these files, with these modes: nothing of the build tree, no test
# programs, nothing outside /usr.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $1, $NF }' | sort >"$scratch/files"
sort >"$scratch/expected" <<EOF
-rwxr-xr-x ./usr/bin/velmora
-rwxr-xr-x ./usr/libexec/velmora/velmora
-rw-r--r-- ./usr/share/applications/velmora.desktop
-rw-r--r-- ./usr/share/doc/velmora/changelog.gz
-rw-r--r-- ./usr/share/doc/velmora/copyright
-rw-r--r-- ./usr/share/icons/hicolor/128x128/apps/velmora.png
-rw-r--r-- ./usr/share/icons/hicolor/32x32/apps/velmora.png
-rw-r--r-- ./usr/share/icons/hicolor/48x48/apps/velmora.png
-rw-r--r-- ./usr/share/icons/hicolor/64x64/apps/velmora.png
-rw-r--r-- ./usr/share/icons/hicolor/scalable/apps/velmora.svg
-rw-r--r-- ./usr/share/man/man1/velmora.1.gz
-rw-r--r-- ./usr/share/metainfo/org.velmora.velmora.metainfo.xml
-rw-r--r-- ./usr/share/velmora-web/bg.jpg
-rw-r--r-- ./usr/share/velmora-web/d3-array.min.js
-rw-r--r-- ./usr/share/velmora-web/d3-geo.min.js
-rw-r--r-- ./usr/share/velmora-web/help.html
-rw-r--r-- ./usr/share/velmora-web/topojson-client.min.js
-rw-r--r-- ./usr/share/velmora-web/velmora.css
-rw-r--r-- ./usr/share/velmora-web/velmora.html
-rw-r--r-- ./usr/share/velmora-web/velmoralib.js
-rw-r--r-- ./usr/share/velmora-web/world-110m.js
-rw-r--r-- ./usr/share/velmora-web/world-50m.js
EOF
diff "$scratch/expected" "$scratch/files" || fail "the package holds other files than these"

root="$scratch/root"
dpkg -x "$deb" "$root"
for folder in "$source" "$build"; do
  ! grep -rlF "$folder" "$root" || fail "these files name $folder, where the package was made"
done
cmp "$root/usr/share/velmora-web/velmoralib.js" "$source/resources/velmoralib.js" || fail "velmoralib.js differs"

desktop=$root/usr/share/applications/velmora.desktop
out=$(desktop-file-validate "$desktop" 2>&1) && [ -z "$out" ] || fail "desktop-file-validate: $out"
metainfo=$root/usr/share/metainfo/org.velmora.velmora.metainfo.xml
appstreamcli validate --no-net "$metainfo" >"$scratch/as.log" 2>&1 || { cat "$scratch/as.log"; fail "appstreamcli validate"; }
appstreamcli validate-tree --no-net "$root" >"$scratch/as.log" 2>&1 || { cat "$scratch/as.log"; fail "appstreamcli validate-tree"; }
grep -q "<release version=\"$version\"" "$metainfo" || fail "the AppStream data has no release $version"
[ "$(zcat "$root/usr/share/doc/velmora/changelog.gz" | sed -n '1s/^velmora (\([^)]*\)).*/\1/p')" = "$version" ] \
  || fail "the change log's newest entry is not $version"

# The manual page renders without a warning, and it names each command and
# each exit status that the program's own help lists.
page=$root/usr/share/man/man1/velmora.1.gz
out=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null) && [ -z "$out" ] || fail "man: $out"
MANWIDTH=80 man -l "$page" 2>/dev/null >"$scratch/page.txt"
usage=$("$built" --help)
for command in $(printf '%s\n' "$usage" | sed -n 's/^\(Usage:\)\{0,1\} *velmora \([a-z][a-z]*\) .*/\2/p'); do
  grep -q "^ *velmora $command" "$scratch/page.txt" || fail "the manual page lacks the command $command"
done
statuses=$(printf '%s\n' "$usage" | tr '\n' ' ' | sed 's/.*Exit status://' | grep -oE '(^|;) *[0-9]+' | tr -dc '0-9\n')
[ -n "$statuses" ] || fail "no exit status found in velmora --help"
for status in $statuses; do
  sed -n '/^EXIT STATUS/,/^[A-Z]/p' "$scratch/page.txt" | grep -qE "^ +$status +[A-Z]" \
    || fail "the manual page lacks the exit status $status"
done

# The packaged program against the built one, on the same journal: the
# launcher starts it in its per-user folder, the built one runs there.
home="$scratch/data/velmora"
mkdir -p "$home" "$scratch/out"
printf '.\\\r\n.\\\r\narial\r\n 10 \r\n 16777215 \r\nFalse\r\nFalse\r\n' >"$home/velmora.ini"
printf 'add_place("Caf\351 du port","worldwind://goto/world=Earth&lat=43.29&lon=5.37","on the &lt;quay&gt;");\r\n' \
  >"$home/velmora.js"
printf 'add_place("Summit","worldwind://goto/world=Earth&lat=-27.1&lon=-109.35","");\r\n' >>"$home/velmora.js"
for args in "--version" "--help" "export places.kml" "export places.gpx" "export places.txt"; do
  # shellcheck disable=SC2086 # the arguments are split on purpose
  set -- $args
  [ $# -gt 1 ] && absolute="$scratch/out/$2" || absolute=
  status=0
  (cd "$home" && "$built" "$1" ${absolute:+"$absolute"}) >"$scratch/built.txt" 2>&1 || status=$?
  echo "exit $status" >>"$scratch/built.txt"
  [ -z "$absolute" ] || [ ! -e "$absolute" ] || mv "$absolute" "$scratch/built.file"
  status=0
  (cd "$scratch/out" && env -u VELMORA_PROGRAM -u VELMORA_RESOURCES XDG_DATA_HOME="$scratch/data" \
    "$root/usr/bin/velmora" "$@") >"$scratch/packaged.txt" 2>&1 || status=$?
  echo "exit $status" >>"$scratch/packaged.txt"
  diff "$scratch/built.txt" "$scratch/packaged.txt" || fail "velmora $args: the packaged program answers otherwise"
  [ "$args" != "export places.kml" ] || grep -q "^Exported 2 places to " "$scratch/built.txt" \
    || fail "velmora $args: $(cat "$scratch/built.txt")"
  if [ -e "$scratch/built.file" ]; then
    cmp "$scratch/built.file" "$absolute" || fail "velmora $args: the files differ"
    rm "$scratch/built.file" "$absolute"
  fi
done
echo "Debian package $(basename "$deb"): ok"
