#!/usr/bin/env bash
# Benchmark: how long the real Tillvox.exe takes to close, as a user's close
# does (WM_CLOSE to its main window), with 16 file sources on TCP outputs
# capturing ("/Service /Monitor"). Each round starts the program, connects 16
# dvrsim recorders and waits until all are logged in, then measures from the
# moment the close request is posted until the process has ended. A second
# series does the same with no recorder connected. Prints per-round times and
# min/mean/max; asserts nothing.
# Argument: rounds per series (default 10).
# TILLVOX_BENCH_EXE=/path/to/Tillvox.exe measures that build instead of this tree's.
set -euo pipefail
rounds=${1:-10}
[[ $rounds =~ ^[1-9][0-9]*$ ]] || { echo "usage: scripts/bench-close.sh [ROUNDS]" >&2; exit 2; }
source "$(dirname "$0")/env.sh"
source "$(dirname "$0")/program-bench-env.sh"
bench_init close

# After the logins, the program has a moment to show them before the close.
settle=2

# series LABEL RECORDERS(0|1): runs the rounds and prints their times.
series() {
  local label=$1 with_recorders=$2 round times=()
  echo "$label:"
  for ((round = 1; round <= rounds; round++)); do
    bench_start_program
    [ "$with_recorders" -eq 1 ] && bench_connect_recorders
    bench_sleep "$settle"
    if [ "$with_recorders" -eq 1 ]; then
      local alive
      alive=$(bench_recorders_alive)
      [ "$alive" -eq "$BENCH_SOURCES" ] || echo "warning: only $alive recorders still connected before the close" >&2
    fi
    if bench_close_program; then
      awk -v r="$round" -v ms="$BENCH_CLOSE_MS" 'BEGIN { printf "  round %2d: %8.1f ms\n", r, ms }'
      times+=("$BENCH_CLOSE_MS")
    else
      printf '  round %2d:   failed\n' "$round"
    fi
    # The recorders end by themselves once their link is gone; any left are ended here.
    bench_stop_recorders
  done
  if [ ${#times[@]} -gt 0 ]; then
    printf '%s\n' "${times[@]}" | awk -v label="$label" '
      NR == 1 { min = max = $1 } { sum += $1; if ($1 < min) min = $1; if ($1 > max) max = $1 }
      END { printf "  %d rounds: min %.1f ms, mean %.1f ms, max %.1f ms\n", NR, min, sum / NR, max }'
  fi
}

echo "$BENCH_EXE, 16 file sources with TCP outputs, prefix $BENCH_PREFIX"
echo "close time: from posting WM_CLOSE to the main window until the process has ended"
series "with 16 recorders logged in" 1
series "with no recorder connected" 0
