#!/usr/bin/env bash
# End-to-end: a synthetic turn exported by turnlet-export, and its usage and failure exits.
# Usage: cli_test.sh BIN_DIR WORK_DIR
set -uo pipefail
bin="$1"
work="$2"
rm -rf "$work" && mkdir -p "$work"
source "$(dirname "${BASH_SOURCE[0]}")/../support/shell_check.sh"

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

# The export options. A shrinking export: --smooth gives other frames than the nearest pixel, the same
# as the project's EXPORT_SMOOTH=1; --extra-sizes adds half/ and double/ with every frame and names
# them in the page, as EXPORT_EXTRA_SIZES=1 does; without either nothing changes.
sed -e 's/^EXPORT_FRAMES=.*/EXPORT_FRAMES=6\r/' -e 's/^EXPORT_WIDTH=.*/EXPORT_WIDTH=120\r/' \
    -e 's/^EXPORT_HEIGHT=.*/EXPORT_HEIGHT=100\r/' "$work/turn/sample.trn.prj" >"$work/small.trn.prj"
{ cat "$work/small.trn.prj"; printf 'EXPORT_EXTRA_SIZES=1\r\nEXPORT_SMOOTH=1\r\n'; } >"$work/options.trn.prj"
"$bin/turnlet-export" "$work/small.trn.prj" --output "$work/plain" --quiet
check "plain export exits 0" test $? -eq 0
"$bin/turnlet-export" "$work/small.trn.prj" --output "$work/flags" --smooth --extra-sizes --quiet
check "export with both flags exits 0" test $? -eq 0
"$bin/turnlet-export" "$work/options.trn.prj" --output "$work/keys" --quiet
check "export with both keys exits 0" test $? -eq 0
check "no extra sets by default" test ! -e "$work/plain/half" -a ! -e "$work/plain/double"
check "page without extra sets" grep -q 'data-sets=""' "$work/plain/index.html"
check "smooth frames differ from nearest ones" bash -c "! cmp -s '$work/plain/0003.jpg' '$work/flags/0003.jpg'"
for set in half double; do
    check "$set set has every frame" test "$(ls "$work/flags/$set" | grep -c '^[0-9]\{4\}\.jpg$')" -eq 6
done
check "page names the extra sets" grep -q 'data-sets="half double"' "$work/flags/index.html"
check "flags and keys write the same files" diff -r "$work/flags" "$work/keys"
sed -e 's/^EXPORT_TYPE=JPEG/EXPORT_TYPE=BMP/' "$work/small.trn.prj" >"$work/smallbmp.trn.prj"
"$bin/turnlet-export" "$work/smallbmp.trn.prj" --output "$work/bmpsets" --extra-sizes --quiet 2>"$work/err.txt"
check "no extra sets without a page" test -f "$work/bmpsets/0006.bmp" -a ! -e "$work/bmpsets/half"
check "the unused flag is reported" grep -q "no viewer page" "$work/err.txt"

# WebP and AVIF frames with the zoom set and both videos; without FFmpeg the MP4 alone fails, by name.
sed -e 's/^EXPORT_TYPE=JPEG/EXPORT_TYPE=AVIF/' -e 's/^EXPORT_WIDTH=.*/EXPORT_WIDTH=100\r/' \
    -e 's/^EXPORT_HEIGHT=.*/EXPORT_HEIGHT=80\r/' "$work/small.trn.prj" >"$work/avif.trn.prj"
"$bin/turnlet-export" "$work/avif.trn.prj" --output "$work/avif" --zoom-set --mp4 --animated-webp --quiet
check "AVIF export with zoom set and videos exits 0" test $? -eq 0
check "AVIF frames and zoom set written" test -f "$work/avif/0006.avif" -a -f "$work/avif/zoom/0006.avif"
check "page names the AVIF frames and the zoom set" grep -q 'data-type="avif".*data-sets="zoom" data-zoom-width=' "$work/avif/index.html"
check "both videos written" test -s "$work/avif/turn.mp4" -a -s "$work/avif/turn.webp"
sed -e 's/^EXPORT_TYPE=JPEG/EXPORT_TYPE=WEBP/' "$work/small.trn.prj" >"$work/webp.trn.prj"
PATH=/nonexistent "$bin/turnlet-export" "$work/webp.trn.prj" --output "$work/webp" --mp4 --animated-webp --quiet 2>"$work/err.txt"
check "missing FFmpeg exits 1" test $? -eq 1
check "missing FFmpeg is named" grep -q 'turn.mp4: the MP4 video needs FFmpeg' "$work/err.txt"
check "missing FFmpeg is said before the frames" bash -c "head -1 '$work/err.txt' | grep -q 'warning: the MP4 video needs FFmpeg'"
check "WebP frames and the animated WebP still written" test -f "$work/webp/0006.webp" -a -s "$work/webp/turn.webp" -a ! -e "$work/webp/turn.mp4"
# The project's own keys ask for the same without flags.
printf 'EXPORT_ZOOM_SET=1\r\nEXPORT_ANIMATED_WEBP=1\r\n' | cat "$work/avif.trn.prj" - >"$work/keys.trn.prj"
"$bin/turnlet-export" "$work/keys.trn.prj" --output "$work/keys" --quiet
check "project keys: zoom set and animated WebP, no MP4" test -f "$work/keys/zoom/0006.avif" -a -s "$work/keys/turn.webp" -a ! -e "$work/keys/turn.mp4"

# Ctrl+C: the frames in hand are finished, the page is cut to the frames written, exit 1.
sed -e 's/^EXPORT_FRAMES=.*/EXPORT_FRAMES=20000\r/' "$work/small.trn.prj" >"$work/long.trn.prj"
"$bin/turnlet-export" "$work/long.trn.prj" --output "$work/long" --quiet 2>"$work/err.txt" &
pid=$!
for _ in $(seq 1 1000); do compgen -G "$work/long/0003.jpg" >/dev/null && break; sleep 0.01; done
kill -INT "$pid"
wait "$pid"
check "Ctrl+C exits 1" test $? -eq 1
check "Ctrl+C is reported" grep -q "Export stopped" "$work/err.txt"
written=$(ls "$work/long" | grep -c '^[0-9]\{4\}\.jpg$')
check "Ctrl+C stops the export" test "$written" -lt 20000
check "the page is cut to the frames written" grep -q "data-count=\"$written\"" "$work/long/index.html"
check "every frame written is whole" bash -c "for f in '$work'/long/[0-9]*.jpg; do test \"\$(tail -c2 \"\$f\" | od -An -tx1 | tr -d ' ')\" = ffd9 || exit 1; done"

echo "$passed passed, $failed failed"
test "$failed" -eq 0
