#!/usr/bin/env bash
# Sources, project and export folder whose names hold blanks, commas, "&", quotes, "#", "%" and
# Cyrillic letters: turnlet-export writes the same frames as for plain names (keyframes keyed by
# such paths included), and Chromium loads the viewer page from such a folder through file://.
# Usage: odd_paths_test.sh BIN_DIR WORK_DIR
set -uo pipefail
bin="$1"
work="$2"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
rm -rf "$work" && mkdir -p "$work" && work="$(cd "$work" && pwd)"
source "$(dirname "${BASH_SOURCE[0]}")/../support/shell_check.sh"

odd=" ,&'\"#%Фото ё"
plain="$work/plain"
"$bin/turnlet-make-sample" "$plain" --frames 12 --width 320 --height 240 >/dev/null || exit 1
mkdir -p "$work/photos$odd"
cp "$plain/sample.trn.prj" "$work/no-keyframes.trn.prj"
# Two keyframes, keyed by the photographs' paths: the export must find them under the odd names too.
printf 'TUNE_POINT=%s\r\n' "$plain/frame_004.jpg,6,-3,12.5,40,10,-5,0" "$plain/frame_009.jpg,-4,2,-7,-20,0,15,5" \
    >>"$plain/sample.trn.prj"
# The same photographs under odd names, and the project rewritten to name them.
cp "$plain/sample.trn.prj" "$work/odd.tmp"
for source in "$plain"/frame_*.jpg; do
    name="$(basename "$source" .jpg)"
    target="$work/photos$odd/кадр$odd${name#frame_}.JPG"
    cp "$source" "$target"
    while IFS= read -r line; do printf '%s\n' "${line//"$source"/"$target"}"; done <"$work/odd.tmp" >"$work/odd.tmp2"
    mv "$work/odd.tmp2" "$work/odd.tmp"
done
project="$work/photos$odd/проект$odd.trn.prj"
mv "$work/odd.tmp" "$project"
check "keyframes are keyed by the odd paths" test "$(grep -cF "TUNE_POINT=$work/photos$odd/кадр" "$project")" -eq 2
check "no plain path is left" bash -c '! grep -q "frame_" "$1"' _ "$project"

"$bin/turnlet-export" "$plain/sample.trn.prj" --output "$work/plain-out" --quiet
check "plain export" test $? -eq 0
out="$work/вывод$odd"
"$bin/turnlet-export" "$project" --output "$out" --quiet 2>"$work/err.txt"
check "odd export exits 0" test $? -eq 0
check "odd export says nothing" test ! -s "$work/err.txt"
frames=$(ls "$work/plain-out" | grep -c '^[0-9]\{4\}\.jpg$')
check "frames written" test "$frames" -gt 0
same=0
for frame in "$work/plain-out"/[0-9][0-9][0-9][0-9].jpg; do
    cmp -s "$frame" "$out/$(basename "$frame")" && same=$((same + 1))
done
check "every frame as from plain names ($same of $frames)" test "$same" -eq "$frames"
"$bin/turnlet-export" "$work/no-keyframes.trn.prj" --output "$work/no-keyframes-out" --quiet
check "the keyframes change the frames" bash -c '! cmp -s "$1/0001.jpg" "$2/0001.jpg"' _ "$work/plain-out" "$work/no-keyframes-out"
check "viewer page written" test -f "$out/index.html"

# Chromium, through a file:// address of the odd folder.
if [ ! -d "$here/../browser/node_modules/playwright-core" ]; then
    (cd "$here/../browser" && npm ci --no-audit --no-fund >/dev/null 2>&1)
fi
node "$here/odd_paths_page.mjs" "$out/index.html" "$frames"
check "Chromium loads every frame of the page" test $? -eq 0

echo "$passed passed, $failed failed"
test "$failed" -eq 0
