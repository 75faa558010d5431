#!/usr/bin/env bash
# End-to-end: turnlet-batch on synthetic products: exports, report, failing product, exit statuses,
# one product by index, a batch killed mid-product and rerun, and the rerun of a finished batch.
# Usage: batch_cli_test.sh BIN_DIR WORK_DIR
set -uo pipefail
bin="$1"
work="$2"
rm -rf "$work" && mkdir -p "$work"
source "$(dirname "${BASH_SOURCE[0]}")/../support/shell_check.sh"
batch="$bin/turnlet-batch"

# Three products of 12 photos and the set-up (the first product's project, 24 frames of 200 x 150).
for p in cup mug vase; do
  "$bin/turnlet-make-sample" "$work/shoot/$p" --frames 12 --width 320 --height 240 >/dev/null
  rm "$work/shoot/$p/sample.trn.prj" "$work/shoot/$p/jitter.csv"
done
"$bin/turnlet-make-sample" "$work/set-up" --frames 12 --width 320 --height 240 >/dev/null
sed -e 's/^EXPORT_FRAMES=.*/EXPORT_FRAMES=24\r/' -e 's/^EXPORT_WIDTH=.*/EXPORT_WIDTH=200\r/' \
  -e 's/^EXPORT_HEIGHT=.*/EXPORT_HEIGHT=150\r/' "$work/set-up/sample.trn.prj" >"$work/set-up.trn.prj"
mkdir -p "$work/shoot/few"
cp "$work/shoot/cup/frame_001.jpg" "$work/shoot/few/"

"$batch" "$work/set-up.trn.prj" "$work/shoot/cup" "$work/shoot/few" "$work/shoot/mug" "$work/shoot/vase" \
  --output "$work/out" >"$work/out.txt" 2>"$work/err.txt"
check "a failing product: exit 1" test $? -eq 1
check "the failure named" grep -q "few (.*shoot/few): too few photos: 1 found" "$work/err.txt"
for p in cup mug vase; do
  check "$p: 24 frames" test "$(ls "$work/out/$p"/*.jpg | wc -l)" -eq 24
  check "$p: viewer page" test -s "$work/out/$p/index.html"
  check "$p: its project beside it" grep -q "^EXPORT_DIR=$work/out/$p" "$work/out/$p/$p.trn.prj"
  check "$p: its record" grep -q "^END=1" "$work/out/$p/turnlet-batch.record"
done
check "nothing of the failed product" test ! -e "$work/out/few"
check "no staging left" test ! -e "$work/out/.turnlet-batch"
csv="$work/out/turnlet-batch-report.csv"
check "report: a row per product" test "$(wc -l <"$csv")" -eq 5
check "report: done row" grep -q "^mug,$work/shoot/mug,done,12,24,0,11,,0,,[0-9.]*,$(printf '\r')\$" "$csv"
check "report: failed row" grep -q "^few,$work/shoot/few,failed,1,0,.*too few photos" "$csv"
json="$work/out/turnlet-batch-report.json"
check "report: JSON counts" grep -q '"failed": 1' "$json"
if command -v python3 >/dev/null; then
  check "report: JSON parses" python3 -c "import json,sys; d=json.load(open(sys.argv[1])); assert len(d['products'])==4" "$json"
fi

# The saved project exported by turnlet-export writes the very same frames.
"$bin/turnlet-export" "$work/out/vase/vase.trn.prj" --output "$work/direct" --quiet
check "same frames as turnlet-export" diff -r -x '*.record' -x '*.prj' "$work/direct" "$work/out/vase"

# One product of a list by index, into another root; the list's relative folders from its own folder.
printf '%s\r\n' "# today" shoot/cup "" shoot/vase >"$work/list.txt"
"$batch" "$work/set-up.trn.prj" --list "$work/list.txt" --index 1 --output "$work/one" --quiet
check "--index: exit 0" test $? -eq 0
check "--index 1 is vase" test -d "$work/one/vase" -a ! -e "$work/one/cup"
check "--index writes no report unless asked" test ! -e "$work/one/turnlet-batch-report.csv"
check "--index: same frames" diff -r "$work/one/vase" "$work/out/vase" -x '*.record' -x '*.prj'
(cd "$work" && "$batch" set-up.trn.prj --list list.txt --only 0 --output relative --quiet)
check "a relative root: the project names its folder in full" \
  grep -q "^EXPORT_DIR=$work/relative/cup" "$work/relative/cup/cup.trn.prj"
"$batch" "$work/set-up.trn.prj" --list "$work/list.txt" --only 2 --output "$work/one" 2>/dev/null
check "--only out of range exits 2" test $? -eq 2
"$batch" "$work/set-up.trn.prj" --output "$work/one" 2>/dev/null
check "no folders exits 2" test $? -eq 2
"$batch" "$work/none.trn.prj" "$work/shoot/cup" --output "$work/one" 2>/dev/null
check "unreadable template exits 2" test $? -eq 2
"$batch" "$work/set-up.trn.prj" "$work/shoot/cup" --jobs 0 2>/dev/null
check "--jobs 0 exits 2" test $? -eq 2

# A rerun skips what is done and retries the failure; a product whose photos changed is redone.
start=$(date +%s%N)
"$batch" "$work/set-up.trn.prj" "$work/shoot/cup" "$work/shoot/mug" "$work/shoot/vase" --output "$work/out" \
  >"$work/again.txt"
check "rerun: exit 0" test $? -eq 0
check "rerun: all skipped" test "$(grep -c '^skipped' "$work/again.txt")" -eq 3
cp "$work/shoot/cup/frame_002.jpg" "$work/shoot/mug/frame_013.jpg"
"$batch" "$work/set-up.trn.prj" "$work/shoot/cup" "$work/shoot/mug" --output "$work/out" >"$work/changed.txt"
check "changed photos: redone" grep -q "^done     mug" "$work/changed.txt"
check "unchanged: skipped" grep -q "^skipped  cup" "$work/changed.txt"

# Killed mid-product: the product in hand is not in the root, the rerun completes every product
# with the same frames as an uninterrupted batch, and no partial frames are left anywhere.
for p in a b c d; do
  "$bin/turnlet-make-sample" "$work/big/$p" --frames 24 --width 1200 --height 900 >/dev/null
  rm "$work/big/$p/sample.trn.prj" "$work/big/$p/jitter.csv"
done
"$bin/turnlet-make-sample" "$work/big-set-up" --frames 24 --width 1200 --height 900 >/dev/null
big=("$work/big/a" "$work/big/b" "$work/big/c" "$work/big/d")
"$batch" "$work/big-set-up/sample.trn.prj" "${big[@]}" --output "$work/plain" --quiet
"$batch" "$work/big-set-up/sample.trn.prj" "${big[@]}" --output "$work/killed" --quiet &
pid=$!
for _ in $(seq 1 1000); do
  compgen -G "$work/killed/.turnlet-batch/b/0003.jpg" >/dev/null && break
  sleep 0.01
done
{
  kill -9 "$pid"
  wait "$pid"
} 2>/dev/null
check "killed while b was exported" test -d "$work/killed/.turnlet-batch/b"
check "b not in the root" test ! -e "$work/killed/b"
check "a complete" diff -r "$work/killed/a" "$work/plain/a" -x '*.record' -x '*.prj'
"$batch" "$work/big-set-up/sample.trn.prj" "${big[@]}" --output "$work/killed" >"$work/resumed.txt"
check "resumed: exit 0" test $? -eq 0
check "resumed: a skipped" grep -q "^skipped  a" "$work/resumed.txt"
check "resumed: b redone" grep -q "^done     b" "$work/resumed.txt"
for p in a b c d; do
  check "resumed: $p as uninterrupted" diff -r "$work/killed/$p" "$work/plain/$p" -x '*.record' -x '*.prj'
done
check "resumed: no partial frames left" test ! -e "$work/killed/.turnlet-batch"

# Rerunning a finished batch of 100 products of 36 photos takes under a second.
"$bin/turnlet-make-sample" "$work/tiny" --frames 36 --width 64 --height 64 >/dev/null
sed -e 's/^EXPORT_FRAMES=.*/EXPORT_FRAMES=2\r/' -e 's/^EXPORT_WIDTH=.*/EXPORT_WIDTH=8\r/' \
  -e 's/^EXPORT_HEIGHT=.*/EXPORT_HEIGHT=8\r/' -e 's/^HTML5_VIEWER=.*/HTML5_VIEWER=0\r/' \
  "$work/tiny/sample.trn.prj" >"$work/tiny.trn.prj"
rm "$work/tiny/sample.trn.prj" "$work/tiny/jitter.csv"
for i in $(seq -w 1 100); do
  mkdir -p "$work/many/p$i" && cp -l "$work/tiny"/*.jpg "$work/many/p$i/"
done
"$batch" "$work/tiny.trn.prj" "$work/many"/* --output "$work/many-out" --quiet --jobs 2
check "100 products done" test "$(ls "$work/many-out" | grep -c '^p')" -eq 100
start=$(date +%s%N)
"$batch" "$work/tiny.trn.prj" "$work/many"/* --output "$work/many-out" --quiet
rerun=$(($(date +%s%N) - start))
echo "rerun of 100 finished products: $((rerun / 1000000)) ms"
check "rerun of 100 products under a second" test "$rerun" -lt 1000000000

echo "batch CLI: $passed passed, $failed failed"
test "$failed" -eq 0
