#!/usr/bin/env bash
# Resident memory against the bytes the monitor holds: for a synthetic controller of 24,
# 256 and 512 drives it collects every PERIOD seconds; after 20 cycles, idle between two cycles,
# RSS is read and compared with what the server answers from memory (the main page, /ini,
# /raw, /metrics, /state.json, every drive page) plus the source texts kept for the
# archive. Prints, per size, RSS, bytes held and RSS / (2 x held + 6 MB), which should be
# at most 1; at 24 drives RSS should be at most 8 MB.
#
#   bench/memory.sh [path/to/korvane_monitor] [path/to/make_controller]
# (defaults: build/rel/korvane_monitor and build/rel/make_controller; configure build/rel
# with -DCMAKE_BUILD_TYPE=Release -DKV_BUILD_BENCH=ON). Environment: SIZES ("24 256 512"),
# CYCLES (20), PERIOD (10: from 10 s between cycles the monitor hands freed memory back to
# the system after each; at shorter periods it keeps it for the next cycle).
set -euo pipefail
cd "$(dirname "$0")/.."
BINARY=${1:-build/rel/korvane_monitor}
MAKER=${2:-build/rel/make_controller}
SIZES=${SIZES:-24 256 512}
CYCLES=${CYCLES:-20}
PERIOD=${PERIOD:-10}
[ -x "$BINARY" ] && [ -x "$MAKER" ] || { echo "build korvane_monitor and make_controller first"; exit 1; }

WORK=$(mktemp -d /tmp/kv-memory.XXXXXX)
PID=""
cleanup() {
  if [ -n "$PID" ]; then kill "$PID" 2>/dev/null || true; wait "$PID" 2>/dev/null || true; fi
  rm -rf "$WORK"
}
trap cleanup EXIT

printf '%-7s %10s %10s %8s\n' drives rss_kB held_kB ratio
for drives in $SIZES; do
  dir="$WORK/$drives"
  "$MAKER" "$drives" "$dir" >/dev/null
  cp "$BINARY" "$dir/korvane_monitor"
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  printf '[http]\nport=%s\nlisten=127.0.0.1\n[scaner]\ntimeout=%s\n[source]\nconfig=get_config.txt\nsmart=get_smartstats.txt\nstat=get_logs_stats.txt\ncache=get_logs_cache.txt\n' \
    "$port" "$PERIOD" > "$dir/config_http.txt"
  (cd "$dir" && exec ./korvane_monitor >stdout.txt 2>&1) &
  PID=$!
  url="http://127.0.0.1:$port"
  for _ in $(seq $(( (CYCLES * PERIOD + 30) * 5 ))); do
    cycles=$(grep -c retimer "$dir/korvane_monitor_core_log.txt" 2>/dev/null || true)
    [ "${cycles:-0}" -ge "$CYCLES" ] && break
    sleep 0.2
  done
  sleep "$(awk -v p="$PERIOD" 'BEGIN { print p / 2 }')"  # half way between two cycles
  rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$PID/status")
  held=0
  for path in / /ini /raw /metrics /state.json; do
    held=$((held + $(curl -s "$url$path" | wc -c)))
  done
  for page in $(curl -s "$url/" | grep -o 'hdd_[0-9]*_[0-9]*' | sort -u); do
    held=$((held + $(curl -s "$url/$page" | wc -c)))
  done
  for source in get_config.txt get_smartstats.txt get_logs_stats.txt get_logs_cache.txt; do
    held=$((held + $(wc -c < "$dir/$source")))
  done
  kill "$PID"; wait "$PID" 2>/dev/null || true; PID=""
  awk -v d="$drives" -v r="$rss" -v h="$held" \
    'BEGIN { printf "%-7s %10d %10d %8.2f\n", d, r, h / 1024, r / (2 * h / 1024 + 6144) }'
done
