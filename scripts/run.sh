#!/usr/bin/env bash
# Sets up, builds and starts Tillvox under Wine, in a Wine prefix of its own
# (demo/wineprefix), never the user's own. With a display (DISPLAY set) the
# window appears there; without one it runs on a virtual display and a
# screenshot is saved to demo/screenshot.png.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
"$top/scripts/install-deps.sh"
source "$top/scripts/env.sh"

cmake -S . -B build/win -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-i686.cmake" >/dev/null
cmake --build build/win -j "$(nproc)" --target Tillvox

export WINEPREFIX="$top/demo/wineprefix"
tillvox_make_prefix "$WINEPREFIX"
if [ -n "${DISPLAY:-}" ]; then
  export TILLVOX_USE_DISPLAY=1
fi
tillvox_start_display

echo "Tillvox runs in the Wine prefix $WINEPREFIX; its data folder is"
echo "  $WINEPREFIX/drive_c/ProgramData/Orvane/Tillvox/"
echo "Close its window (or press Ctrl-C here) to stop it."
WINEDEBUG=-all wine "$top/build/win/bin/Tillvox.exe" "$@" &
program=$!
trap 'kill $program 2>/dev/null; tillvox_stop_wine; tillvox_stop_display' INT TERM
if [ -z "${TILLVOX_USE_DISPLAY:-}" ] && command -v import >/dev/null; then
  sleep 4
  import -window root "$top/demo/screenshot.png" 2>/dev/null && echo "screenshot: $top/demo/screenshot.png"
fi
wait $program || true
tillvox_stop_wine
