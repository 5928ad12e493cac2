#!/usr/bin/env bash
# The collection cycle must grow in proportion to the drives: instructions of one cycle at
# 512 drives at most 2.5 times those at 256 (about 2.0 now). Counted by callgrind inside
# the cycle only, so the figure does not depend on how busy the machine is. Catches a
# blow-up, such as a search over every drive made once per drive; absolute costs are the
# benchmarks' business (bench/, README "Performance notes").
set -euo pipefail
cd "$(dirname "$0")/../.."
BENCH=${KV_CYCLE_BENCH:-build/linux/cycle_bench}
LIMIT=2.5
command -v valgrind >/dev/null || { echo "valgrind missing (apt-get install valgrind)"; exit 1; }
[ -x "$BENCH" ] || { echo "$BENCH missing: the linux preset builds it (KV_BUILD_BENCH)"; exit 1; }
WORK=$(mktemp -d /tmp/kv-scaling.XXXXXX)
trap 'rm -rf "$WORK"' EXIT

# Instructions per cycle: what callgrind counted inside the cycle over the cycles run.
per_cycle() {
  timeout 300 valgrind --tool=callgrind --callgrind-out-file=/dev/null \
    '--toggle-collect=*TScanListManager::StartData*' \
    "$BENCH" "--benchmark_filter=^Collection/$1/" >"$WORK/out" 2>"$WORK/err"
  local instructions cycles
  instructions=$(sed -n 's/.*Collected : \([0-9]*\).*/\1/p' "$WORK/err")
  cycles=$(awk '$1 ~ /^Collection\// { print $NF }' "$WORK/out")
  [ -n "$instructions" ] && [ "${cycles:-0}" -gt 0 ] || { cat "$WORK/out" "$WORK/err"; exit 1; }
  echo $((instructions / cycles))
}

small=$(per_cycle 256)
large=$(per_cycle 512)
awk -v s="$small" -v l="$large" -v limit="$LIMIT" 'BEGIN {
  ratio = l / s
  printf "instructions per cycle: 256 drives %.1f M, 512 drives %.1f M, ratio %.2f (limit %.1f)\n", s / 1e6, l / 1e6, ratio, limit
  exit !(s > 0 && ratio <= limit)
}'
