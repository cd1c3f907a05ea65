#!/usr/bin/env bash
# Downloads from nginx on loopback with mossgather-fetch, curl and wget:
# one 1 GiB file (ours, curl, wget) and 500 files of 20-40 KiB (ours --list,
# wget -i), RUNS times each (default 5), the tools taking turns. Prints the
# median wall times and the ratios ours/curl and ours/wget.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
"$root/scripts/deps.sh"
build=${BENCH_BUILD_DIR:-$root/build-bench}
runs=${RUNS:-5}
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DMOSS_TESTS=OFF -DMOSS_BENCH=OFF >/dev/null
nice cmake --build "$build" -j"${JOBS:-2}" --target mossgather-fetch >/dev/null
fetch=$build/bin/mossgather-fetch

work=$(mktemp -d "${TMPDIR:-/tmp}/moss-bench-XXXXXX")
nginx_pid=
cleanup() {
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

www=$work/www
mkdir -p "$www/small" "$work/tmp" "$work/out"
truncate -s 1G "$www/big.bin"  # sparse: nginx reads zeros without touching the disk
for i in $(seq 1 500); do
  head -c $((20480 + RANDOM % 20481)) /dev/urandom >"$www/small/f$i.bin"
done

# nginx on a free loopback port: try a few random ones.
start_nginx() {
  local port=$1
  cat >"$work/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $work/nginx.pid;
error_log $work/error.log;
events { worker_connections 1024; }
http {
  access_log off;
  sendfile on;
  keepalive_requests 100000;
  client_body_temp_path $work/tmp/body;
  proxy_temp_path $work/tmp/proxy;
  fastcgi_temp_path $work/tmp/fastcgi;
  uwsgi_temp_path $work/tmp/uwsgi;
  scgi_temp_path $work/tmp/scgi;
  default_type application/octet-stream;
  server { listen 127.0.0.1:$port; root $www; }
}
CONF
  nginx -p "$work" -c "$work/nginx.conf" -e "$work/error.log" &
  nginx_pid=$!
  for _ in $(seq 1 50); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then return 0; fi
    kill -0 "$nginx_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill "$nginx_pid" 2>/dev/null || true
  wait "$nginx_pid" 2>/dev/null || true
  nginx_pid=
  return 1
}
port=
for _ in $(seq 1 10); do
  p=$((20000 + RANDOM % 40000))
  if start_nginx "$p"; then port=$p; break; fi
done
[ -n "$port" ] || { echo "nginx did not start"; cat "$work/error.log"; exit 1; }
base=http://127.0.0.1:$port
for i in $(seq 1 500); do echo "$base/small/f$i.bin"; done >"$work/list.txt"

# Runs a command and prints its wall time in seconds; fails when it fails.
timed() {
  local t0=$EPOCHREALTIME
  "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; return 1; }
  local t1=$EPOCHREALTIME
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f\n", b - a }'
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

declare -A t
out=$work/out
big_ours() { "$fetch" "$base/big.bin" "$out/big.bin"; }
big_curl() { curl -sf -o "$out/big.bin" "$base/big.bin"; }
big_wget() { wget -q -O "$out/big.bin" "$base/big.bin"; }
small_ours() { "$fetch" --list "$work/list.txt" "$out/s"; }
small_wget() { wget -q -i "$work/list.txt" -P "$out/s"; }
# Once untimed, so that no tool pays for nginx filling its page cache.
curl -sf -o /dev/null "$base/big.bin"
wget -q -i "$work/list.txt" -O /dev/null
bigs=(big_ours big_curl big_wget)
smalls=(small_ours small_wget)
for r in $(seq 1 "$runs"); do
  # Each run starts with another tool, so none is always first.
  for i in 0 1 2; do
    k=${bigs[$(((i + r) % 3))]}
    t[$k]+="$(timed "$k") "
    rm -f "$out/big.bin"
  done
  for i in 0 1; do
    k=${smalls[$(((i + r) % 2))]}
    mkdir -p "$out/s"
    t[$k]+="$(timed "$k") "
    rm -rf "$out/s"
  done
  echo "run $r of $runs done" >&2
done

declare -A m
for k in big_ours big_curl big_wget small_ours small_wget; do
  m[$k]=$(tr ' ' '\n' <<<"${t[$k]}" | grep . | median)
  printf '%-11s median %7.3f s   (runs: %s)\n' "$k" "${m[$k]}" "${t[$k]}"
done
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
echo "1 GiB file:     ours/curl $(ratio "${m[big_ours]}" "${m[big_curl]}")  ours/wget $(ratio "${m[big_ours]}" "${m[big_wget]}")  (goal: ours/curl <= 0.70)"
echo "500 small files: ours/wget $(ratio "${m[small_ours]}" "${m[small_wget]}")  (goal: <= 1.50)"
