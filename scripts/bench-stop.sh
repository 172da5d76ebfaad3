#!/usr/bin/env bash
# Benchmark: how long stop takes with 16 logged-in TCP sources, beside closing plain sockets.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
"$top/scripts/install-deps.sh"
source "$top/scripts/env.sh"
cmake -S . -B build/win -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-i686.cmake" >/dev/null
cmake --build build/win --target bench_StopTime >/dev/null
tillvox_make_prefix "$top/build/wineprefix"
WINEPREFIX="$top/build/wineprefix" WINEDEBUG=-all wine build/win/bench/bench_StopTime.exe "${1:-5}"
