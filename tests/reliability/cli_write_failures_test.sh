#!/usr/bin/env bash
# turnlet-export onto a full disk and into a read-only folder: exit status 1 and a message naming
# the file that could not be written (the viewer page first, else the first frame), never success.
# Needs root and a private mount namespace (unshare); skipped with a message where there is none.
# Usage: cli_write_failures_test.sh BIN_DIR WORK_DIR
set -uo pipefail
bin="$1"
work="$2"
rm -rf "$work" && mkdir -p "$work" && work="$(cd "$work" && pwd)"
if [ "$(id -u)" != 0 ] || ! unshare -m --propagation private true 2>/dev/null; then
    echo "SKIPPED: full and read-only disks need root and a private mount namespace"
    exit 0
fi
source "$(dirname "${BASH_SOURCE[0]}")/../support/shell_check.sh"

"$bin/turnlet-make-sample" "$work/turn" --frames 4 --width 320 --height 240 >/dev/null || exit 1
sed -e 's/^HTML5_VIEWER=.*/HTML5_VIEWER=0\r/' "$work/turn/sample.trn.prj" >"$work/no-viewer.trn.prj"
mkdir -p "$work/disk"
for disk in full read-only; do
    for project in sample no-viewer; do
        file="$work/turn/sample.trn.prj"
        [ "$project" = no-viewer ] && file="$work/no-viewer.trn.prj"
        # The disk exists only inside the namespace of this one command.
        unshare -m --propagation private bash -c '
            mount -t tmpfs -o size=64k tmpfs "$1" || exit 99
            if [ "$2" = full ]; then cat /dev/zero >"$1/filler" 2>/dev/null; else mount -o remount,ro "$1"; fi
            "$3/turnlet-export" "$4" --output "$1" --quiet' _ "$work/disk" "$disk" "$bin" "$file" \
            >/dev/null 2>"$work/err.txt"
        code=$?
        expected="$work/disk/index.html"
        [ "$project" = no-viewer ] && expected="$work/disk/0001.jpg"
        echo "[  MEASURE ] turnlet-export, $disk disk, $project: exit $code, $(head -c 160 "$work/err.txt")"
        check "$disk disk, $project: exit status 1" test "$code" -eq 1
        check "$disk disk, $project: names $expected" grep -qF "$expected" "$work/err.txt"
    done
done
check "nothing left on the real folder" test -z "$(ls -A "$work/disk")"

echo "$passed passed, $failed failed"
test "$failed" -eq 0
