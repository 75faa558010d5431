#!/usr/bin/env bash
# Builds Turnlet and runs every test: the optimised build (unit, command-line and browser tests),
# the AddressSanitizer/UndefinedBehaviorSanitizer build, the ThreadSanitizer build of the threaded
# core, and the formatting check.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
jobs="$(nproc 2>/dev/null || echo 2)"

echo "== clang-format"
bad=$(git ls-files -- '*.cpp' '*.h' | xargs -r clang-format --dry-run -Werror 2>&1 | grep -c 'error:' || true)
if [ "$bad" != "0" ]; then
  git ls-files -- '*.cpp' '*.h' | xargs -r clang-format --dry-run -Werror
  exit 1
fi

echo "== release build and tests"
cmake --preset release >/dev/null
cmake --build --preset release -j "$jobs"
ctest --preset release -j "$jobs"

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build and tests"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
ctest --preset asan -j "$jobs" -E 'browser|cli|batch_engines'

echo "== ThreadSanitizer build of the threaded core"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs" --target test_worker test_export test_frame_render test_source test_firstlast \
  test_tune_picture test_worker_soak test_align test_tasks test_geometry test_batch
ctest --preset tsan -j "$jobs" -R \
  'Worker\.|ExportRun\.|FusedRender\.|SourceCache\.|SourceScheduler\.|FrameRender\.|ShowSource|ShowFirstLastThreaded\.|TunePictureThreaded\.|TunedView\.|WorkerSoak\.|AlignJobThreaded\.|TurnAlignment\.Stopping|TurnAlignment\.AFrameJob|TurnEnd\.Failures|TurnEnd\.UnrelatedViews|StillMask\.|Tasks\.|ParallelRows\.|TurnAlignment\.FullSize|BatchRun\.SideBySide|BatchRun\.AFailing'

echo "== Imaging tests built without vector code (the portable loops alone)"
cmake --preset portable >/dev/null
cmake --build --preset portable -j "$jobs" --target test_image_files test_geometry test_tone test_worker
for test in test_image_files test_geometry test_tone test_worker; do
  TURNLET_TEST_TMP="$PWD/build/portable/test-tmp" "build/portable/bin/$test" --gtest_brief=1
done

echo "== Fuzzing every reader for 30 s each (clang, AddressSanitizer, UndefinedBehaviorSanitizer)"
bash scripts/fuzz.sh 30
