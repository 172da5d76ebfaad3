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
cmake -S . -B build/win -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-i686.cmake" >/dev/null
cmake --build build/win -j "$jobs"

tillvox_make_prefix "$top/build/wineprefix"
export WINEPREFIX="$top/build/wineprefix"
export TILLVOX_NATIVE_BIN_DIR="$top/build/native/bin"
tillvox_start_display

status=0
ctest --test-dir build/native -j "$jobs" --output-on-failure --timeout 300 || status=1
ctest --test-dir build/win -j 2 --output-on-failure --timeout 300 || status=1
tillvox_stop_wine
exit $status
