#!/usr/bin/env bash
# The archive's names and comment under a Russian Windows: the Win32 ANSI -> OEM conversion
# must give CP866. Wine takes its code pages from the locale, so the code page tests of
# test_support run here in a Russian locale (they skip themselves under any other).
set -u
BUILD=${KV_WINDOWS_BUILD:-$(dirname "$0")/../../build/windows}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX=$(mktemp -d /tmp/kv-wine-zipcp.XXXXXX)
trap 'wineserver -k >/dev/null 2>&1; rm -rf "$WINEPREFIX"' EXIT
RU="env LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8"
timeout 180 $RU wineboot -i >/dev/null 2>&1
out=$(cd "$BUILD" && timeout 300 $RU wine test_support.exe \
  --gtest_filter='ZipCodePage.*:ZipWriterNames.CyrillicNameAndCommentAreStoredInTheOemCodePage' 2>&1)
status=$?
echo "$out" | tail -5
# A skip would mean Wine did not take the Russian code pages: that is a failure here.
if [ $status -ne 0 ] || echo "$out" | grep -q "SKIPPED"; then
  echo "FAILED: code page tests under a Russian locale"
  exit 1
fi
