#!/usr/bin/env bash
# The browser's host on a menu click: the same message sent N times to
# "mossgather -Embedding" and to mossgather-relay, in turns, each a fresh
# process as the browser starts it. Reports the median wall time of one
# round trip (start, answer, end) and the ratio light/full, for
#   - "Check", which the host answers itself;
#   - "GetOptions", which it relays to a running copy.
#   BUILD_DIR=build bench/startup/bench_host.sh [N]   (N defaults to 50)
set -euo pipefail
build=${BUILD_DIR:-build}
n=${1:-50}
bin=$(cd "$build/bin" && pwd)
[ -x "$bin/mossgather-relay" ] || { echo "no $bin/mossgather-relay: build it first" >&2; exit 1; }

tmp=$(mktemp -d /tmp/mossgather-bench-host-XXXXXX)
copy=
cleanup() {
  if [ -n "$copy" ]; then
    kill -TERM "$copy" 2>/dev/null || true
    wait "$copy" 2>/dev/null || true
  fi
  rm -rf "$tmp"
}
trap cleanup EXIT
export HOME=$tmp XDG_CONFIG_HOME=$tmp/config XDG_CACHE_HOME=$tmp/cache XDG_RUNTIME_DIR=$tmp/run
export MOSSGATHER_REGISTRY=$tmp/registry.ini MOSSGATHER_PRGDIR=$tmp/prg/ QT_QPA_PLATFORM=offscreen MOSSGATHER_UPDHOST=
mkdir -m 0700 "$tmp/run"
mkdir "$tmp/prg"
# With an installed copy recorded the relay serves by itself.
"$bin/mossgather-reg" set 'Software\Mossgather\' CurExeFile "$bin/mossgather"

# A native message: 4-byte little-endian length (all ours are short), JSON.
frame() { printf "\\$(printf '%03o' "${#1}")\\0\\0\\0%s" "$1" >"$2"; }
frame '{"method":"Check"}' "$tmp/check"
frame '{"method":"GetOptions"}' "$tmp/options"

# Microseconds of one round trip of message file $1 through host command $2...
round() {
  local msg=$1 t0 t1
  shift
  t0=${EPOCHREALTIME/./}
  "$@" chrome-extension://clpjckchdmpkgcenimeglbnciacogkjo/ <"$msg" >"$tmp/reply"
  t1=${EPOCHREALTIME/./}
  grep -q '"status":0' "$tmp/reply" || { echo "$* answered: $(tail -c +5 "$tmp/reply")" >&2; exit 1; }
  echo $((t1 - t0))
}
median_ms() { sort -n | awk '{v[NR]=$1} END {m = NR % 2 ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2; printf "%.1f", m/1000}'; }

measure() {
  local label=$1 msg=$2 i
  : >"$tmp/full.txt"
  : >"$tmp/light.txt"
  for ((i = 0; i < n; i++)); do
    round "$msg" "$bin/mossgather" -Embedding >>"$tmp/full.txt"
    round "$msg" "$bin/mossgather-relay" >>"$tmp/light.txt"
  done
  local full light
  full=$(median_ms <"$tmp/full.txt")
  light=$(median_ms <"$tmp/light.txt")
  printf '%-26s %10s %10s %12s\n' "$label" "$full" "$light" "$(awk -v l="$light" -v f="$full" 'BEGIN {printf "%.2f", l/f}')"
}

echo "host round trips, median of $n each (ms)"
printf '%-26s %10s %10s %12s\n' message full light light/full
measure "Check (answered itself)" "$tmp/check"

"$bin/mossgather" -RealStr >"$tmp/copy.log" 2>&1 &
copy=$!
sock="$tmp/run/mossgather/Mossgather 0.12.sock"
for ((i = 0; i < 600; i++)); do
  [ -S "$sock" ] && break
  kill -0 "$copy" 2>/dev/null || { echo "the running copy ended at its start:" >&2; cat "$tmp/copy.log" >&2; exit 1; }
  sleep 0.05
done
[ -S "$sock" ] || { echo "gave up waiting for the running copy's channel $sock" >&2; exit 1; }
measure "GetOptions (relayed)" "$tmp/options"
