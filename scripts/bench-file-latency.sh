#!/usr/bin/env bash
# Benchmark: receipt latency from a file append to the recorder, beside tail -F | socat.
# Arguments: number of receipts (default 1000), milliseconds between them (default 20).
set -euo pipefail
source "$(dirname "$0")/env.sh"
tillvox_run_bench FileLatency "${1:-1000}" "${2:-20}"
