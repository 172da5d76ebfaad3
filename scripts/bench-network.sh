#!/usr/bin/env bash
# Benchmark: throughput of one network source to a logged-in recorder beside a
# socat relay, and 16 clients at once to 16 sources.
# Arguments: MB per round (default 8), rounds (default 3), MB per client of the 16 (default 1).
set -euo pipefail
source "$(dirname "$0")/env.sh"
relay_port=$(tillvox_free_port)
relay_target=$(tillvox_free_port)
socat TCP-LISTEN:"$relay_port",bind=127.0.0.1,reuseaddr,fork TCP:127.0.0.1:"$relay_target" &
socat_pid=$!
trap 'kill "$socat_pid" 2>/dev/null || true' EXIT
tillvox_run_bench NetworkThroughput "$relay_port" "$relay_target" "${1:-8}" "${2:-3}" "${3:-1}"
