#!/usr/bin/env bash
# libFuzzer targets (clang-14, ASan + UBSan) for every input surface; sources in fuzz/.
#
#   tools/fuzz.sh build              builds every target into build/fuzz/
#   tools/fuzz.sh TARGET SECONDS     builds, then runs fuzz_TARGET for SECONDS
#   tools/fuzz.sh list               names of the targets
#
# Targets: pipeline xml request range ini path. Seeds come from fuzz/corpus/TARGET (read
# only), for pipeline also the shared real listings when ../shared/fixtures/real exists; new
# inputs go to build/fuzz/corpus/TARGET, crashes to build/fuzz/artifacts/.
# An input that runs longer than 1 s counts as a hang, above 2 GiB as out of memory.
set -eu
cd "$(dirname "$0")/.."
ROOT=$(pwd)
OUT=$ROOT/build/fuzz
CXX=${KV_FUZZ_CXX:-clang++-14}
CC=${KV_FUZZ_CC:-clang-14}
JOBS=${KV_FUZZ_JOBS:-2}
SAN="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"

targets() { for f in "$ROOT"/fuzz/fuzz_*.cpp; do basename "$f" .cpp | sed 's/^fuzz_//'; done; }

build() {
  mkdir -p "$OUT"
  # The library once, instrumented for coverage; each target links it with libFuzzer.
  if [ ! -f "$OUT/core/build.ninja" ]; then
    cmake -S "$ROOT" -B "$OUT/core" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
      -DCMAKE_CXX_COMPILER="$CXX" -DCMAKE_C_COMPILER="$CC" -DKV_BUILD_TESTS=OFF \
      -DCMAKE_CXX_FLAGS="-O1 -g -fsanitize=fuzzer-no-link $SAN" \
      -DCMAKE_C_FLAGS="-O1 -g -fsanitize=fuzzer-no-link $SAN" >/dev/null
  fi
  cmake --build "$OUT/core" --target kv_core -j"$JOBS" >/dev/null
  for t in $(targets); do
    local src=$ROOT/fuzz/fuzz_$t.cpp bin=$OUT/fuzz_$t
    if [ ! -x "$bin" ] || [ "$src" -nt "$bin" ] || [ "$OUT/core/libkv_core.a" -nt "$bin" ]; then
      # shellcheck disable=SC2086
      "$CXX" -std=c++20 -O1 -g -fsanitize=fuzzer $SAN -I"$ROOT/src" "$src" \
        "$OUT/core/libkv_core.a" -lz -lsqlite3 -lcurl -pthread -o "$bin"
    fi
  done
}

# The shared real listings beside the checkout (../shared/fixtures/real), when present, as
# pipeline inputs: a configuration listing is the first source text, a task listing the third.
# Built afresh on every run under build/fuzz/seeds; nothing is copied into the repository.
real_listing_seeds() {
  local real=$ROOT/../shared/fixtures/real dir=$OUT/seeds/pipeline-real f
  [ -d "$real" ] || return 1
  rm -rf "$dir" && mkdir -p "$dir"
  for f in "$real"/config/*.txt; do [ -f "$f" ] && cp "$f" "$dir/config-${f##*/}"; done
  for f in "$real"/task/*.txt; do
    [ -f "$f" ] && { printf '\001\001'; cat "$f"; } >"$dir/task-${f##*/}"
  done
  return 0
}

run() {
  local t=$1 seconds=$2
  local bin=$OUT/fuzz_$t
  [ -x "$bin" ] || { echo "no target $t (have: $(targets | tr '\n' ' '))" >&2; exit 2; }
  mkdir -p "$OUT/corpus/$t" "$OUT/artifacts"
  local seeds=()
  [ -d "$ROOT/fuzz/corpus/$t" ] && seeds=("$ROOT/fuzz/corpus/$t")
  [ "$t" = pipeline ] && real_listing_seeds && seeds+=("$OUT/seeds/pipeline-real")
  local dict=()
  [ -f "$ROOT/fuzz/$t.dict" ] && dict=(-dict="$ROOT/fuzz/$t.dict")
  ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1} \
  UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
  "$bin" "$OUT/corpus/$t" "${seeds[@]}" "${dict[@]}" -max_total_time="$seconds" \
    -timeout=1 -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1 \
    -artifact_prefix="$OUT/artifacts/$t-" 2>&1 | tee "$OUT/$t.log" |
    grep -E '^(Done|stat::number_of_executed_units|==[0-9]+==ERROR|SUMMARY|.*Test unit written)' || true
  grep -q '^Done ' "$OUT/$t.log"
}

case "${1:-}" in
  build) build ;;
  list) targets ;;
  "") sed -n '2,11p' "$0"; exit 2 ;;
  *) build; run "$1" "${2:-60}" ;;
esac
