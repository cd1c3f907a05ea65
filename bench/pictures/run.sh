#!/usr/bin/env bash
# Opens an all-pictures job of 500 pictures (JPG, PNG, GIF and BMP of 20-200
# KiB, served by nginx on loopback) in the picture editor, RUNS times
# (default 5), each run beside wget fetching the same 500 pictures, the two
# taking turns. Prints the median figures of bench_pictures and the ratio of
# its time to all thumbnails to wget's time for the bare downloads.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BENCH_BUILD_DIR:-$root/build-bench}
runs=${RUNS:-5}
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DMOSS_TESTS=OFF -DMOSS_BENCH=ON >/dev/null
nice cmake --build "$build" -j"${JOBS:-2}" --target bench_pictures >/dev/null
bench=$build/bin/bench_pictures

work=$(mktemp -d "${TMPDIR:-/tmp}/moss-bench-pictures-XXXXXX")
nginx_pid=
cleanup() {
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

www=$work/www
mkdir -p "$www" "$work/tmp"
# nginx's workers must be able to read the folder.
chmod 755 "$work" "$www"
QT_QPA_PLATFORM=offscreen "$bench" make "$www" 500 2>/dev/null

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
base=http://127.0.0.1:$port/
awk -v b="$base" '{ print b $1 }' "$www/manifest.txt" >"$work/list.txt"
# Once untimed, so that nobody pays for nginx filling its page cache.
wget -q -i "$work/list.txt" -O /dev/null

declare -A v
ours() {
  local out
  out=$(MOSSGATHER_URLCACHE="$work/cache$1/" QT_QPA_PLATFORM=offscreen "$bench" run "$base" "$www" 2>"$work/bench.err") ||
    { cat "$work/bench.err" >&2; return 1; }
  rm -rf "$work/cache$1"
  while read -r k val; do v[$k]+="$val "; done <<<"$out"
}
theirs() {
  local t0=$EPOCHREALTIME
  wget -q -i "$work/list.txt" -P "$work/wget" || { echo "wget failed" >&2; return 1; }
  local t1=$EPOCHREALTIME
  rm -rf "$work/wget"
  v[wget_ms]+="$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%d", (b - a) * 1000 }') "
}
for r in $(seq 1 "$runs"); do
  if ((r % 2)); then ours "$r"; theirs; else theirs; ours "$r"; fi
  echo "run $r of $runs done" >&2
done

median() { tr ' ' '\n' | grep . | sort -g | awk '{ a[NR] = $1 } END { print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2 }'; }
declare -A m
for k in shown_ms usable_ms all_ms key_max_ms wheel_max_ms stall_max_ms rss_start_kib rss_100_kib rss_100_idle_kib rss_peak_kib \
  rss_after_kib wget_ms; do
  m[$k]=$(median <<<"${v[$k]}")
  printf '%-14s median %8s   (runs: %s)\n' "$k" "${m[$k]}" "${v[$k]}"
done
mib() { awk -v k="$1" 'BEGIN { printf "%.0f MiB", k / 1024 }'; }
echo
echo "500 pictures, $(du -sk "$www" | awk '{ printf "%.0f MiB", $1 / 1024 }') on loopback"
echo "request to window usable: ${m[usable_ms]} ms (goal 1000; plus the controller's fixed 500 ms edit timer)"
echo "request to all thumbnails: ${m[all_ms]} ms (goal 3000); wget fetching the same pictures: ${m[wget_ms]} ms," \
  "ratio $(awk -v a="${m[all_ms]}" -v b="${m[wget_ms]}" 'BEGIN { printf "%.2f", a / b }')"
echo "while they arrive: key $(echo "${m[key_max_ms]}") ms, wheel ${m[wheel_max_ms]} ms, longest stall ${m[stall_max_ms]} ms"
echo "memory: start $(mib "${m[rss_start_kib]}"), 100-picture job $(mib "${m[rss_100_kib]}") (idle after it" \
  "$(mib "${m[rss_100_idle_kib]}")), peak $(mib "${m[rss_peak_kib]}"), after the tidy-up $(mib "${m[rss_after_kib]}")" \
  "(goal: below the 100-picture job)"
