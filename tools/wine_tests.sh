#!/usr/bin/env bash
# Runs the Windows build's tests under Wine in a fresh prefix: every GoogleTest executable
# and every script in tests/windows/. Exits non-zero on any failure.
set -u
cd "$(dirname "$0")/.."
ROOT=$(pwd)
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX=$(mktemp -d /tmp/kv-wine.XXXXXX)
trap 'wineserver -k >/dev/null 2>&1; rm -rf "$WINEPREFIX"' EXIT
# A persistent wineserver: one session for every executable, none restarted between them.
timeout 300 python3 tests/windows/wine_service.py open-session

status=0
for exe in build/windows/test_*.exe; do
  [ -f "$exe" ] || continue
  echo "--- $exe"
  if ! (cd build/windows && timeout 600 wine "$(basename "$exe")" --gtest_brief=1); then
    echo "FAILED: $exe"
    status=1
  fi
done
for script in tests/windows/test_*.sh tests/windows/test_*.py; do
  [ -f "$script" ] || continue
  echo "--- $script"
  case "$script" in
    *.py) runner=python3 ;;
    *) runner=bash ;;
  esac
  if ! KV_WINDOWS_BUILD="$ROOT/build/windows" timeout 900 $runner "$script"; then
    echo "FAILED: $script"
    status=1
  fi
done
exit $status
