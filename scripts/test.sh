#!/usr/bin/env bash
# Sets up, builds and runs every test: the native tests under sanitizers and
# the Windows tests under Wine on a virtual display.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
"$top/scripts/install-deps.sh"
source "$top/scripts/env.sh"

jobs=$(nproc)
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/native -j "$jobs"
# The product is the 32-bit program; it is always built. Its tests run under
# Wine in the build this machine can run (the 64-bit one where 32-bit
# programs cannot run at all).
tillvox_pick_wine
cmake -S . -B build/win -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-i686.cmake" >/dev/null
if [ "$TILLVOX_WIN_BUILD" = build/win ]; then
  cmake --build build/win -j "$jobs"
else
  echo "this machine runs no 32-bit programs: building the 32-bit program, testing the 64-bit build under wine64"
  cmake --build build/win -j "$jobs" --target Tillvox dvrsim possim closeprogram TillvoxSetup
  cmake -S . -B "$TILLVOX_WIN_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$top/$TILLVOX_WIN_TOOLCHAIN" >/dev/null
  cmake --build "$TILLVOX_WIN_BUILD" -j "$jobs"
fi

tillvox_make_prefix "$top/build/wineprefix"
export WINEPREFIX="$top/build/wineprefix"
export TILLVOX_NATIVE_BIN_DIR="$top/build/native/bin"
tillvox_start_display
# One Wine server for the whole run, its output kept away from the tests' in
# build/wineserver.log, and its session held up until the end of the run.
tillvox_start_wineserver "$top/build/wineserver.log"
tillvox_hold_wine_session "$top/$TILLVOX_WIN_BUILD/support/session_holder.exe" "$top/build/session-holder.out"

status=0
ctest --test-dir build/native -j "$jobs" --output-on-failure --timeout 300 || status=1
ctest --test-dir "$TILLVOX_WIN_BUILD" -j 2 --output-on-failure --timeout 300 || status=1
tillvox_release_wine_session
tillvox_wait_wine
# The shipped 32-bit programs themselves, after the rest: under emulation they need the CPU.
"$top/scripts/smoke-32bit.sh" || status=1
exit $status
