#!/usr/bin/env bash
# Downloads a gallery the way it comes on a real network: 500 files of
# 20-40 KiB over https from nginx, through a proxy of our own that holds every
# byte DELAY_MS (default 20) in each direction on loopback. mossgather-fetch
# --list with its default limits against wget -i (keep-alive, one at a time)
# and aria2c -i with as many connections as ours, RUNS times each (default 5),
# the tools taking turns. Prints the median wall times, the connections each
# tool used and the ratios ours/wget and ours/aria2c.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
"$root/scripts/deps.sh"
build=${BENCH_BUILD_DIR:-$root/build-bench}
runs=${RUNS:-5}
delay=${DELAY_MS:-20}
files=${FILES:-500}
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DMOSS_TESTS=OFF -DMOSS_BENCH=ON >/dev/null
nice cmake --build "$build" -j"${JOBS:-2}" --target mossgather-fetch moss-delay-proxy >/dev/null
fetch=$build/bin/mossgather-fetch
proxy=$build/bin/moss-delay-proxy
# What ours opens to one server at once by default; aria2c gets as many.
conns=4

work=$(mktemp -d "${TMPDIR:-/tmp}/moss-bench-XXXXXX")
chmod 755 "$work"  # nginx's workers must read what is served
nginx_pid=
proxy_pid=
cleanup() {
  [ -n "$proxy_pid" ] && kill "$proxy_pid" 2>/dev/null && wait "$proxy_pid" 2>/dev/null
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

www=$work/www
mkdir -p "$www/small" "$work/tmp" "$work/out"
for i in $(seq 1 "$files"); do
  head -c $((20480 + RANDOM % 20481)) /dev/urandom >"$www/small/f$i.bin"
done
chmod -R a+rX "$www"

# A test CA and a certificate for 127.0.0.1, as a site would have.
(
  cd "$work"
  printf '[req]\ndistinguished_name = dn\nprompt = no\n[dn]\nCN = bench\n' >req.cnf
  openssl req -x509 -config req.cnf -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout ca.key -out ca.pem \
    -days 2 -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign 2>/dev/null
  openssl req -new -config req.cnf -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout srv.key -out srv.csr \
    2>/dev/null
  printf 'subjectAltName = IP:127.0.0.1\nextendedKeyUsage = serverAuth\n' >srv.ext
  openssl x509 -req -in srv.csr -CA ca.pem -CAkey ca.key -set_serial 1 -days 2 -extfile srv.ext -out srv.pem 2>/dev/null
)

free_port() {
  local p
  while :; do
    p=$((20000 + RANDOM % 40000))
    (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null || { echo "$p"; return; }
  done
}
wait_port() {
  for _ in $(seq 1 50); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; then return 0; fi
    sleep 0.1
  done
  return 1
}

port=$(free_port)
cat >"$work/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $work/nginx.pid;
error_log $work/error.log;
events { worker_connections 1024; }
http {
  log_format conn '\$connection';
  access_log $work/access.log conn;
  sendfile on;
  keepalive_requests 100000;
  keepalive_timeout 75s;
  client_body_temp_path $work/tmp/body;
  proxy_temp_path $work/tmp/proxy;
  fastcgi_temp_path $work/tmp/fastcgi;
  uwsgi_temp_path $work/tmp/uwsgi;
  scgi_temp_path $work/tmp/scgi;
  default_type application/octet-stream;
  server {
    listen 127.0.0.1:$port ssl;
    ssl_protocols TLSv1.2 TLSv1.3;
    ssl_certificate $work/srv.pem;
    ssl_certificate_key $work/srv.key;
    root $www;
  }
}
CONF
nginx -p "$work" -c "$work/nginx.conf" -e "$work/error.log" &
nginx_pid=$!
wait_port "$port" || { echo "nginx did not start"; cat "$work/error.log"; exit 1; }
pport=$(free_port)
"$proxy" "$pport" "$port" "$delay" >"$work/proxy.out" &
proxy_pid=$!
wait_port "$pport" || { echo "the delay proxy did not start"; exit 1; }
base=https://127.0.0.1:$pport
for i in $(seq 1 "$files"); do echo "$base/small/f$i.bin"; done >"$work/list.txt"

# Runs a command and prints its wall time in seconds; fails when it fails.
timed() {
  local t0=$EPOCHREALTIME
  "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; return 1; }
  local t1=$EPOCHREALTIME
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f\n", b - a }'
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

out=$work/out/s
ca=$work/ca.pem
ours() { "$fetch" --ca-file "$ca" --list "$work/list.txt" "$out"; }
wget_i() { wget -q --ca-certificate="$ca" -i "$work/list.txt" -P "$out"; }
aria2c_i() {
  aria2c -q --ca-certificate="$ca" -i "$work/list.txt" -d "$out" -j "$conns" -x 1 --max-connection-per-server=1 \
    --enable-http-keep-alive=true --file-allocation=none --auto-file-renaming=false --allow-overwrite=true
}
# Every file must arrive whole; and the connections a run used are counted
# from nginx's log.
check() {
  local bad=0
  for i in $(seq 1 "$files"); do cmp -s "$www/small/f$i.bin" "$out/f$i.bin" || bad=$((bad + 1)); done
  [ "$bad" -eq 0 ] || { echo "$1: $bad files wrong or missing" >&2; exit 1; }
}
tools=(ours wget_i aria2c_i)
declare -A t c
for r in $(seq 1 "$runs"); do
  # Each run starts with another tool, so none is always first.
  for i in 0 1 2; do
    k=${tools[$(((i + r) % 3))]}
    mkdir -p "$out"
    : >"$work/access.log"
    t[$k]+="$(timed "$k") "
    check "$k"
    c[$k]=$(sort -u "$work/access.log" | wc -l)
    rm -rf "$out"
  done
  echo "run $r of $runs done" >&2
done

declare -A m
for k in "${tools[@]}"; do
  m[$k]=$(tr ' ' '\n' <<<"${t[$k]}" | grep . | median)
  printf '%-9s median %7.3f s   connections %2s   (runs: %s)\n' "$k" "${m[$k]}" "${c[$k]}" "${t[$k]}"
done
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
echo "$files files of 20-40 KiB over https, ${delay} ms each way:" \
  "ours/wget $(ratio "${m[ours]}" "${m[wget_i]}") (goal <= 0.25)  ours/aria2c $(ratio "${m[ours]}" "${m[aria2c_i]}") (goal <= 1.00)"
