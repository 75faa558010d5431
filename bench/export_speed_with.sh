#!/bin/bash
# The shared whole-export timing (export_speed.sh beside the project's shared folder) with extra
# turnlet-export flags, e.g. to time the smooth resize: bench/export_speed_with.sh BIN/turnlet-export crop --smooth
# SPEED_SCRIPT names export_speed.sh when it is not in shared/bench beside the project's root or one
# folder further up (a worktree).
set -eu
exe=$(realpath "$1"); scen=$2; shift 2
root=$(cd "$(dirname "$0")/.." && pwd)
script=${SPEED_SCRIPT:-}
for up in "$root/.." "$root/../.."; do
    [ -z "$script" ] && [ -f "$up/shared/bench/export_speed.sh" ] && script=$up/shared/bench/export_speed.sh
done
[ -f "$script" ] || { echo "no export_speed.sh at $script (set SPEED_SCRIPT)"; exit 1; }
wrap=$(mktemp -d); trap 'rm -rf "$wrap"' EXIT
printf '#!/bin/sh\nexec "%s" "$@" %s\n' "$exe" "$*" > "$wrap/turnlet-export"
chmod +x "$wrap/turnlet-export"
bash "$script" "$wrap/turnlet-export" "$scen"
