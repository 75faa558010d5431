#!/usr/bin/env bash
# The installed programs: cmake --install into a fresh prefix, then turnlet-export exports a sample
# with its viewer page from there, and the editor starts from there (offscreen), finds its files,
# keeps its settings in the user's configuration folder and opens a project named on its command line.
# Usage: install_test.sh BUILD_DIR WORK_DIR
set -uo pipefail
build="$1"
work="$2"
rm -rf "$work" && mkdir -p "$work"
prefix="$work/prefix with blank"
source "$(dirname "${BASH_SOURCE[0]}")/../support/shell_check.sh"

cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1
check "cmake --install succeeds" test $? -eq 0
for file in bin/turnlet bin/turnlet-export bin/turnlet-align share/turnlet/Turnlet.html share/turnlet/help.html \
    share/turnlet/help/import.png share/turnlet/about/about1.png share/turnlet/about/about9.png \
    share/turnlet/turnlet.png share/applications/turnlet.desktop \
    share/icons/hicolor/256x256/apps/turnlet.png share/mime/packages/turnlet.xml; do
    check "installed $file" test -f "$prefix/$file"
done
check "one metainfo file" test "$(ls "$prefix"/share/metainfo/*.metainfo.xml | wc -l)" -eq 1
# Only the programs go into bin (no tools or tests), each with its man page.
for program in "$prefix"/bin/*; do
    check "man page of $(basename "$program")" test -f "$prefix/share/man/man1/$(basename "$program").1.gz"
done
check "desktop entry opens project files" grep -q '^MimeType=application/x-turnlet-project;' \
    "$prefix/share/applications/turnlet.desktop"
check "desktop entry passes the file" grep -q '^Exec=turnlet %f' "$prefix/share/applications/turnlet.desktop"
check "project type by name" grep -q 'glob pattern="\*.trn.prj"' "$prefix/share/mime/packages/turnlet.xml"
if command -v desktop-file-validate >/dev/null 2>&1; then
    check "desktop entry is valid" desktop-file-validate "$prefix/share/applications/turnlet.desktop"
fi

# The command-line exporter finds its template in share/turnlet.
"$build/bin/turnlet-make-sample" "$work/turn" --frames 8 --width 160 --height 120 >/dev/null
"$prefix/bin/turnlet-export" "$work/turn/sample.trn.prj" --output "$work/out" --quiet 2>"$work/export.err"
check "installed turnlet-export exits 0" test $? -eq 0
check "frames exported" test -f "$work/out/0001.jpg"
check "viewer page written from the installed template" test -f "$work/out/index.html"
check "viewer page filled" bash -c "! grep -q '\[ITEMS\]' '$work/out/index.html'"

# The editor: started offscreen with a project, ended by SIGTERM as a session's end would.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" QT_QPA_PLATFORM=offscreen
mkdir -p "$HOME"
"$prefix/bin/turnlet" "$work/turn/sample.trn.prj" >"$work/editor.log" 2>&1 &
pid=$!
ini="$XDG_CONFIG_HOME/turnlet/Turnlet.ini"
for _ in $(seq 1 100); do
    grep -q "LAST=$work/turn/sample.trn.prj" "$ini" 2>/dev/null && break
    sleep 0.2
done
check "editor opened the project and keeps its settings in the user's folder" \
    grep -q "LAST=$work/turn/sample.trn.prj" "$ini"
check "editor still running" kill -0 "$pid"
kill -TERM "$pid" 2>/dev/null
for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
if kill -0 "$pid" 2>/dev/null; then
    kill -KILL "$pid"
    check "editor ends on SIGTERM" false
fi
wait "$pid"
check "editor exits 0" test $? -eq 0
check "no settings file written into the installation" test ! -e "$prefix/bin/Turnlet.ini" -a ! -e "$prefix/share/turnlet/Turnlet.ini"
if [ "$failed" -ne 0 ]; then cat "$work/editor.log"; fi

echo "$passed passed, $failed failed"
test "$failed" -eq 0
