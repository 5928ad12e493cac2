#!/usr/bin/env bash
# Fuzz smoke: builds every libFuzzer target and runs each for KV_FUZZ_SMOKE_SECONDS
# (default 20) from its seed corpus. Fails on any crash, leak, hang or out-of-memory.
set -u
cd "$(dirname "$0")/../.."
SECONDS_EACH=${KV_FUZZ_SMOKE_SECONDS:-20}
if ! command -v clang++-14 >/dev/null; then
  echo "clang++-14 missing: fuzz smoke not run"; exit 1
fi
t0=$(date +%s)
tools/fuzz.sh build || { echo "FUZZ BUILD FAILED"; exit 1; }
echo "--- fuzz build: $(( $(date +%s) - t0 )) s"
status=0
for t in $(tools/fuzz.sh list); do
  echo "fuzz_$t:"
  tools/fuzz.sh "$t" "$SECONDS_EACH" || { echo "FUZZ FAILED: $t (see build/fuzz/$t.log)"; status=1; }
done
echo "--- fuzz smoke total: $(( $(date +%s) - t0 )) s"
exit $status
