#!/usr/bin/env bash
# Runs the README's test command N times in a row and tells how many runs
# passed; a suite that passes only by luck shows here.
#   scripts/soak.sh [N] [--busy]     (N defaults to 5)
# --busy keeps one core busy with a loop of our own for the whole soak, as
# another program would on a user's machine. Each run's output is kept in
# $SOAK_DIR (default build/soak/), and the failed tests of a run are named.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=5
busy=0
for a in "$@"; do
  case "$a" in
    --busy) busy=1 ;;
    ''|*[!0-9]*) echo "usage: $0 [N] [--busy]" >&2; exit 2 ;;
    *) runs=$a ;;
  esac
done
out=${SOAK_DIR:-$root/build/soak}
mkdir -p "$out"

burner=""
stop_burner() { [ -n "$burner" ] && kill "$burner" 2>/dev/null && wait "$burner" 2>/dev/null; burner=""; }
trap stop_burner EXIT
if [ "$busy" = 1 ]; then
  (while :; do :; done) &
  burner=$!
  echo "one core kept busy (pid $burner)"
fi

passed=0
for ((i = 1; i <= runs; i++)); do
  log="$out/run-$i.log"
  start=$(date +%s)
  "$root/scripts/test.sh" >"$log" 2>&1
  rc=$?
  secs=$(($(date +%s) - start))
  summary=$(grep -E '^[0-9]+% tests passed' "$log" | tail -n 1)
  if [ "$rc" = 0 ]; then
    passed=$((passed + 1))
    echo "run $i: passed in ${secs} s: ${summary:-?}"
  else
    echo "run $i: FAILED (exit $rc) in ${secs} s: ${summary:-no summary, see $log}"
    grep -E '^\s+[0-9]+ - .* \((Failed|Timeout|SEGFAULT|Subprocess aborted|Exception)\)' "$log" | sed 's/^/    /'
  fi
done
echo "$passed of $runs runs passed$([ "$busy" = 1 ] && echo ' (one core kept busy)')"
[ "$passed" = "$runs" ]
