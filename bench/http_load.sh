#!/usr/bin/env bash
# Load comparison on loopback: wrk fetches the real main page ("/") of a synthetic
# controller from korvane_monitor, which collects every second meanwhile, and the same
# bytes from nginx. For each drive count: the page is fetched once with curl and saved
# for nginx, then the two servers take turns, RUNS runs each (keep-alive off).
# Prints the median requests per second and p99 latency of each, the server's CPU time per
# request (user + system of its processes; on a busy machine the rates mostly show how the
# scheduler shares the cores, this does not), and the ratio ours/nginx.
# With BASELINE set to another korvane_monitor binary (say the tree before a change), it
# takes its turn in the same runs; the monitor not being loaded is paused meanwhile, so
# only one collects at a time.
#
#   bench/http_load.sh [path/to/korvane_monitor]     (default: build/rel/korvane_monitor)
# make_controller (built with -DKV_BUILD_BENCH=ON) is taken from beside the binary, or
# from MAKE_CONTROLLER.
# Environment: DRIVES ("64 256"), RUNS (3), DURATION (10s), CONNECTIONS (64), THREADS (2),
# BASELINE (none).
set -euo pipefail
cd "$(dirname "$0")/.."
BINARY=${1:-${KV_BINARY:-build/rel/korvane_monitor}}
MAKE_CONTROLLER=${MAKE_CONTROLLER:-$(dirname "$BINARY")/make_controller}
DRIVES=${DRIVES:-64 256}
RUNS=${RUNS:-3}
DURATION=${DURATION:-10s}
CONNECTIONS=${CONNECTIONS:-64}
THREADS=${THREADS:-2}
BASELINE=${BASELINE:-}

missing=()
for pkg in wrk nginx-light curl; do
  dpkg -s "$pkg" >/dev/null 2>&1 || missing+=("$pkg")
done
if [ ${#missing[@]} -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}" >/dev/null 2>&1 || {
    apt-get update >/dev/null
    DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}" >/dev/null
  }
fi
[ -x "$BINARY" ] || { echo "no binary at $BINARY (build first)"; exit 1; }
[ -z "$BASELINE" ] || [ -x "$BASELINE" ] || { echo "no baseline binary at $BASELINE"; exit 1; }
[ -x "$MAKE_CONTROLLER" ] || { echo "no make_controller at $MAKE_CONTROLLER (configure with -DKV_BUILD_BENCH=ON)"; exit 1; }

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

WORK=$(mktemp -d /tmp/kv-bench.XXXXXX)
chmod 755 "$WORK"
OURS_PID=""
BASE_PID=""
NGINX_PID=""
stop_servers() {
  local pid
  for pid in "$OURS_PID" "$BASE_PID" "$NGINX_PID"; do
    [ -n "$pid" ] || continue
    kill -CONT "$pid" 2>/dev/null || true
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  OURS_PID=""
  BASE_PID=""
  NGINX_PID=""
}
cleanup() {
  stop_servers
  rm -rf "$WORK"
}
trap cleanup EXIT

wait_port() {
  for _ in $(seq 100); do
    (exec 3<>/dev/tcp/127.0.0.1/"$1") 2>/dev/null && return 0
    sleep 0.1
  done
  echo "nothing listens on $1"; exit 1
}

run_wrk() {  # port, output file
  wrk -t"$THREADS" -c"$CONNECTIONS" -d"$DURATION" --latency -H "Connection: close" \
      "http://127.0.0.1:$1/" > "$2"
}
# CPU clock ticks used so far by process $1 and its child processes.
cpu_ticks() {
  local total=0 pid
  for pid in "$1" $(pgrep -P "$1" || true); do
    total=$((total + $(awk '{ print $14 + $15 }' "/proc/$pid/stat")))
  done
  echo "$total"
}
# Microseconds of CPU per request: ticks before, ticks after, wrk output file.
cpu_us() {
  awk -v a="$1" -v b="$2" -v hz="$(getconf CLK_TCK)" '/ requests in / { n = $1 }
    END { if (n > 0) printf "%.0f", (b - a) * 1000000 / hz / n }' "$3"
}
rps() { awk '/^Requests\/sec:/ {print $2}' "$1"; }
p99_ms() {  # wrk prints 950.00us, 12.34ms or 1.20s
  awk '$1 == "99%" { v = $2; f = 1
    if (v ~ /us$/) f = 0.001; else if (v ~ /ms$/) f = 1; else if (v ~ /m$/) f = 60000; else if (v ~ /s$/) f = 1000
    sub(/[a-z]+$/, "", v); printf "%.2f", v * f }' "$1"
}
errors() { grep -E "Socket errors|Non-2xx" "$1" | tr -s ' ' | paste -sd';' - || true; }
# Port of the monitor to load, the monitor to pause meanwhile (may be empty), output file.
run_monitor_wrk() {
  [ -z "$2" ] || kill -STOP "$2"
  run_wrk "$1" "$3"
  [ -z "$2" ] || kill -CONT "$2"
}
# Server pid, then the command that loads it; appends the CPU per request to the output
# file (the command's last argument).
with_cpu() {
  local pid=$1 before after
  shift
  before=$(cpu_ticks "$pid")
  "$@"
  after=$(cpu_ticks "$pid")
  echo "cpu_us_per_request $(cpu_us "$before" "$after" "${@: -1}")" >> "${@: -1}"
}
cpu_of() { awk '$1 == "cpu_us_per_request" { print $2 }' "$1"; }
# Writes the monitor's settings for port $2 into folder $1.
write_config() {
  printf '[http]\r\nport=%s\r\nmax_per_client=%s\r\n[scaner]\r\ntimeout=1\r\n[source]\r\nconfig=get_config.txt\r\nsmart=get_smartstats.txt\r\nstat=get_logs_stats.txt\r\ncache=get_logs_cache.txt\r\n' \
    "$2" "$((CONNECTIONS * 2))" > "$1/config_http.txt"
}
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

echo "$CONNECTIONS connections, $DURATION per run, $RUNS runs each in turn, keep-alive off; binary $BINARY${BASELINE:+, baseline $BASELINE}"
for drives in $DRIVES; do
  ours_dir="$WORK/ours_$drives"
  nginx_dir="$WORK/nginx_$drives"
  mkdir -p "$nginx_dir"
  "$MAKE_CONTROLLER" "$drives" "$ours_dir"
  cp "$BINARY" "$ours_dir/korvane_monitor"
  OURS_PORT=$(free_port)
  NGINX_PORT=$(free_port)
  # One load generator is one client address: let all its connections in, as nginx does.
  # The collection runs every second while the page is fetched.
  write_config "$ours_dir" "$OURS_PORT"
  base_dir="$WORK/base_$drives"
  if [ -n "$BASELINE" ]; then
    cp -r "$ours_dir" "$base_dir"
    cp "$BASELINE" "$base_dir/korvane_monitor"
    BASE_PORT=$(free_port)
    write_config "$base_dir" "$BASE_PORT"
  fi
  cat > "$WORK/nginx_$drives.conf" <<CONF
worker_processes auto;
pid $WORK/nginx_$drives.pid;
error_log $WORK/nginx_error.log;
events { worker_connections 1024; }
http {
  access_log off;
  client_body_temp_path $WORK/tmp_body;
  proxy_temp_path $WORK/tmp_proxy;
  fastcgi_temp_path $WORK/tmp_fastcgi;
  uwsgi_temp_path $WORK/tmp_uwsgi;
  scgi_temp_path $WORK/tmp_scgi;
  server {
    listen 127.0.0.1:$NGINX_PORT;
    root $nginx_dir;
  }
}
CONF

  (cd "$ours_dir" && exec ./korvane_monitor >"$ours_dir/stdout.txt" 2>&1) &
  OURS_PID=$!
  wait_port "$OURS_PORT"
  # The first collection has published the page once a drive link shows.
  for _ in $(seq 300); do
    curl -sf "http://127.0.0.1:$OURS_PORT/" -o "$nginx_dir/index.html" 2>/dev/null &&
      grep -q 'hdd_' "$nginx_dir/index.html" && break
    sleep 0.1
  done
  grep -q 'hdd_' "$nginx_dir/index.html" || { echo "the monitor did not render $drives drives"; exit 1; }
  chmod 644 "$nginx_dir/index.html"
  if [ -n "$BASELINE" ]; then
    (cd "$base_dir" && exec ./korvane_monitor >"$base_dir/stdout.txt" 2>&1) &
    BASE_PID=$!
    wait_port "$BASE_PORT"
    for _ in $(seq 300); do
      curl -sf "http://127.0.0.1:$BASE_PORT/" 2>/dev/null | grep -q 'hdd_' && break
      sleep 0.1
    done
  fi
  nginx -c "$WORK/nginx_$drives.conf" -g 'daemon off;' >"$WORK/nginx.out" 2>&1 &
  NGINX_PID=$!
  wait_port "$NGINX_PORT"
  cmp -s <(curl -s "http://127.0.0.1:$NGINX_PORT/") "$nginx_dir/index.html" || { echo "nginx serves other bytes"; exit 1; }

  size=$(stat -c %s "$nginx_dir/index.html")
  ours_rps=() ours_p99=() nginx_rps=() nginx_p99=() base_rps=() base_p99=()
  ours_cpu=() nginx_cpu=() base_cpu=()
  for run in $(seq "$RUNS"); do
    with_cpu "$OURS_PID" run_monitor_wrk "$OURS_PORT" "$BASE_PID" "$WORK/ours_${drives}_$run.wrk"
    if [ -n "$BASELINE" ]; then
      with_cpu "$BASE_PID" run_monitor_wrk "$BASE_PORT" "$OURS_PID" "$WORK/base_${drives}_$run.wrk"
      base_rps+=("$(rps "$WORK/base_${drives}_$run.wrk")")
      base_cpu+=("$(cpu_of "$WORK/base_${drives}_$run.wrk")")
      base_p99+=("$(p99_ms "$WORK/base_${drives}_$run.wrk")")
    fi
    with_cpu "$NGINX_PID" run_wrk "$NGINX_PORT" "$WORK/nginx_${drives}_$run.wrk"
    ours_cpu+=("$(cpu_of "$WORK/ours_${drives}_$run.wrk")")
    nginx_cpu+=("$(cpu_of "$WORK/nginx_${drives}_$run.wrk")")
    ours_rps+=("$(rps "$WORK/ours_${drives}_$run.wrk")")
    ours_p99+=("$(p99_ms "$WORK/ours_${drives}_$run.wrk")")
    nginx_rps+=("$(rps "$WORK/nginx_${drives}_$run.wrk")")
    nginx_p99+=("$(p99_ms "$WORK/nginx_${drives}_$run.wrk")")
    printf '  run %s: ours %10s req/s p99 %8s ms %4s us CPU %s | nginx %10s req/s p99 %8s ms %4s us CPU %s\n' "$run" \
      "${ours_rps[-1]}" "${ours_p99[-1]}" "${ours_cpu[-1]}" "$(errors "$WORK/ours_${drives}_$run.wrk")" \
      "${nginx_rps[-1]}" "${nginx_p99[-1]}" "${nginx_cpu[-1]}" "$(errors "$WORK/nginx_${drives}_$run.wrk")"
    [ -z "$BASELINE" ] || printf '         baseline %10s req/s p99 %8s ms %4s us CPU %s\n' \
      "${base_rps[-1]}" "${base_p99[-1]}" "${base_cpu[-1]}" "$(errors "$WORK/base_${drives}_$run.wrk")"
  done
  ours_median=$(median "${ours_rps[@]}")
  nginx_median=$(median "${nginx_rps[@]}")
  printf '%s drives, page %s bytes:\n' "$drives" "$size"
  printf '  ours  %10s req/s   p99 %8s ms   %4s us CPU/request   (medians)\n' "$ours_median" \
    "$(median "${ours_p99[@]}")" "$(median "${ours_cpu[@]}")"
  printf '  nginx %10s req/s   p99 %8s ms   %4s us CPU/request\n' "$nginx_median" \
    "$(median "${nginx_p99[@]}")" "$(median "${nginx_cpu[@]}")"
  if [ -n "$BASELINE" ]; then
    base_median=$(median "${base_rps[@]}")
    printf '  base  %10s req/s   p99 %8s ms   %4s us CPU/request\n' "$base_median" \
      "$(median "${base_p99[@]}")" "$(median "${base_cpu[@]}")"
    awk -v a="$base_median" -v b="$nginx_median" \
      'BEGIN { if (b > 0) printf "  ratio baseline/nginx: %.2f\n", a / b }'
  fi
  awk -v a="$ours_median" -v b="$nginx_median" \
    'BEGIN { if (b > 0) printf "  ratio ours/nginx: %.2f (goal >= 1.00)\n", a / b }'
  stop_servers
done
