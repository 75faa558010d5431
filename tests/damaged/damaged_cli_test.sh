#!/usr/bin/env bash
# turnlet-export against the damaged-file corpus: every damaged source makes the export fail with
# exit status 1 and a message naming the file, within a second and 300 MB; frames before it stay.
# Usage: damaged_cli_test.sh BIN_DIR WORK_DIR
set -uo pipefail
bin="$1"
work="$2"
rm -rf "$work" && mkdir -p "$work" && work="$(cd "$work" && pwd)"
source "$(dirname "${BASH_SOURCE[0]}")/../support/shell_check.sh"

"$bin/turnlet-damaged-corpus" "$work/corpus" >"$work/corpus.txt" || { echo "FAILED: corpus"; exit 1; }
"$bin/turnlet-make-sample" "$work/good" --frames 2 --width 64 --height 64 >/dev/null || { echo "FAILED: sample"; exit 1; }
good="$work/good/frame_001.jpg"

# project FILE FIRST_SOURCE SECOND_SOURCE CROP_WIDTH: three frames, the middle one from SECOND_SOURCE.
project() {
    printf '%s\r\n' "SOURCE=$2" "SOURCE=$3" "SOURCE=$good" "ROTATE=0" "CROP_LEFT=0" "CROP_TOP=0" \
        "CROP_WIDTH=$4" "CROP_HEIGHT=30" "LAST_FRAME=2" "FIRST_FRAME=0" "BACKGROUND_COLOR=16777215" \
        "EXPORT_FRAMES=3" "EXPORT_DIR=$work/out" "EXPORT_TYPE=PNG" "JPEG_QUALITY=90" "EXPORT_WIDTH=40" \
        "EXPORT_HEIGHT=30" "EXPORT_PROPORTIONAL=1" "HTML5_VIEWER=0" >"$1"
}

while IFS=$'\t' read -r name path outcome; do
    # In the middle of the turn, and as the first source whose size stands in for an unset crop.
    for where in middle first; do
        rm -rf "$work/out" && mkdir -p "$work/out"
        if [ "$where" = middle ]; then project "$work/p.trn.prj" "$good" "$path" 40; else project "$work/p.trn.prj" "$path" "$good" ""; fi
        "$bin/turnlet-measure-run" "$work/measure.txt" "$bin/turnlet-export" "$work/p.trn.prj" --quiet \
            >/dev/null 2>"$work/err.txt"
        read -r seconds peak code cpu <"$work/measure.txt"
        printf '[  MEASURE ] turnlet-export %-6s %-44s %6.0f ms %8s KB exit %s  %s\n' "$where" "$name" \
            "$(awk -v s="$seconds" 'BEGIN { print s * 1000 }')" "$peak" "$code" "$(head -c 100 "$work/err.txt" | tr '\n' ' ')"
        if [ "$outcome" = loads ]; then
            check "$name ($where) exports" test "$code" -eq 0
        else
            check "$name ($where) fails with status 1" test "$code" -eq 1
            check "$name ($where) is named" grep -qF "$path: " "$work/err.txt"
            check "$name ($where) claims no success" test ! -e "$work/out/0003.png"
            [ "$where" = middle ] && check "$name: the frame before it stays" test -f "$work/out/0001.png"
        fi
        # A second of work; the wall clock only guards against a hang, as other builds share the machine.
        check "$name ($where) within a second" awk -v c="$cpu" -v s="$seconds" 'BEGIN { exit !(c < 1 && s < 10) }'
        check "$name ($where) within 300 MB" test "$peak" -lt $((300 * 1024))
    done
done <"$work/corpus.txt"

echo "$passed passed, $failed failed"
test "$failed" -eq 0
