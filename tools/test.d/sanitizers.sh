#!/usr/bin/env bash
# The unit and end-to-end suites under ASan + UBSan (preset asan), then the tests that run
# threads against each other under TSan (preset tsan): the core log from many writers, the
# timer, the main loop, collection against requests, the listener and the drive page cache.
# Prints the time of each step; exits non-zero on any failure or sanitizer report.
set -u
cd "$(dirname "$0")/../.."
JOBS=${KV_SAN_JOBS:-2}
status=0
t0=$(date +%s)
stamp() { echo "--- $1: $(( $(date +%s) - t0 )) s"; }

export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:abort_on_error=0:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$(pwd)/tools/lib/lsan.supp:print_suppressions=0"
[ -f tools/lib/lsan.supp ] || unset LSAN_OPTIONS

# ASan/UBSan: everything ctest knows, the end-to-end scripts driving the instrumented binary.
if cmake --preset asan >/dev/null && cmake --build --preset asan -j"$JOBS" >/dev/null; then
  stamp "asan build"
  ctest --test-dir build/asan --output-on-failure -j"$JOBS" --timeout 900 || status=1
  stamp "asan tests"
else
  echo "ASAN BUILD FAILED"; status=1
fi

# TSan: only the executables that hold the concurrency tests, filtered to those tests.
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:history_size=4"
if cmake --preset tsan >/dev/null &&
   cmake --build --preset tsan -j"$JOBS" --target test_platform test_collect test_http test_pages test_service >/dev/null; then
  stamp "tsan build"
  run_tsan() {  # executable filter
    echo "tsan: $1 --gtest_filter=$2"
    if ! "build/tsan/$1" --gtest_filter="$2" --gtest_brief=1; then
      echo "TSAN FAILED: $1"; status=1
    fi
  }
  run_tsan test_service 'CoreLog.*:ServiceEvents.*:MonitorService.*'
  run_tsan test_platform 'MainLoop.*'
  run_tsan test_collect 'ThreadTimer.*:ScanListManager.*:HistoryWriter.*'
  run_tsan test_http 'HttpServerTest.*:BlockSocket.*:CoreLogThrottle.*'
  run_tsan test_pages 'DrivePageCache.*'
  stamp "tsan tests"
else
  echo "TSAN BUILD FAILED"; status=1
fi
exit $status
