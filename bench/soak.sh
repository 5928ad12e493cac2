#!/usr/bin/env bash
# Soak: the monitor collects every second from a command whose output changes each time
# (a drive fails and comes back, the logical device with it), while wrk fetches "/", a
# drive page, "/ini" and "/support_kvr.zip" in turn over 32 connections. Reports requests
# served, errors, RSS at the start, middle and end of the load, and open descriptors and
# threads before and after it. Exits non-zero when a bound is missed:
#   errors 0; RSS growth from start to end under 10 %; descriptors and threads back at
#   their figures before the load.
#
#   bench/soak.sh [path/to/korvane_monitor]        (default: build/linux/korvane_monitor)
# Environment: SOAK_SECONDS (600), CONNECTIONS (32), THREADS (2).
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BINARY=${1:-${KV_BINARY:-build/linux/korvane_monitor}}
TOTAL=${SOAK_SECONDS:-600}
CONNECTIONS=${CONNECTIONS:-32}
THREADS=${THREADS:-2}
WARMUP=$((TOTAL / 20 > 5 ? TOTAL / 20 : 5))  # RSS "start" is read after this much load

dpkg -s wrk >/dev/null 2>&1 || DEBIAN_FRONTEND=noninteractive apt-get install -y wrk >/dev/null
[ -x "$BINARY" ] || { echo "no binary at $BINARY (build first)"; exit 1; }

WORK=$(mktemp -d /tmp/kv-soak.XXXXXX)
PID=""
cleanup() {
  if [ -n "$PID" ]; then kill "$PID" 2>/dev/null || true; wait "$PID" 2>/dev/null || true; fi
  rm -rf "$WORK"
}
trap cleanup EXIT

cp -r "$ROOT/examples/demo/." "$WORK/"
cp "$BINARY" "$WORK/korvane_monitor"
# Every other listing shows the first drive of the first enclosure failed.
awk '!done && /^ *State *: Online/ { sub(/Online/, "Failed"); done = 1 } { print }' \
  "$WORK/get_config.txt" > "$WORK/get_config_failed.txt"
cmp -s "$WORK/get_config.txt" "$WORK/get_config_failed.txt" && { echo "no drive state to change"; exit 1; }
cat > "$WORK/changing_source.sh" <<'SH'
n=$(cat run_count 2>/dev/null || echo 0)
n=$((n + 1))
echo "$n" > run_count
if [ $((n % 2)) -eq 0 ]; then cat get_config_failed.txt; else cat get_config.txt; fi
SH
PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
# One load generator is one client address: let all its connections in.
cat > "$WORK/config_http.txt" <<CONF
[http]
port=$PORT
max_per_client=$((CONNECTIONS * 2))
[scaner]
timeout=1
[source]
config=sh changing_source.sh
smart=get_smartstats.txt
task=get_tasks.txt
stat=get_logs_stats.txt
cache=get_logs_cache.txt
CONF

(cd "$WORK" && exec ./korvane_monitor >"$WORK/stdout.txt" 2>&1) &
PID=$!
URL="http://127.0.0.1:$PORT"
for _ in $(seq 200); do
  curl -sf "$URL/" -o "$WORK/page.html" 2>/dev/null && grep -q 'hdd_' "$WORK/page.html" && break
  sleep 0.1
done
DRIVE=$(grep -o 'hdd_[0-9-]*_[0-9]*' "$WORK/page.html" | head -1)
[ -n "$DRIVE" ] || { echo "the monitor did not render the demo"; exit 1; }

rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$PID/status"; }
threads() { awk '/^Threads:/ {print $2}' "/proc/$PID/status"; }
fds() { ls "/proc/$PID/fd" | wc -l; }
# The fewest over a few samples: a collection in progress holds its pipes for a moment.
settled() {
  local best=999999 v
  for _ in 1 2 3 4 5 6 7 8 9 10; do
    v=$("$1")
    [ "$v" -lt "$best" ] && best=$v
    sleep 0.3
  done
  echo "$best"
}

sleep 2
FDS_BEFORE=$(settled fds)
THREADS_BEFORE=$(settled threads)
RSS_IDLE=$(rss_kb)

cat > "$WORK/paths.lua" <<LUA
local paths = {"/", "/$DRIVE", "/ini", "/support_kvr.zip"}
local n = 0
request = function()
  n = n + 1
  return wrk.format("GET", paths[(n % #paths) + 1])
end
LUA
echo "soak: ${TOTAL} s, $CONNECTIONS connections on /, /$DRIVE, /ini, /support_kvr.zip; collection every second"
wrk -t"$THREADS" -c"$CONNECTIONS" -d"${TOTAL}s" --timeout 10s -H "Connection: close" \
  -s "$WORK/paths.lua" "$URL/" > "$WORK/wrk.txt" 2>&1 &
WRK=$!
sleep "$WARMUP"
RSS_START=$(rss_kb)
sleep $((TOTAL / 2 - WARMUP))
RSS_MIDDLE=$(rss_kb)
sleep $((TOTAL - TOTAL / 2 - 3))
RSS_END=$(rss_kb)
wait "$WRK"
sleep 3
FDS_AFTER=$(settled fds)
THREADS_AFTER=$(settled threads)
kill -0 "$PID" 2>/dev/null || { echo "the monitor ended during the soak"; exit 1; }
COLLECTIONS=$(cat "$WORK/run_count")

REQUESTS=$(awk '/requests in/ {print $1}' "$WORK/wrk.txt")
NON2XX=$(awk -F: '/Non-2xx/ {gsub(/ /, "", $2); print $2}' "$WORK/wrk.txt")
SOCKET=$(awk '/Socket errors/ {n = 0; for (i = 1; i <= NF; i++) if ($i ~ /^[0-9]+,?$/) n += $i + 0; print n}' "$WORK/wrk.txt")
ERRORS=$(( ${NON2XX:-0} + ${SOCKET:-0} ))
GROWTH=$(awk -v a="$RSS_START" -v b="$RSS_END" 'BEGIN { printf "%.1f", (b - a) * 100 / a }')

echo "requests served:  $REQUESTS ($(awk '/^Requests\/sec:/ {print $2}' "$WORK/wrk.txt") req/s)"
echo "errors:           $ERRORS (non-2xx ${NON2XX:-0}, socket ${SOCKET:-0})"
echo "collections:      $COLLECTIONS"
echo "RSS idle:         $RSS_IDLE kB"
echo "RSS start/middle/end: $RSS_START / $RSS_MIDDLE / $RSS_END kB (growth $GROWTH %)"
echo "descriptors:      $FDS_BEFORE before, $FDS_AFTER after"
echo "threads:          $THREADS_BEFORE before, $THREADS_AFTER after"

ok=1
[ "$ERRORS" -eq 0 ] || { echo "FAIL: errors"; ok=0; }
awk -v g="$GROWTH" 'BEGIN { exit !(g < 10) }' || { echo "FAIL: RSS grew $GROWTH %"; ok=0; }
[ "$FDS_AFTER" -le "$FDS_BEFORE" ] || { echo "FAIL: descriptors"; ok=0; }
[ "$THREADS_AFTER" -le "$THREADS_BEFORE" ] || { echo "FAIL: threads"; ok=0; }
[ "$ok" -eq 1 ] && echo "soak: all bounds met"
[ "$ok" -eq 1 ]
