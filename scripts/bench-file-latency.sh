#!/usr/bin/env bash
# Benchmark: receipt latency from a file append to the recorder, beside tail -F | socat.
# Arguments: number of receipts (default 1000), milliseconds between them (default 20).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
"$top/scripts/install-deps.sh"
source "$top/scripts/env.sh"
cmake -S . -B build/win -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-i686.cmake" >/dev/null
cmake --build build/win --target bench_FileLatency >/dev/null
tillvox_make_prefix "$top/build/wineprefix"
WINEPREFIX="$top/build/wineprefix" WINEDEBUG=-all wine build/win/bench/bench_FileLatency.exe "${1:-1000}" "${2:-20}"
pkill -f "tail -n 0 -F /tmp/tillvox-shared" 2>/dev/null || true
