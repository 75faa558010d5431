#!/usr/bin/env bash
# The Debian package: cpack builds it from the build folder, and its contents are checked without
# installing it: the files, their owners and modes, the fields apt reads, the man page and metainfo
# entry of every program, the programs' --help and --version (no display), and the desktop files'
# validity by the tools software centres and desktops use.
# Usage: package_test.sh BUILD_DIR WORK_DIR
set -uo pipefail
build="$1"
work="$2"
rm -rf "$work" && mkdir -p "$work"
source "$(dirname "${BASH_SOURCE[0]}")/../support/shell_check.sh"

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1
check "cpack succeeds" test $? -eq 0
shopt -s nullglob
debs=("$work/out"/turnlet_*.deb)
if [ ${#debs[@]} -ne 1 ]; then
    cat "$work/cpack.log"
    echo "FAILED: one turnlet_*.deb written (found ${#debs[@]})"
    exit 1
fi
deb="${debs[0]}"
dpkg-deb -c "$deb" >"$work/contents.txt"
dpkg-deb -x "$deb" "$work/root"
root="$work/root"
field() { dpkg-deb -f "$deb" "$1"; }

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
check "package named turnlet" test "$(field Package)" = turnlet
check "package version is the project's ($version)" test "$(field Version)" = "$version-1"
check "file named for apt install ./turnlet_*.deb" test "$(basename "$deb")" = "turnlet_$version-1_$(field Architecture).deb"
depends=$(field Depends)
for lib in libqt6widgets6 libqt6gui6 libqt6core6 libturbojpeg0 libjpeg62-turbo libpng16-16 qt6-qpa-plugins; do
    check "Depends names $lib" grep -qE "(^|, )$lib( |,|$)" <<<"$depends"
done
check "Recommends ffmpeg" grep -qE "(^|, )ffmpeg(,|$)" <<<"$(field Recommends)"
check "changelog names this version" bash -c \
    "zcat '$work/root/usr/share/doc/turnlet/changelog.Debian.gz' | head -1 | grep -qF 'turnlet ($version-1) '"
check "a description under the summary" test "$(field Description | wc -l)" -ge 3

for file in usr/bin/turnlet usr/bin/turnlet-export usr/bin/turnlet-align usr/share/turnlet/Turnlet.html \
    usr/share/turnlet/help.html usr/share/turnlet/help/import.png usr/share/turnlet/about/about9.png \
    usr/share/turnlet/turnlet.png usr/share/applications/turnlet.desktop \
    usr/share/icons/hicolor/256x256/apps/turnlet.png usr/share/mime/packages/turnlet.xml \
    usr/share/doc/turnlet/copyright usr/share/doc/turnlet/changelog.Debian.gz; do
    check "packed $file" test -f "$root/$file"
done
check "everything under /usr, owned by root" bash -c "! grep -vE '^[-dl][rwx-]{9} root/root .* \./(usr/.*)?$' '$work/contents.txt'"
check "programs 0755, other files 0644" bash -c "! awk '\$1 ~ /^-/ && \$1 != (\$6 ~ /^\.\/usr\/bin\// ? \"-rwxr-xr-x\" : \"-rw-r--r--\")' \
    '$work/contents.txt' | grep ."
check "programs stripped" bash -c "! readelf -S '$root'/usr/bin/* | grep -q '\.debug_info'"

# Every program: a gzipped man page that agrees with its --help, an entry in the metainfo, and
# both --help and --version answered without a display.
metainfos=("$root"/usr/share/metainfo/*.metainfo.xml)
check "one metainfo file" test ${#metainfos[@]} -eq 1
metainfo="${metainfos[0]:-/nonexistent}"
options() { grep -oE -- '--[a-z][a-z-]*' | sort -u; }
for program in "$root"/usr/bin/*; do
    name=$(basename "$program")
    page="$root/usr/share/man/man1/$name.1.gz"
    check "$name: man page" gzip -t "$page"
    check "$name: man page gzipped without name or time" test "$(od -An -tu1 -j3 -N5 "$page" | tr -s ' ')" = " 0 0 0 0 0"
    help=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --help 2>"$work/$name.err")
    check "$name --help exits 0 without a display" test $? -eq 0
    check "$name --help prints the usage" grep -q "^Usage: $name " <<<"$help"
    check "$name --help says nothing on stderr" test ! -s "$work/$name.err"
    check "$name --version" test "$(env -u DISPLAY -u WAYLAND_DISPLAY "$program" --version | head -1)" = \
        "$name (Turnlet) $version"
    man_options=$(zcat "$page" 2>/dev/null | sed 's/\\-/-/g' | options)
    check "$name: man page and --help name the same options" test "$man_options" = "$(options <<<"$help")"
    if command -v groff >/dev/null 2>&1; then
        check "$name: man page renders without warnings" \
            bash -c "zcat '$page' | groff -man -ww -z -Tutf8 2>&1 | (! grep .)"
    fi
    check "$name: listed in the metainfo" grep -q "<binary>$name</binary>" "$metainfo"
done

check "metainfo: launched by the packed desktop entry" test -f "$root/usr/share/applications/$(
    sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$metainfo")"
check "metainfo: the project type" grep -q '<mediatype>application/x-turnlet-project</mediatype>' "$metainfo"
check "metainfo: this version" grep -q "<release version=\"$version\"" "$metainfo"
appstreamcli validate --no-net "$metainfo" >"$work/appstream.log" 2>&1
check "appstreamcli validate accepts the metainfo" test $? -eq 0
check "desktop-file-validate accepts the desktop entry" \
    desktop-file-validate "$root/usr/share/applications/turnlet.desktop"
mkdir -p "$work/mime/packages" && cp "$root/usr/share/mime/packages/turnlet.xml" "$work/mime/packages/"
if command -v update-mime-database >/dev/null 2>&1; then
    check "project type accepted by the MIME database" bash -c \
        "update-mime-database '$work/mime' >/dev/null 2>&1 && test -f '$work/mime/application/x-turnlet-project.xml'"
fi
if [ "$failed" -ne 0 ]; then cat "$work/appstream.log"; fi

echo "$passed passed, $failed failed"
test "$failed" -eq 0
