#!/usr/bin/env bash
# A long export keeps its memory flat: turnlet-export of 1000 frames from 36 sources may peak at
# no more than 1.1 times the resident size of the same export of 100 frames.
# Usage: export_rss_test.sh BIN_DIR WORK_DIR
set -uo pipefail
bin="$1"
work="$2"
rm -rf "$work" && mkdir -p "$work" && work="$(cd "$work" && pwd)"
"$bin/turnlet-make-sample" "$work/turn" --frames 36 --width 1200 --height 900 >/dev/null || exit 1

declare -A peak
for frames in 100 1000; do
    sed -e "s/^EXPORT_FRAMES=.*/EXPORT_FRAMES=$frames\r/" "$work/turn/sample.trn.prj" >"$work/p$frames.trn.prj"
    "$bin/turnlet-measure-run" "$work/m$frames.txt" "$bin/turnlet-export" "$work/p$frames.trn.prj" \
        --output "$work/out$frames" --quiet || { echo "FAILED: export of $frames frames"; exit 1; }
    read -r seconds kb code _ <"$work/m$frames.txt"
    written=$(ls "$work/out$frames" | grep -c '^[0-9]\{4\}\.jpg$')
    echo "[  MEASURE ] $frames frames from 36 sources: peak RSS $kb KB, $seconds s, $written files"
    test "$written" -eq "$frames" || { echo "FAILED: $written of $frames frames written"; exit 1; }
    peak[$frames]=$kb
done
awk -v a="${peak[1000]}" -v b="${peak[100]}" 'BEGIN {
    printf "[  MEASURE ] peak at 1000 frames / peak at 100 frames = %.3f (at most 1.100)\n", a / b
    exit !(a <= 1.1 * b) }' || { echo "FAILED: memory grows with the number of frames"; exit 1; }
rm -rf "$work"
