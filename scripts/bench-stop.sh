#!/usr/bin/env bash
# Benchmark: how long stop takes with 16 logged-in TCP sources, beside closing plain sockets.
# Argument: number of rounds (default 5).
set -euo pipefail
source "$(dirname "$0")/env.sh"
tillvox_run_bench StopTime "${1:-5}"
