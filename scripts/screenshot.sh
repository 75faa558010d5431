#!/usr/bin/env bash
# Starts the editor under a virtual X display with a few sample photographs added and a crop drawn,
# and saves a picture of its window.
#
#   scripts/screenshot.sh [OUT.png] [--size WxH] [--page 0|1|2] [--select N] [--crop L,T,R,B]
#                         [--range FIRST,LAST] [--tab 0|1] [--frame N] [--interlace N] [--tune] [--parameters]
#                         [--lang ru] [--dialog export|video|about]
#   scripts/screenshot.sh --dialogs    # the export dialog mid-export, the video import dialog and
#                                      # the About box, in Russian, into build/release/screenshots/
#   scripts/screenshot.sh --guide      # the user guide's illustrations, into resources/help/
#
# Uses the release build (build/release, or the folder in TURNLET_BUILD_DIR) and builds what it needs.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
build="${TURNLET_BUILD_DIR:-build/release}"
bin="$build/bin"

if [ ! -x "$bin/turnlet-screenshot" ] || [ ! -x "$bin/turnlet-make-sample" ]; then
  [ -f "$build/CMakeCache.txt" ] || cmake --preset release >/dev/null
  cmake --build "$build" --target turnlet-screenshot turnlet-make-sample
fi
command -v xvfb-run >/dev/null 2>&1 || bash scripts/setup.sh

# A short, fixed folder: its paths show in the list and the status bar.
samples=/tmp/turnlet-samples/vase
rm -rf "$samples"
trap 'rm -rf /tmp/turnlet-samples' EXIT
"$bin/turnlet-make-sample" "$samples" --frames 24 >/dev/null
photos=()
for n in 01 02 03 04 05 06 07 08; do photos+=("$samples/frame_0$n.jpg"); done

shoot() {
  xvfb-run -a -s "-screen 0 1600x1200x24" "$bin/turnlet-screenshot" "$@" "${photos[@]}"
}

if [ "${1:-}" = "--guide" ]; then
  mkdir -p resources/help
  shoot resources/help/import.png --select 2 --crop 0.22,0.08,0.78,0.96
  shoot resources/help/firstlast.png --page 1 --tab 1 --crop 0.22,0.08,0.78,0.96
  shoot resources/help/tune.png --page 2 --tune --frame 2 --crop 0.22,0.08,0.78,0.96
  shoot resources/help/parameters.png --page 2 --tune --frame 2 --parameters --crop 0.22,0.08,0.78,0.96
  echo "resources/help/import.png resources/help/firstlast.png resources/help/tune.png resources/help/parameters.png"
  exit 0
fi

if [ "${1:-}" = "--dialogs" ]; then
  mkdir -p "$build/screenshots"
  for dialog in export video about; do
    shoot "$build/screenshots/$dialog-ru.png" --lang ru --dialog "$dialog" --crop 0.22,0.08,0.78,0.96
    echo "$build/screenshots/$dialog-ru.png"
  done
  exit 0
fi

out="${1:-$build/screenshot.png}"
[ $# -gt 0 ] && shift
shoot "$out" --crop 0.22,0.08,0.78,0.96 "$@"
echo "$out"
