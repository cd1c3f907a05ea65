#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs each for FUZZ_SECONDS (default 60).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
secs=${FUZZ_SECONDS:-60}
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMOSS_FUZZ=ON \
  -DMOSS_SANITIZE=address,undefined -DMOSS_TESTS=ON -DMOSS_BENCH=OFF >/dev/null
cmake --build "$build" -j"${JOBS:-2}" --target fuzzers
export ASAN_OPTIONS=detect_leaks=0
shopt -s nullglob
ran=0
for f in "$build"/bin/fuzz_*; do
  name=$(basename "$f")
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  seeds=()
  [ -d "$root/tests/fuzz/seeds/$name" ] && seeds=("$root/tests/fuzz/seeds/$name")
  echo "-- $name for ${secs}s"
  "$f" -max_total_time="$secs" -max_len=65536 -print_final_stats=0 "$corpus" "${seeds[@]}" >"$build/$name.log" 2>&1 \
    || { tail -50 "$build/$name.log"; exit 1; }
  tail -1 "$build/$name.log"
  ran=$((ran + 1))
done
echo "fuzzers run: $ran"
