#!/usr/bin/env bash
# The studio batch's figures: N products of 36 photos (3000 x 2000 by default), exported one by one
# and then by one batch with --jobs 2; wall and processor time, peak memory per job against one
# export, and the rerun of the finished batch.
#   bench/batch_speed.sh BIN_DIR WORK_DIR [PRODUCTS] [WIDTH] [HEIGHT] [-- TURNLET-BATCH OPTIONS...]
set -euo pipefail
bin=$(realpath "$1")
work=$(realpath -m "$2")
products=${3:-8}
width=${4:-3000}
height=${5:-2000}
shift $(($# < 5 ? $# : 5))
[ "${1:-}" = "--" ] && shift
options=("$@")
batch="$bin/turnlet-batch"
mkdir -p "$work"

# The photos, made once and kept between runs (they take minutes at full size).
for i in $(seq 1 "$products"); do
  folder="$work/shoot/p$i"
  if [ ! -f "$folder/frame_036.jpg" ]; then
    # Each product turns a little further, so no two are the same pictures.
    "$bin/turnlet-make-sample" "$folder" --frames 36 --width "$width" --height "$height" \
      --turn-degrees $((360 + i)) >/dev/null
  fi
done
sed -e 's/^EXPORT_FRAMES=.*/EXPORT_FRAMES=36\r/' "$work/shoot/p1/sample.trn.prj" >"$work/set-up.trn.prj"
folders=()
for i in $(seq 1 "$products"); do folders+=("$work/shoot/p$i"); done

measure() {  # measure OUT_FILE COMMAND...: wall seconds, processor seconds, peak resident kB
  local out=$1
  shift
  /usr/bin/time -f '%e %U %S %M' -o "$out" "$@"
}
# Rounds of one by one and --jobs 2 taken in turn, so that the machine's other load falls on both
# alike; each round's ratio is printed and the best is the figure.
rounds=${ROUNDS:-3}
best=""
for round in $(seq 1 "$rounds"); do
  sum_wall=0
  sum_cpu=0
  for folder in "${folders[@]}"; do
    measure "$work/time.txt" "$batch" "$work/set-up.trn.prj" "$folder" --output "$work/one" --force --quiet \
      "${options[@]}"
    read -r wall user sys peak <"$work/time.txt"
    sum_wall=$(echo "$sum_wall + $wall" | bc)
    sum_cpu=$(echo "$sum_cpu + $user + $sys" | bc)
    one_peak=$peak
  done
  measure "$work/time.txt" "$batch" "$work/set-up.trn.prj" "${folders[@]}" --output "$work/two" --jobs 2 --force \
    --quiet "${options[@]}"
  read -r wall user sys peak <"$work/time.txt"
  ratio=$(echo "scale=3; $wall / ($sum_wall / 2)" | bc)
  echo "round $round: one by one ${sum_wall}s wall (${sum_cpu}s processor); --jobs 2 ${wall}s wall" \
    "($(echo "$user + $sys" | bc)s processor); ratio to the sum / 2: $ratio"
  if [ -z "$best" ] || [ "$(echo "$ratio < $best" | bc)" = 1 ]; then best=$ratio; fi
done
measure "$work/time.txt" "$bin/turnlet-export" "$work/one/p1/p1.trn.prj" --output "$work/export-only" --quiet
read -r export_wall _ _ export_peak <"$work/time.txt"
measure "$work/time.txt" "$batch" "$work/set-up.trn.prj" "${folders[@]}" --output "$work/two" --quiet "${options[@]}"
read -r rerun _ _ _ <"$work/time.txt"
same=yes
for i in $(seq 1 "$products"); do
  diff -rq -x '*.record' -x '*.prj' "$work/one/p$i" "$work/two/p$i" >/dev/null || same=no
done

echo "products: $products of 36 photos, $width x $height; options: ${options[*]:-none}"
echo "--jobs 2 wall against (sum of one-by-one walls) / 2, best of $rounds rounds: $best"
echo "peak resident, --jobs 2: ${peak} kB for both jobs"
echo "peak per job: $(echo "$peak / 2" | bc) kB; one product alone ${one_peak} kB; turnlet-export of it ${export_peak} kB (${export_wall}s)"
echo "rerun of the finished batch: ${rerun}s"
echo "frames of --jobs 2 the same as one by one: $same"
