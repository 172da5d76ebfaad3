#!/usr/bin/env bash
# Sets up, builds and starts Tillvox under Wine, in a Wine prefix of its own
# (demo/wineprefix), never the user's own. With a display (DISPLAY set) the
# window appears there; without one it runs on a virtual display and a
# screenshot is saved to demo/screenshot.png.
#
# By default it runs a demo: a file source whose receipts go over TCP to the
# DVR simulator, while sample receipts are appended to the watched file.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

usage() {
  cat <<'EOF'
usage: scripts/run.sh [--seconds N]
       scripts/run.sh --no-demo [--seconds N] [program arguments...]

Without --no-demo: writes demo settings into the demo prefix when it has none,
starts "Tillvox.exe /Service /Monitor", the DVR simulator logged in to the
source's TCP port (received text in demo/received.txt and on this terminal),
and appends a sample receipt to the watched file every few seconds.
--no-demo: only the program, in the same prefix, with its own settings.
--seconds N: stop everything after N seconds (default: when the program ends
or on Ctrl-C). With /Monitor the program starts in the notification area: a
click on its tray icon opens the window.
EOF
}

demo=1
seconds=0
while [ $# -gt 0 ]; do
  case $1 in
    --no-demo) demo=0; shift ;;
    --seconds) [ $# -ge 2 ] && [[ $2 =~ ^[0-9]+$ ]] || { usage >&2; exit 2; }
               seconds=$2; shift 2 ;;
    -h|--help) usage; exit 0 ;;
    *) [ $demo -eq 0 ] && break
       echo "unexpected argument: $1 (program arguments need --no-demo)" >&2; usage >&2; exit 2 ;;
  esac
done

"$top/scripts/install-deps.sh"
source "$top/scripts/env.sh"

# The 32-bit program where this machine can run it, else its 64-bit build.
tillvox_pick_wine
cmake -S . -B "$TILLVOX_WIN_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$top/$TILLVOX_WIN_TOOLCHAIN" >/dev/null
cmake --build "$TILLVOX_WIN_BUILD" -j "$(nproc)" --target Tillvox closeprogram
if [ $demo -eq 1 ]; then
  # Same build type as the test command, so the two share one native build.
  cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
  cmake --build build/native -j "$(nproc)" --target dvrsim
fi

export WINEPREFIX="$top/demo/wineprefix"
export WINEDEBUG=-all
tillvox_make_prefix "$WINEPREFIX"
data="$WINEPREFIX/drive_c/ProgramData/Orvane/Tillvox"
settings="$data/FileMapPOS.ini"
mkdir -p "$data"

# The demo's source: the first file source with a TCP printer in the settings,
# so a settings file changed in the program's own dialogs keeps working.
port="" password="" receipts=""
if [ $demo -eq 1 ]; then
  if [ ! -f "$settings" ]; then
    tillvox_write_demo_settings "$settings" "$(tillvox_free_port)" demo \
      'C:\ProgramData\Orvane\Tillvox\demo-receipts.txt'
    echo "demo settings written: $settings"
  fi
  count=$(tillvox_ini_get "$settings" Main "File Number")
  for ((i = 1; i <= ${count:-0} && i <= 16; i++)); do
    [ "$(tillvox_ini_get "$settings" "Setup$i" "Monitor Type")" = 0 ] || continue
    [ "$(tillvox_ini_get "$settings" "Setup$i" "Printer Type")" = TCP ] || continue
    port=$(tillvox_ini_get "$settings" "Setup$i" Port | tr -cd 0-9)
    password=$(tillvox_ini_get "$settings" "Setup$i" Password)
    receipts=$(tillvox_unix_path "$WINEPREFIX" "$(tillvox_ini_get "$settings" "Setup$i" "File Path")")
    break
  done
  if [ -z "$port" ] || [ -z "$receipts" ]; then
    echo "no file source with a TCP printer in $settings: running the program alone" >&2
    echo "(remove that file to get the demo settings back)" >&2
    demo=0
  elif tillvox_port_listens "$port"; then
    echo "warning: something already listens on port $port (another Tillvox still running?)" >&2
  fi
fi

# Each helper in a process group of its own: Ctrl-C then reaches only this
# script, which stops the program first and its helpers after.
set -m
if [ -n "${DISPLAY:-}" ]; then
  export TILLVOX_USE_DISPLAY=1
fi
tillvox_start_display

exe="$top/$TILLVOX_WIN_BUILD/bin/Tillvox.exe"
program="" recorder="" appender="" viewer="" shot="" timer=""
stopped=0
stop_all() {
  if [ $stopped -eq 1 ]; then
    # Asked again while stopping: no more waiting for the program this script started.
    [ -n "$program" ] && kill -9 "$program" 2>/dev/null || true
    return
  fi
  stopped=1
  set +m  # a second Ctrl-C now reaches this script, not the command it waits for
  local pid
  for pid in $timer $shot $appender $recorder $viewer; do kill -- "-$pid" 2>/dev/null || true; done
  if [ -n "$program" ] && kill -0 "$program" 2>/dev/null; then
    # As a user's close: the program runs its own stop sequence first.
    # Only this build's Tillvox.exe is asked to close, never a program by its name.
    "$TILLVOX_WINE" "$top/$TILLVOX_WIN_BUILD/bin/closeprogram.exe" "Z:${exe//\//\\}" 5000 >/dev/null 2>&1 || true
    for _ in $(seq 1 50); do kill -0 "$program" 2>/dev/null || break; sleep 0.1; done
  fi
  tillvox_wait_wine
  tillvox_stop_display
}
trap 'echo; echo "stopping"; stop_all; exit 130' INT TERM
trap 'echo "stopping after $seconds seconds"; stop_all; exit 0' USR1
trap '[ $stopped -eq 1 ] || stop_all' EXIT

echo "Tillvox runs in the Wine prefix $WINEPREFIX; its data folder is"
echo "  $data/"
if [ $demo -eq 1 ]; then
  : >"$top/demo/received.txt"
  mkdir -p "$(dirname "$receipts")"
  touch "$receipts"
  echo "demo: receipts are appended to $receipts"
  echo "demo: the DVR simulator logs in on port $port; what it receives goes to demo/received.txt and here"
  "$TILLVOX_WINE" "$exe" /Service /Monitor &
  program=$!
else
  "$TILLVOX_WINE" "$exe" "$@" &
  program=$!
fi
started=$SECONDS
if [ $demo -eq 1 ]; then
  echo "It captures in the notification area: click its tray icon to open the window."
  echo "Exit in the icon's menu (right click) or Ctrl-C here stops it."
else
  echo "Close its window (or press Ctrl-C here) to stop it."
fi

if [ $demo -eq 1 ]; then
  # The recorder: retries until the program listens and logs in again after a lost link.
  (
    while kill -0 "$program" 2>/dev/null; do
      "$top/build/native/bin/dvrsim" "127.0.0.1:$port" --password "$password" --retry-ms 30000 --quiet \
        >>"$top/demo/received.txt" || true
      sleep 2
    done
  ) &
  recorder=$!
  disown
  # Every piece the program sends ends in a zero byte; the terminal does without them.
  ( tail -n +1 -F --pid="$program" "$top/demo/received.txt" 2>/dev/null | stdbuf -o0 tr -d '\000' ) &
  viewer=$!
  disown
  (
    n=1
    while kill -0 "$program" 2>/dev/null; do
      sleep 4
      # One write per receipt, as a printer driver spooling a finished job.
      tillvox_sample_receipt "$n" >"$top/demo/next-receipt.txt"
      cat "$top/demo/next-receipt.txt" >>"$receipts"
      echo "demo: receipt $n appended" >&2
      n=$((n + 1))
    done
  ) &
  appender=$!
  disown
fi

if [ -z "${TILLVOX_USE_DISPLAY:-}" ] && command -v import >/dev/null; then
  (
    sleep 10
    import -window root "$top/demo/screenshot.png" 2>/dev/null && echo "screenshot: $top/demo/screenshot.png"
  ) &
  shot=$!
  disown
fi
if [ "$seconds" -gt 0 ]; then
  ( sleep "$seconds"; kill -USR1 $$ ) &
  timer=$!
  disown
fi

wait "$program" || true
if [ $((SECONDS - started)) -lt 3 ]; then
  echo "Tillvox ended at once; if another instance still runs in this prefix," >&2
  echo "close it from its window or tray icon, or with:" >&2
  echo "  WINEPREFIX=$WINEPREFIX $TILLVOX_WINE $top/$TILLVOX_WIN_BUILD/bin/closeprogram.exe 'Z:${exe//\//\\}'" >&2
fi
stop_all
