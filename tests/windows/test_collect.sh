#!/usr/bin/env bash
# The Windows service under Wine collects: for each Windows version the prefix reports,
# the core log's "OS: " line names that version, the "Version: " line carries the
# version resource, and "/raw" serves the saved configuration output within seconds.
set -u
BUILD=${KV_WINDOWS_BUILD:-$(cd "$(dirname "$0")/../../build/windows" && pwd)}
EXE="$BUILD/korvane_monitor.exe"
NAME=KorvaneMonitorHTTPServer
[ -f "$EXE" ] || { echo "missing $EXE"; exit 1; }

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX=$(mktemp -d /tmp/kv-wine-collect.XXXXXX)
cleanup() { wineserver -k >/dev/null 2>&1; rm -rf "$WINEPREFIX"; }
trap cleanup EXIT
timeout 300 python3 "$(dirname "$0")/wine_service.py" open-session

FOLDER="$WINEPREFIX/drive_c/kvcollect"
mkdir -p "$FOLDER"
cp "$EXE" "$FOLDER/korvane_monitor.exe"
PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
printf 'Controllers found: 1\nController Status : Optimal\n' > "$FOLDER/saved_config.txt"
printf '[http]\r\nport=%s\r\n[scaner]\r\ntimeout=600\r\n[source]\r\nconfig=saved_config.txt\r\n' "$PORT" \
  > "$FOLDER/config_http.txt"
LOG="$FOLDER/korvane_monitor_core_log.txt"

state() { wine sc query "$NAME" 2>/dev/null | tr -d '\r' | grep -o -m1 -E 'START_PENDING|STOP_PENDING|RUNNING|STOPPED'; }
wait_state() {
  local wanted=$1 i
  for i in $(seq 1 120); do [ "$(state)" = "$wanted" ] && return 0; sleep 0.5; done
  return 1
}

status=0
fail() { echo "FAIL [$1]: $2"; status=1; }

timeout 120 wine 'C:\kvcollect\korvane_monitor.exe' /INSTALL /SILENT >/dev/null 2>&1 || fail setup "install failed"

# A 64-bit prefix knows Windows XP only as "winxp64"; "winxp" is refused and leaves win7.
for version in win7 winxp64 win2003; do
  case $version in
    win7) expected='^OS: Windows 7 .*\(Build 7601\)$' ;;
    winxp64) expected='^OS: Windows XP .*\(Build (2600|3790)\)$' ;;
    win2003) expected='^OS: Windows Server 2003.* \(Build 3790\)$' ;;
  esac
  timeout 60 wine winecfg -v "$version" >/dev/null 2>&1
  rm -f "$LOG"
  started=no
  for attempt in 1 2 3; do
    timeout 60 wine net start "$NAME" >/dev/null 2>&1
    if wait_state RUNNING; then started=yes; break; fi
  done
  [ $started = yes ] || { fail $version "service did not start"; continue; }

  raw=""
  for i in $(seq 1 40); do
    raw=$(curl -s --max-time 2 "http://127.0.0.1:$PORT/raw" | tr -d '\r')
    [ "$raw" = "Controllers found: 1
Controller Status : Optimal
 " ] && break
    sleep 0.25
  done
  [ "$raw" = "Controllers found: 1
Controller Status : Optimal
 " ] || fail $version "/raw did not serve the saved output: [$raw]"

  os_line=$(tr -d '\r' < "$LOG" | grep -o 'OS: .*' | head -1)
  version_line=$(tr -d '\r' < "$LOG" | grep -o 'Version: .*' | head -1)
  echo "$version: $os_line | $version_line"
  echo "$os_line" | grep -Eq "$expected" || fail $version "unexpected OS line: $os_line"
  echo "$version_line" | grep -Eq '^Version: [0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$' || fail $version "bad version line: $version_line"
  tr -d '\r' < "$LOG" | grep -q 'source config: saved_config.txt' || fail $version "no source line"

  for attempt in 1 2 3; do
    timeout 60 wine net stop "$NAME" >/dev/null 2>&1
    wait_state STOPPED && break
  done
done

timeout 120 wine 'C:\kvcollect\korvane_monitor.exe' /UNINSTALL /SILENT >/dev/null 2>&1
exit $status
