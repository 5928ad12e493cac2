#!/usr/bin/env bash
# Installs what is missing, builds the Linux and Windows presets and runs every test:
# ctest on Linux, the Windows test executables and scripts under Wine.
# Exits non-zero on any failure; ends with the ctest summary.
set -u
cd "$(dirname "$0")/.."
ROOT=$(pwd)

source tools/lib/deps.sh
kv_install_deps test

status=0
step() { echo; echo "=== $* ==="; }

step "build linux"
cmake --preset linux >/dev/null && cmake --build --preset linux || exit 1

step "build windows"
cmake --preset windows >/dev/null && cmake --build --preset windows || exit 1

step "windows tests under wine"
if ! bash tools/wine_tests.sh; then
  echo "WINE TESTS FAILED"
  status=1
fi

# Optional suites that subsystems add (sanitizers, fuzz smoke, browser, packaging).
for extra in tools/test.d/*.sh; do
  [ -f "$extra" ] || continue
  step "$(basename "$extra")"
  if ! bash "$extra"; then
    echo "FAILED: $extra"
    status=1
  fi
done

step "ctest linux"
ctest --test-dir build/linux --output-on-failure -j2 --timeout 900 || status=1
exit $status
