#!/usr/bin/env bash
# End-to-end: turnlet-align on a synthetic turn: keyframes written, input untouched, the exits.
# Usage: align_cli_test.sh BIN_DIR WORK_DIR
set -uo pipefail
bin="$1"
work="$2"
rm -rf "$work" && mkdir -p "$work"
source "$(dirname "${BASH_SOURCE[0]}")/../support/shell_check.sh"

"$bin/turnlet-make-sample" "$work/turn" --frames 12 --width 480 --height 360 >/dev/null
project="$work/turn/sample.trn.prj"
check "jitter file written" test "$(wc -l <"$work/turn/jitter.csv")" -eq 13
before=$(md5sum <"$project")

"$bin/turnlet-align" "$project" --output "$work/aligned.trn.prj" >"$work/out.txt"
code=$?
check "align exits 0" test "$code" -eq 0
check "input untouched" test "$(md5sum <"$project")" = "$before"
check "a keyframe per frame" test "$(grep -c '^TUNE_POINT=' "$work/aligned.trn.prj")" -eq 12
check "per-frame lines printed" test "$(grep -cE '^ +[0-9]+ ' "$work/out.txt")" -eq 12
check "the first frame holds zeros" grep -q "^TUNE_POINT=$work/turn/frame_001.jpg,0,0,0,0,0,0,0" "$work/aligned.trn.prj"
check "CR LF kept" bash -c "head -1 '$work/aligned.trn.prj' | od -c | grep -q '\\\\r'"

# A keyframe set by hand survives --keep-manual and is replaced without it.
sed -e "s|^FIRST_FRAME=.*|FIRST_FRAME=0\r\nTUNE_POINT=$work/turn/frame_005.jpg,1,2,3,0,0,0,0\r|" "$project" >"$work/manual.trn.prj"
"$bin/turnlet-align" "$work/manual.trn.prj" --keep-manual --quiet
check "quiet prints nothing and aligns in place" grep -q "^TUNE_POINT=$work/turn/frame_005.jpg,1,2,3,0,0,0,0" \
    "$work/manual.trn.prj"
check "in place: every frame a keyframe" test "$(grep -c '^TUNE_POINT=' "$work/manual.trn.prj")" -eq 12
"$bin/turnlet-align" "$work/manual.trn.prj" --quiet
check "replaced without --keep-manual" bash -c "! grep -q '^TUNE_POINT=$work/turn/frame_005.jpg,1,2,3,' '$work/manual.trn.prj'"

# Failures: a missing source names it (1), usage and unreadable projects (2).
sed -e "s|frame_007.jpg|gone.jpg|" "$project" >"$work/broken.trn.prj"
"$bin/turnlet-align" "$work/broken.trn.prj" --output "$work/x.trn.prj" 2>"$work/err.txt" >/dev/null
code=$?
check "missing source exits 1" test "$code" -eq 1
check "missing source named" grep -q "gone.jpg" "$work/err.txt"
check "nothing written on failure" test ! -e "$work/x.trn.prj"
"$bin/turnlet-align" >/dev/null 2>&1
check "no project exits 2" test $? -eq 2
"$bin/turnlet-align" "$project" --bogus >/dev/null 2>&1
check "unknown option exits 2" test $? -eq 2
"$bin/turnlet-align" "$work/none.trn.prj" >/dev/null 2>&1
check "unreadable project exits 2" test $? -eq 2

# --find-last: 40 frames over 400 degrees come round at frame 36, so the turn ends at 35; with
# --output only the last frame changes. 30 frames over 300 degrees never come round.
"$bin/turnlet-make-sample" "$work/over" --frames 40 --turn-degrees 400 --width 320 --height 240 >/dev/null
over="$work/over/sample.trn.prj"
before=$(md5sum <"$over")
"$bin/turnlet-align" "$over" --find-last --output "$work/found.trn.prj" >"$work/found.txt" 2>/dev/null
check "find-last exits 0" test $? -eq 0
check "find-last prints one line" test "$(wc -l <"$work/found.txt")" -eq 1
last=$(sed -n 's/^last frame: \([0-9]*\) (confidence [0-9.]*\(; runner-up: [a-z0-9 ]*, [0-9.]*\)\{0,1\})$/\1/p' "$work/found.txt")
check "find-last finds 35" test "${last:-0}" -eq 35
check "find-last leaves the input" test "$(md5sum <"$over")" = "$before"
check "only the last frame changed" test "$(diff <(tr -d '\r' <"$over") <(tr -d '\r' <"$work/found.trn.prj") | grep -c '^[<>]')" -eq 2
check "the last frame written" grep -q "^LAST_FRAME=$last" "$work/found.trn.prj"
"$bin/turnlet-make-sample" "$work/short" --frames 30 --turn-degrees 300 --width 320 --height 240 >/dev/null
"$bin/turnlet-align" "$work/short/sample.trn.prj" --find-last --output "$work/none.trn.prj" >"$work/short.txt" 2>/dev/null
check "short turn exits 0" test $? -eq 0
check "short turn says so" test "$(cat "$work/short.txt")" = "no full turn found"
check "short turn writes nothing" test ! -e "$work/none.trn.prj"
# 24 frames of exactly 360 degrees: the set already is one turn, ending on its last frame.
"$bin/turnlet-make-sample" "$work/one" --frames 24 --width 320 --height 240 >/dev/null
"$bin/turnlet-align" "$work/one/sample.trn.prj" --find-last >"$work/one.txt" 2>/dev/null
check "one turn says so" grep -q '^one full turn already, last frame: 23 (confidence ' "$work/one.txt"

echo "$passed passed, $failed failed"
test "$failed" -eq 0
