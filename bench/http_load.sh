#!/usr/bin/env bash
# Load comparison on loopback: wrk fetches the same ~200 KB page from korvane_monitor and
# from nginx, keep-alive off, 64 connections, 10 s each, one after the other.
# Prints requests per second, p50/p99 latency and the throughput ratio ours/nginx.
#
#   bench/http_load.sh [path/to/korvane_monitor]     (default: build/linux/korvane_monitor)
# Environment: DURATION (10s), CONNECTIONS (64), THREADS (2).
set -euo pipefail
cd "$(dirname "$0")/.."
BINARY=${1:-${KV_BINARY:-build/linux/korvane_monitor}}
DURATION=${DURATION:-10s}
CONNECTIONS=${CONNECTIONS:-64}
THREADS=${THREADS:-2}

missing=()
for pkg in wrk nginx-light; do
  dpkg -s "$pkg" >/dev/null 2>&1 || missing+=("$pkg")
done
if [ ${#missing[@]} -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}" >/dev/null
fi
[ -x "$BINARY" ] || { echo "no binary at $BINARY (build first)"; exit 1; }

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

WORK=$(mktemp -d /tmp/kv-bench.XXXXXX)
chmod 755 "$WORK"
OURS_PID=""
NGINX_PID=""
cleanup() {
  [ -n "$OURS_PID" ] && kill "$OURS_PID" 2>/dev/null && wait "$OURS_PID" 2>/dev/null
  [ -n "$NGINX_PID" ] && kill "$NGINX_PID" 2>/dev/null && wait "$NGINX_PID" 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT

# The page: about 200 KB of HTML.
python3 - "$WORK/page.html" <<'PY'
import sys
rows = "".join("<tr><td>drive %d</td><td>online</td><td>%d GB</td></tr>\n" % (i, 1000 + i) for i in range(3400))
with open(sys.argv[1], "w") as f:
    f.write("<html><body><table>\n" + rows + "</table></body></html>\n")
PY
mkdir -p "$WORK/ours" "$WORK/nginx"
cp "$BINARY" "$WORK/ours/korvane_monitor"
cp "$WORK/page.html" "$WORK/ours/page.html"
cp "$WORK/page.html" "$WORK/nginx/page.html"
chmod 644 "$WORK/nginx/page.html"
OURS_PORT=$(free_port)
NGINX_PORT=$(free_port)
# One load generator is one client address: let all its connections in, as nginx does.
printf '[http]\r\nport=%s\r\nmax_per_client=%s\r\n' "$OURS_PORT" "$((CONNECTIONS * 2))" \
  > "$WORK/ours/config_http.txt"

cat > "$WORK/nginx.conf" <<CONF
worker_processes auto;
pid $WORK/nginx.pid;
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
    root $WORK/nginx;
  }
}
CONF

wait_port() {
  for _ in $(seq 100); do
    (exec 3<>/dev/tcp/127.0.0.1/"$1") 2>/dev/null && return 0
    sleep 0.1
  done
  echo "nothing listens on $1"; exit 1
}

"$WORK/ours/korvane_monitor" >"$WORK/ours.log" 2>&1 &
OURS_PID=$!
nginx -c "$WORK/nginx.conf" -g 'daemon off;' >"$WORK/nginx.out" 2>&1 &
NGINX_PID=$!
wait_port "$OURS_PORT"
wait_port "$NGINX_PORT"

# Both must serve the same bytes before they are compared.
cmp -s <(curl -s "http://127.0.0.1:$OURS_PORT/page.html") "$WORK/page.html" || { echo "ours serves other bytes"; exit 1; }
cmp -s <(curl -s "http://127.0.0.1:$NGINX_PORT/page.html") "$WORK/page.html" || { echo "nginx serves other bytes"; exit 1; }

run_wrk() {
  wrk -t"$THREADS" -c"$CONNECTIONS" -d"$DURATION" --latency -H "Connection: close" \
      "http://127.0.0.1:$1/page.html"
}
summary() {  # name, wrk output file
  local rps p50 p99 errors
  rps=$(awk '/^Requests\/sec:/ {print $2}' "$2")
  p50=$(awk '$1 == "50%" {print $2}' "$2")
  p99=$(awk '$1 == "99%" {print $2}' "$2")
  errors=$(grep -E "Socket errors|Non-2xx" "$2" | tr -s ' ' | paste -sd';' - || true)
  printf '%-8s %12s req/s   p50 %10s   p99 %10s   %s\n' "$1" "$rps" "$p50" "$p99" "${errors:-no errors}"
}

echo "page: $(stat -c %s "$WORK/page.html") bytes, $CONNECTIONS connections, $DURATION each, keep-alive off"
run_wrk "$OURS_PORT" > "$WORK/ours.wrk"
run_wrk "$NGINX_PORT" > "$WORK/nginx.wrk"
summary ours "$WORK/ours.wrk"
summary nginx "$WORK/nginx.wrk"
ours=$(awk '/^Requests\/sec:/ {print $2}' "$WORK/ours.wrk")
theirs=$(awk '/^Requests\/sec:/ {print $2}' "$WORK/nginx.wrk")
awk -v a="$ours" -v b="$theirs" 'BEGIN { if (b > 0) printf "ratio ours/nginx: %.2f (goal >= 0.50)\n", a / b }'
