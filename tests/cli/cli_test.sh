#!/usr/bin/env bash
# End-to-end: a synthetic turn exported by turnlet-export, and its usage and failure exits.
# Usage: cli_test.sh BIN_DIR WORK_DIR
set -uo pipefail
bin="$1"
work="$2"
rm -rf "$work" && mkdir -p "$work"
passed=0
failed=0
check() {  # check NAME CONDITION...
    local name="$1"
    shift
    if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $name"; fi
}

"$bin/turnlet-make-sample" "$work/turn" --frames 12 --width 320 --height 240 >/dev/null
check "sample project written" test -f "$work/turn/sample.trn.prj"

"$bin/turnlet-export" "$work/turn/sample.trn.prj" --output "$work/out" --quiet
code=$?
check "export exits 0" test "$code" -eq 0
frames=$(grep -a '^EXPORT_FRAMES=' "$work/turn/sample.trn.prj" | tr -d '\r' | cut -d= -f2)
check "all $frames frames written" test "$(ls "$work/out" | grep -c '^[0-9]\{4\}\.jpg$')" -eq "$frames"
check "first and last frame named from 0001" test -f "$work/out/0001.jpg" -a -f "$work/out/$(printf '%04d' "$frames").jpg"
check "viewer page written" test -f "$work/out/index.html"
check "placeholders filled" bash -c "! grep -q '\[ITEMS\]\|\[TYPE\]\|\[WIDTH\]\|\[HEIGHT\]' '$work/out/index.html'"

# A second export with the PNG type and no viewer: the page of the first stays, frames are PNG.
sed -e 's/^EXPORT_TYPE=JPEG/EXPORT_TYPE=BMP/' -e 's/^EXPORT_FRAMES=.*/EXPORT_FRAMES=3\r/' \
    "$work/turn/sample.trn.prj" >"$work/bmp.trn.prj"
"$bin/turnlet-export" "$work/bmp.trn.prj" --output "$work/bmp" --quiet
check "BMP export exits 0" test $? -eq 0
check "BMP frames written" test -f "$work/bmp/0003.bmp"
check "no page for BMP" test ! -e "$work/bmp/index.html"

"$bin/turnlet-export" >/dev/null 2>&1
check "no arguments is a usage error" test $? -eq 2
"$bin/turnlet-export" --frobnicate x >/dev/null 2>&1
check "unknown option is a usage error" test $? -eq 2
"$bin/turnlet-export" "$work/missing.trn.prj" 2>"$work/err.txt"
check "missing project exits 2" test $? -eq 2
check "missing project is named" grep -q "missing.trn.prj" "$work/err.txt"
"$bin/turnlet-export" --help | grep -q "Usage: turnlet-export"
check "help" test $? -eq 0

# A source that disappeared: exit 1, the message names it, earlier frames stay.
cp -r "$work/turn" "$work/broken"
sed -e "s#$work/turn#$work/broken#g" "$work/turn/sample.trn.prj" >"$work/broken/sample.trn.prj"
rm "$work/broken/frame_005.jpg"
"$bin/turnlet-export" "$work/broken/sample.trn.prj" --output "$work/broken-out" --quiet 2>"$work/err.txt"
check "missing source exits 1" test $? -eq 1
check "missing source is named" grep -q "frame_005.jpg" "$work/err.txt"
check "frames before it stay" test -f "$work/broken-out/0001.jpg"

# More frames than an export can hold: refused with a message naming the value, not a crash.
sed -e 's/^EXPORT_FRAMES=.*/EXPORT_FRAMES=2147483647\r/' "$work/turn/sample.trn.prj" >"$work/huge.trn.prj"
"$bin/turnlet-export" "$work/huge.trn.prj" --output "$work/huge" --quiet 2>"$work/err.txt"
code=$?
check "huge frame count fails cleanly" test "$code" -eq 1 -o "$code" -eq 2
check "huge frame count is named" grep -q "2147483647" "$work/err.txt"
check "nothing written for a huge frame count" test -z "$(ls "$work/huge" 2>/dev/null | grep -v index.html)"

# A first source of an unknown type, whose preview stands in for an unset crop: the file is named.
sed -e "0,/^SOURCE=.*/s##SOURCE=$work/turn/frame_001.jpe\r#" -e 's/^CROP_WIDTH=.*/CROP_WIDTH=\r/' \
    "$work/turn/sample.trn.prj" >"$work/oddtype.trn.prj"
"$bin/turnlet-export" "$work/oddtype.trn.prj" --output "$work/oddtype" --quiet 2>"$work/err.txt"
check "unknown source type fails" test $? -eq 1
check "unknown source type is named" grep -q "frame_001.jpe: Wrong file type!" "$work/err.txt"

echo "$passed passed, $failed failed"
test "$failed" -eq 0
