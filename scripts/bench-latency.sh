#!/usr/bin/env bash
# Benchmark: receipt latency of the real program beside the minimal forwarder
# (bench/forwarder), interleaved in one run: 1 source, 16 sources in 16
# folders, 16 sources in one folder.
# Arguments: rounds (default 3000), layouts (default 1,16,16one).
set -euo pipefail
source "$(dirname "$0")/env.sh"
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
tillvox_pick_wine
cmake -S "$top" -B "$top/$TILLVOX_WIN_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$top/$TILLVOX_WIN_TOOLCHAIN" >/dev/null
cmake --build "$top/$TILLVOX_WIN_BUILD" --target Tillvox bench_ReceiptLatency bench_MinimalForwarder >/dev/null
tillvox_make_prefix "$top/build/bench-prefix"
tillvox_start_display
export WINEPREFIX="$top/build/bench-prefix" WINEDEBUG=-all
export TILLVOX_BIN_DIR="$top/$TILLVOX_WIN_BUILD/bin" TILLVOX_BENCH_DIR="$top/$TILLVOX_WIN_BUILD/bench"
status=0
"$TILLVOX_WINE" "$TILLVOX_BENCH_DIR/bench_ReceiptLatency.exe" "${1:-3000}" "${2:-1,16,16one}" || status=$?
tillvox_wait_wine
exit $status
