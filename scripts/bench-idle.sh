#!/usr/bin/env bash
# Benchmark: what the real Tillvox.exe costs while it waits for receipts.
# It runs under Wine with 16 file sources on TCP outputs ("/Service /Monitor":
# capture starts at once) in two phases: (a) no recorder connected, (b) 16
# dvrsim recorders logged in. For each phase it prints the CPU time used by the
# program and by the prefix's Wine server (as % of one core) and the program's
# thread count, after the Wine server's own floor with a program that only
# sleeps. Prints figures; asserts nothing.
# Argument: seconds measured per phase (default 60), after 5 s of settling.
# TILLVOX_BENCH_EXE=/path/to/Tillvox.exe measures that build instead of this tree's.
set -euo pipefail
seconds=${1:-60}
[[ $seconds =~ ^[1-9][0-9]*$ ]] || { echo "usage: scripts/bench-idle.sh [SECONDS]" >&2; exit 2; }
settle=5
source "$(dirname "$0")/env.sh"
source "$(dirname "$0")/program-bench-env.sh"
bench_init idle

hz=$(getconf CLK_TCK)

# Sets the global snapshot of ticks: program, server, the other Wine processes
# in $helper_pids, and the wall clock, read close together.
snapshot() {
  local pid ticks
  snap_time=$(date +%s.%N)
  read -r snap_program snap_threads <<<"$(bench_proc_ticks "$BENCH_PROGRAM_PID")"
  read -r snap_server _ <<<"$(bench_proc_ticks "$BENCH_SERVER_PID")"
  [ -n "$snap_program" ] || bench_fail "Tillvox.exe (process $BENCH_PROGRAM_PID) ended during the measurement"
  [ -n "$snap_server" ] || bench_fail "the Wine server (process $BENCH_SERVER_PID) ended during the measurement"
  declare -gA snap_helper=()
  for pid in $helper_pids; do
    read -r ticks _ <<<"$(bench_proc_ticks "$pid")"
    if [ -n "$ticks" ]; then snap_helper[$pid]=$ticks; fi
  done
}

# measure LABEL: settles, measures for $seconds and prints the figures of one phase.
measure() {
  local label=$1
  bench_sleep "$settle"
  helper_pids=$(bench_helper_pids)
  snapshot
  local p0=$snap_program s0=$snap_server t0=$snap_time pid
  local -A h0=()
  for pid in "${!snap_helper[@]}"; do h0[$pid]=${snap_helper[$pid]}; done
  bench_sleep "$seconds"
  snapshot
  local helpers=0 names=""
  for pid in "${!snap_helper[@]}"; do
    [ -n "${h0[$pid]:-}" ] || continue
    helpers=$((helpers + snap_helper[$pid] - h0[$pid]))
    names+=" $(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | awk '{ n = split($1, a, /[\\\/]/); print a[n] }')"
  done
  awk -v label="$label" -v hz="$hz" -v t0="$t0" -v t1="$snap_time" \
      -v prog=$((snap_program - p0)) -v serv=$((snap_server - s0)) -v help=$helpers \
      -v threads="$snap_threads" -v names="$names" '
    function line(what, ticks) {
      printf "  %-34s %8.2f s CPU  %6.2f %% of one core\n", what, ticks / hz, 100 * ticks / hz / wall
    }
    BEGIN {
      wall = t1 - t0
      printf "%s (%.1f s measured):\n", label, wall
      line("Tillvox.exe", prog)
      line("Wine server", serv)
      line("sum", prog + serv)
      printf "  %-34s %8d\n", "Tillvox.exe threads", threads
      line("other Wine processes (not in sum)", help)
      printf "    (%s )\n", names
    }'
}

# The floor: what the Wine server and the prefix's own processes cost while
# the only program there sleeps. Nothing the program does can go below it.
measure_floor() {
  "$TILLVOX_WINE" "$BENCH_IDLE_EXE" $((settle + seconds + 2)) >/dev/null 2>&1 &
  local idle_pid=$! s0 s1 t0 t1
  bench_sleep "$settle"
  read -r s0 _ <<<"$(bench_proc_ticks "$BENCH_SERVER_PID")"
  t0=$(date +%s.%N)
  bench_sleep "$seconds"
  read -r s1 _ <<<"$(bench_proc_ticks "$BENCH_SERVER_PID")"
  t1=$(date +%s.%N)
  wait "$idle_pid" 2>/dev/null || true
  awk -v hz="$hz" -v t0="$t0" -v t1="$t1" -v serv=$((s1 - s0)) 'BEGIN {
    wall = t1 - t0
    printf "(0) floor: the Wine server while a program that only sleeps runs (%.1f s measured):\n", wall
    printf "  %-34s %8.2f s CPU  %6.2f %% of one core\n", "Wine server", serv / hz, 100 * serv / hz / wall
  }'
}

echo "$BENCH_EXE, 16 file sources with TCP outputs, prefix $BENCH_PREFIX"
echo "settle ${settle} s, then ${seconds} s per phase; clock ticks per second: $hz"
measure_floor
bench_start_program
echo "program: Linux process $BENCH_PROGRAM_PID; Wine server: process $BENCH_SERVER_PID"
measure "(a) idle, no recorder connected"

bench_connect_recorders
measure "(b) idle, 16 recorders logged in (keep-alive check every 5 s)"
alive=$(bench_recorders_alive)
[ "$alive" -eq "$BENCH_SOURCES" ] || echo "warning: only $alive of $BENCH_SOURCES recorders still connected" >&2

if bench_close_program; then
  echo "close with 16 recorders logged in: $BENCH_CLOSE_MS ms from the close request to the end of the process"
fi
