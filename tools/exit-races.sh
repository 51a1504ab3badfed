#!/usr/bin/env bash
# Runs the process-end races many times, outside .ci/run: a host that ends while its threads
# log (by exit(), by returning from main, by its last thread's end) with pdulog in the
# program, and a diagnostic application that exits while its threads log through a driver
# that it never unloads, or unloaded but pinned. Each run must exit 0 and leave only whole
# records. Uses what the suites built: build/ (native) and, when present, build-windows/
# and build-windows-x86/ under wine.
#   tools/exit-races.sh [NATIVE_RUNS [WINE_RUNS]]     (defaults 200 and 100)
set -uo pipefail
cd "$(dirname "$0")/.."
native=${1:-200}
wine_runs=${2:-100}
work=$(mktemp -d "${TMPDIR:-/tmp}/pdulog-exit-races-$$-XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0

# One kind of run, COUNT times: its command, then whether its records are whole.
race() {
  local name=$1 count=$2 log=$3
  shift 3
  local failed=0 started=$SECONDS
  for _ in $(seq "$count"); do
    rm -f "$log"
    if ! "$@" > /dev/null 2> "$work/stderr" \
       || LC_ALL=C grep -av 'tick!\|connected to' "$work/stderr" "$log" 2> /dev/null | grep -q .; then
      failed=$((failed + 1))
    fi
  done
  echo "$name: $count runs, $failed failed, $((SECONDS - started)) s"
  failures=$((failures + failed))
}

export APPDATA=$work/appdata TEMP=$work/temp
mkdir -p "$APPDATA" "$TEMP"
log=$TEMP/d-pdu-api_All_x86_init.log
for how in exit return last-thread; do
  race "program, $how" "$native" "$log" build/guest_host ending-host "$how"
done
app=build/consumer-Static/mydriver
[ -x "$app/diagnostic-app" ] || PDULOG_KEEP_CONSUMER=1 ctest --test-dir build -R ConsumerStatic > /dev/null
if [ -x "$app/diagnostic-app" ]; then
  build/pdu-loglevel -s COMMS -l INFO 2> /dev/null
  for how in kept pinned; do
    race "plugin, $how" "$native" "$log" "$app/diagnostic-app" ends "$app/mydriver.so" "$how"
  done
  build/pdu-loglevel -s COMMS -l WARN 2> /dev/null
fi
for dir in build-windows build-windows-x86; do
  [ -f "$dir/guest_host.exe" ] || continue
  wine=(cmake/wine-run.sh "$PWD/$dir/wineprefix")
  temp=$("${wine[@]}" cmd /c 'echo %TEMP%' 2> /dev/null | tr -d '\r')
  wlog=$("${wine[@]}" winepath -u "$temp" 2> /dev/null | tr -d '\r')/d-pdu-api_All_x86_init.log
  for how in exit return; do
    race "$dir program, $how" "$wine_runs" "$wlog" "${wine[@]}" "$dir/guest_host.exe" ending-host "$how"
  done
  wapp=$dir/consumer-Static/mydriver
  [ -f "$wapp/diagnostic-app.exe" ] || PDULOG_KEEP_CONSUMER=1 ctest --test-dir "$dir" -R ConsumerStatic > /dev/null
  if [ -f "$wapp/diagnostic-app.exe" ]; then
    "${wine[@]}" "$dir/pdu-loglevel.exe" -s COMMS -l INFO 2> /dev/null
    race "$dir plugin, kept" "$wine_runs" "$work/none" "${wine[@]}" "$wapp/diagnostic-app.exe" ends \
      "$wapp/mydriver.dll" kept
    "${wine[@]}" "$dir/pdu-loglevel.exe" -s COMMS -l WARN 2> /dev/null
  fi
done
echo "exit races: $failures failed"
[ "$failures" -eq 0 ]
