#!/usr/bin/env bash
# End-to-end: turnlet-align on a synthetic turn: keyframes written, input untouched, the exits.
# Usage: align_cli_test.sh BIN_DIR WORK_DIR
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

echo "$passed passed, $failed failed"
test "$failed" -eq 0
