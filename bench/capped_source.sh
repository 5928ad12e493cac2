#!/usr/bin/env bash
# Peak memory of one cycle whose configuration source is over the 64 MiB cap: as a command
# (its output is ended at the cap), as a saved file with LF lines, and as one with CR LF
# lines. Prints VmHWM per case, for one binary or, given two, for both side by side with
# their ratio. The goal: one copy of the text, well under 160 MB.
#
#   bench/capped_source.sh [path/to/korvane_monitor [path/to/other/korvane_monitor]]
# (default: build/linux/korvane_monitor)
set -euo pipefail
cd "$(dirname "$0")/.."
BINARIES=("${1:-build/linux/korvane_monitor}")
[ $# -ge 2 ] && BINARIES+=("$2")
for b in "${BINARIES[@]}"; do [ -x "$b" ] || { echo "no binary at $b"; exit 1; }; done

WORK=$(mktemp -d /tmp/kv-capped.XXXXXX)
PID=""
cleanup() {
  if [ -n "$PID" ]; then kill "$PID" 2>/dev/null || true; wait "$PID" 2>/dev/null || true; fi
  rm -rf "$WORK"
}
trap cleanup EXIT

LINE='         State                           : Online'
# yes ends on SIGPIPE once head has enough.
{ yes "$LINE" || true; } | head -c 80000000 > "$WORK/lf.txt"
sed 's/$/\r/' "$WORK/lf.txt" > "$WORK/crlf.txt"

# Peak RSS in kB of `binary` collecting `source` once.
peak() {
  local binary=$1 source=$2 dir="$WORK/run"
  rm -rf "$dir"; mkdir "$dir"
  cp "$binary" "$dir/korvane_monitor"
  local port
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  printf '[http]\nport=%s\nlisten=127.0.0.1\n[scaner]\ntimeout=600\n[source]\nconfig=%s\n' "$port" "$source" \
    > "$dir/config_http.txt"
  (cd "$dir" && exec ./korvane_monitor >stdout.txt 2>&1) &
  PID=$!
  for _ in $(seq 600); do
    grep -q "OK, StartData" "$dir/korvane_monitor_core_log.txt" 2>/dev/null && break
    sleep 0.1
  done
  awk '/^VmHWM:/ {print $2}' "/proc/$PID/status"
  kill "$PID"; wait "$PID" 2>/dev/null || true; PID=""
}

printf '%-8s' case; for b in "${BINARIES[@]}"; do printf ' %12s' hwm_kB; done
[ ${#BINARIES[@]} -eq 2 ] && printf ' %8s' ratio
echo
for case in command lf crlf; do
  case $case in
    command) source="yes \"$LINE\" | head -c 80000000" ;;
    *) source="$WORK/$case.txt" ;;
  esac
  values=()
  for b in "${BINARIES[@]}"; do values+=("$(peak "$b" "$source")"); done
  printf '%-8s' "$case"; for v in "${values[@]}"; do printf ' %12s' "$v"; done
  [ ${#values[@]} -eq 2 ] && awk -v a="${values[1]}" -v b="${values[0]}" 'BEGIN { printf " %8.2f", a / b }'
  echo
done
