#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang, AddressSanitizer and UndefinedBehaviorSanitizer, and runs
# each for SECONDS (default 60) from the seed corpora in fuzz/corpus. Fails on any crash, leak,
# time-out or memory blow-up; the input that caused it is kept in build/fuzz/artifacts.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
seconds="${1:-60}"
build=build/fuzz

cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTURNLET_FUZZ=ON -DTURNLET_SANITIZE=address,undefined \
  -DTURNLET_BUILD_APP=OFF -DTURNLET_BUILD_BENCH=OFF -DTURNLET_BUILD_TESTS=OFF >/dev/null
targets=(jpeg jpeg_scaled png bmp webp avif project settings text)
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target "${targets[@]/#/fuzz_}"

mkdir -p "$build/artifacts"
run_one() {
  local target="$1" seconds="$2" build="$3"
  # The working corpus grows outside the repository; the committed seeds stay as they are.
  local corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  # The reduced-scale decoder starts from the JPEG seeds.
  local seeds="$target"
  [ "$target" = jpeg_scaled ] && seeds=jpeg
  cp -n fuzz/corpus/"$seeds"/* "$corpus"/ 2>/dev/null || true
  # A small input must never make a reader take a second or hundreds of megabytes.
  if "$build/bin/fuzz_$target" "$corpus" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=1536 \
      -malloc_limit_mb=512 -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
      >"$build/fuzz_$target.log" 2>&1; then
    echo "fuzz_$target: $(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$build/fuzz_$target.log" | grep -o '[0-9]*$') executions, no failure"
  else
    # The targets are deterministic: a time-out that its input does not repeat when run alone was
    # the machine's load (a sanitizer's pause on a busy shared machine), not a reader that hangs.
    local artifact
    artifact="$(ls -t "$build/artifacts/$target-timeout-"* 2>/dev/null | head -n 1)"
    if [ -n "$artifact" ] && ! grep -q 'ERROR: libFuzzer: \(deadly\|out-of-memory\|malloc\)\|ERROR: AddressSanitizer\|runtime error' \
        "$build/fuzz_$target.log" && "$build/bin/fuzz_$target" -timeout=5 "$artifact" >/dev/null 2>&1; then
      echo "fuzz_$target: $(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$build/fuzz_$target.log" | grep -o '[0-9]*$') executions; a time-out under load did not repeat alone ($artifact)"
      return 0
    fi
    echo "fuzz_$target: FAILED (see $build/fuzz_$target.log)"
    tail -n 40 "$build/fuzz_$target.log"
    return 1
  fi
}
export -f run_one
printf '%s\n' "${targets[@]}" | xargs -P 2 -I{} bash -c 'run_one "$@"' _ {} "$seconds" "$build"
