#!/usr/bin/env bash
# The source folders are layers: a file may include its own folder and the folders before
# it in LAYERS, never one after it. Folders on one line are one layer and may include each
# other. reload/ is a program of its own that uses base/ and platform/ only, and nothing
# includes it. Every quoted include names its folder ("model/kv_core.h"); a folder under
# src/ that is not listed here, or an include of one, fails too, so a new folder gets its
# place in the order before it gets code.
set -u
cd "$(dirname "$0")/../.."

LAYERS=(
  "base"
  "platform"
  "resources"
  "model"
  "parse"
  "health"
  "history"
  "report"
  "pages"
  "served"
  "notify"
  "collect support"
  "http"
  "service"
)
declare -A RANK
for i in "${!LAYERS[@]}"; do
  for folder in ${LAYERS[$i]}; do RANK[$folder]=$i; done
done

status=0
fail() { echo "layers: $*"; status=1; }

for dir in src/*/; do
  folder=$(basename "$dir")
  [ "$folder" = reload ] || [ -n "${RANK[$folder]+x}" ] || fail "src/$folder/ has no place in the layer order"
done

while IFS= read -r file; do
  from=${file#src/}
  from=${from%%/*}
  while IFS= read -r hit; do
    line=${hit%%:*}
    target=$(sed -E 's/^[^"]*"([^"]*)".*/\1/' <<<"${hit#*:}")
    to=${target%%/*}
    where="$file:$line includes \"$target\""
    if [ "$to" = "$target" ]; then
      fail "$where: name the folder"
    elif [ "$to" = "$from" ]; then
      continue
    elif [ "$from" = reload ]; then
      [ "$to" = base ] || [ "$to" = platform ] || fail "$where: reload/ uses base/ and platform/ only"
    elif [ "$to" = reload ]; then
      fail "$where: reload/ is a program of its own"
    elif [ -z "${RANK[$to]+x}" ]; then
      fail "$where: src/$to/ has no place in the layer order"
    elif [ -n "${RANK[$from]+x}" ] && [ "${RANK[$to]}" -gt "${RANK[$from]}" ]; then
      fail "$where: $to/ comes after $from/"
    fi
  done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file")
done < <(find src -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.cc' \) | sort)

[ $status -eq 0 ] && echo "layers: every include follows ${LAYERS[*]}"
exit $status
