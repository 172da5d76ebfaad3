# Shell functions for the benchmarks that run the real Tillvox.exe under Wine
# with 16 file sources on TCP outputs and native dvrsim recorders (sourced by
# scripts/bench-idle.sh and scripts/bench-close.sh after env.sh, not run).
#
# Everything these functions start is recorded by process id and ended by
# bench_cleanup, which the caller runs from its EXIT trap; nothing is ended by
# name, and the Wine server started here is the only one they ever end.

BENCH_SOURCES=16
BENCH_PASSWORD="bench 16"
BENCH_PROGRAM_PID=""
BENCH_SERVER_PID=""
BENCH_RECORDER_PIDS=()
BENCH_TEMP=""
BENCH_SLEEP_PID=""

bench_fail() {
  echo "error: $*" >&2
  exit 1
}

# Sleeps N seconds in a way an interrupt or termination ends at once
# (the shell runs its traps while it waits for a background job).
bench_sleep() {
  sleep "$1" &
  BENCH_SLEEP_PID=$!
  wait "$BENCH_SLEEP_PID"
  BENCH_SLEEP_PID=""
}

# Runs a build command; its output is shown only when it fails.
bench_build() {
  local log
  log=$(mktemp)
  if ! "$@" >"$log" 2>&1; then
    tail -n 40 "$log" >&2
    rm -f "$log"
    bench_fail "build failed: $*"
  fi
  rm -f "$log"
}

# bench_init NAME: installs and builds what is needed, makes the prefix
# build/bench-NAME-prefix (the benchmark's own), starts a virtual display and
# the Wine server of that prefix, picks 16 free loopback ports and writes the
# settings file with 16 file sources, each watching its own file in its own
# folder inside a temporary folder.
bench_init() {
  local name=$1
  BENCH_TOP=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  # TILLVOX_BENCH_EXE measures another build of the program (e.g. an older one) instead of this one.
  BENCH_EXE=""
  if [ -n "${TILLVOX_BENCH_EXE:-}" ]; then
    BENCH_EXE=$(realpath -e "$TILLVOX_BENCH_EXE") || bench_fail "no program at $TILLVOX_BENCH_EXE"
  fi
  "$BENCH_TOP/scripts/install-deps.sh"
  tillvox_pick_wine
  cd "$BENCH_TOP"
  local targets=(bench_CloseTime bench_IdleProgram)
  [ -n "${TILLVOX_BENCH_EXE:-}" ] || targets+=(Tillvox)
  echo "building ${targets[*]} ($TILLVOX_WIN_BUILD) and dvrsim (build/native)..."
  bench_build cmake -S . -B "$TILLVOX_WIN_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release \
              -DCMAKE_TOOLCHAIN_FILE="$BENCH_TOP/$TILLVOX_WIN_TOOLCHAIN"
  bench_build cmake --build "$TILLVOX_WIN_BUILD" -j2 --target "${targets[@]}"
  # Same build type as the test command, so the two share one native build.
  bench_build cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug
  bench_build cmake --build build/native -j2 --target dvrsim
  BENCH_EXE=${BENCH_EXE:-$BENCH_TOP/$TILLVOX_WIN_BUILD/bin/Tillvox.exe}
  BENCH_CLOSE_EXE="$BENCH_TOP/$TILLVOX_WIN_BUILD/bench/bench_CloseTime.exe"
  BENCH_IDLE_EXE="$BENCH_TOP/$TILLVOX_WIN_BUILD/bench/bench_IdleProgram.exe"
  BENCH_DVRSIM="$BENCH_TOP/build/native/bin/dvrsim"

  BENCH_PREFIX="$BENCH_TOP/build/bench-$name-prefix"
  mkdir -p "$BENCH_TOP/build"
  # One run per prefix at a time: a second program there would meet the first's single-instance mutex.
  exec 9>"$BENCH_PREFIX.lock"
  flock -n 9 || bench_fail "another run uses $BENCH_PREFIX (lock $BENCH_PREFIX.lock)"
  tillvox_make_prefix "$BENCH_PREFIX"
  export WINEPREFIX="$BENCH_PREFIX"
  export WINEDEBUG=-all
  tillvox_start_display
  trap bench_cleanup EXIT
  trap 'echo "interrupted" >&2; exit 130' INT TERM

  BENCH_TEMP=$(mktemp -d "/tmp/tillvox-bench-$name.XXXXXX")
  # A server left over from an earlier run of this prefix ends by itself first.
  if ! timeout 30 wineserver -w 2>/dev/null; then
    bench_fail "a Wine server of $BENCH_PREFIX from an earlier run is still busy after 30 s"
  fi
  # Started here in the foreground, so its process id is known and its CPU time can be read.
  wineserver -f -p5 >"$BENCH_TEMP/wineserver.log" 2>&1 &
  BENCH_SERVER_PID=$!
  local i
  for i in $(seq 1 50); do
    # The server works in its own folder, where it makes the socket the programs connect to.
    [ -S "/proc/$BENCH_SERVER_PID/cwd/socket" ] && break
    kill -0 "$BENCH_SERVER_PID" 2>/dev/null || break
    sleep 0.1
  done
  if ! kill -0 "$BENCH_SERVER_PID" 2>/dev/null; then
    cat "$BENCH_TEMP/wineserver.log" >&2
    BENCH_SERVER_PID=""
    bench_fail "the Wine server of $BENCH_PREFIX did not start"
  fi
  case $(readlink "/proc/$BENCH_SERVER_PID/exe") in
    */wineserver*) ;;
    *) bench_fail "process $BENCH_SERVER_PID is not the Wine server: $(readlink "/proc/$BENCH_SERVER_PID/exe")" ;;
  esac

  mapfile -t BENCH_PORTS < <(bench_free_ports "$BENCH_SOURCES")
  [ "${#BENCH_PORTS[@]}" -eq "$BENCH_SOURCES" ] || bench_fail "could not find $BENCH_SOURCES free loopback ports"
  bench_write_settings
}

# Prints N distinct TCP ports that nothing uses at the moment.
bench_free_ports() {
  python3 - "$1" <<'PY'
import socket, sys
held = []
for _ in range(int(sys.argv[1])):
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    held.append(s)
for s in held:
    print(s.getsockname()[1])
PY
}

# The settings file the program reads, as its own source dialogs write it.
bench_write_settings() {
  local data="$BENCH_PREFIX/drive_c/ProgramData/Orvane/Tillvox"
  local settings="$data/FileMapPOS.ini" i folder
  mkdir -p "$data"
  {
    printf '%s\r\n' '[Main]' "File Number=$BENCH_SOURCES" '[Version]' 'version=8.5.7.0'
    for ((i = 1; i <= BENCH_SOURCES; i++)); do
      folder="$BENCH_TEMP/till$i"
      mkdir -p "$folder"
      : >"$folder/receipts.txt"
      printf '%s\r\n' "[Setup$i]" 'Monitor Type=0' 'Internet Type=0' 'Internet IP=' 'Internet Port=0' \
        "File Path=$(winepath_of "$folder/receipts.txt")" "POS Index=POS$i" 'Printer Type=TCP' \
        "Port=TCP(${BENCH_PORTS[$((i - 1))]})" "Password=$BENCH_PASSWORD" 'BaudRate=NULL' 'DataBits=NULL' \
        'Parity=NULL' 'StopBits=NULL' 'Receipt Type=0'
    done
  } >"$settings"
}

# Number of the 16 ports on which something listens (read from the kernel's
# table: connecting to probe would look like a recorder to the program).
bench_listening_count() {
  local hex=() p
  for p in "${BENCH_PORTS[@]}"; do hex+=("$(printf '%04X' "$p")"); done
  cat /proc/net/tcp /proc/net/tcp6 2>/dev/null | awk -v ports="${hex[*]}" '
    BEGIN { n = split(ports, list, " "); for (i = 1; i <= n; i++) want[list[i]] = 1 }
    $4 == "0A" { split($2, a, ":"); if (a[2] in want && !(a[2] in seen)) { seen[a[2]] = 1; count++ } }
    END { print count + 0 }'
}

# Starts "Tillvox.exe /Service /Monitor" (capture starts at once) and waits at
# most 60 s until it listens on all 16 ports.
bench_start_program() {
  local busy
  busy=$(bench_listening_count)
  [ "$busy" -eq 0 ] || bench_fail "$busy of the benchmark's ports are taken before the program starts"
  "$TILLVOX_WINE" "$BENCH_EXE" /Service /Monitor >>"$BENCH_TEMP/program.log" 2>&1 &
  BENCH_PROGRAM_PID=$!
  local waited=0 listening=0
  while [ $waited -lt 600 ]; do
    if ! kill -0 "$BENCH_PROGRAM_PID" 2>/dev/null; then
      wait "$BENCH_PROGRAM_PID" 2>/dev/null || true
      BENCH_PROGRAM_PID=""
      tail -n 20 "$BENCH_TEMP/program.log" >&2
      bench_fail "Tillvox.exe ended at once (another copy running in $BENCH_PREFIX?)"
    fi
    listening=$(bench_listening_count)
    [ "$listening" -eq "$BENCH_SOURCES" ] && break
    sleep 0.1
    waited=$((waited + 1))
  done
  [ "$listening" -eq "$BENCH_SOURCES" ] ||
    bench_fail "Tillvox.exe listens on $listening of $BENCH_SOURCES ports after 60 s"
  # The Wine loader turns into the program in the same process: check that this id is the program.
  tr '\0' ' ' <"/proc/$BENCH_PROGRAM_PID/cmdline" | grep -q 'Tillvox\.exe' ||
    bench_fail "process $BENCH_PROGRAM_PID is not Tillvox.exe: $(tr '\0' ' ' <"/proc/$BENCH_PROGRAM_PID/cmdline")"
}

# Connects the 16 recorders and waits at most 30 s until every one reports its login verdict.
bench_connect_recorders() {
  local i
  BENCH_RECORDER_PIDS=()
  for ((i = 0; i < BENCH_SOURCES; i++)); do
    "$BENCH_DVRSIM" "127.0.0.1:${BENCH_PORTS[$i]}" --password "$BENCH_PASSWORD" --quiet \
      --keepalive-ms 5000 --retry-ms 10000 >/dev/null 2>"$BENCH_TEMP/recorder$i.log" &
    BENCH_RECORDER_PIDS+=($!)
  done
  local waited=0 ok=0
  while [ $waited -lt 300 ]; do
    ok=0
    for ((i = 0; i < BENCH_SOURCES; i++)); do
      if grep -q '^login ok' "$BENCH_TEMP/recorder$i.log"; then
        ok=$((ok + 1))
      elif ! kill -0 "${BENCH_RECORDER_PIDS[$i]}" 2>/dev/null; then
        bench_fail "recorder $((i + 1)) on port ${BENCH_PORTS[$i]} ended: $(cat "$BENCH_TEMP/recorder$i.log")"
      fi
    done
    [ $ok -eq "$BENCH_SOURCES" ] && return 0
    sleep 0.1
    waited=$((waited + 1))
  done
  bench_fail "only $ok of $BENCH_SOURCES recorders logged in within 30 s"
}

# Number of recorders still running (a recorder ends when it loses its link).
bench_recorders_alive() {
  local pid n=0
  for pid in "${BENCH_RECORDER_PIDS[@]}"; do kill -0 "$pid" 2>/dev/null && n=$((n + 1)); done
  echo $n
}

# Ends the recorders this script started, by process id.
bench_stop_recorders() {
  local pid
  for pid in "${BENCH_RECORDER_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${BENCH_RECORDER_PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  BENCH_RECORDER_PIDS=()
}

# Closes the program as a user's close does and sets BENCH_CLOSE_MS to the
# milliseconds from the close request until the process ended.
bench_close_program() {
  BENCH_CLOSE_MS=""
  local out
  out=$(timeout 90 "$TILLVOX_WINE" "$BENCH_CLOSE_EXE" "$(winepath_of "$BENCH_EXE")" 30000 2>&1) || true
  BENCH_CLOSE_MS=$(printf '%s\n' "$out" | tr -d '\r' | awk '$1 == "close" && $2 == "ms" { print $3 }')
  [ -n "$BENCH_CLOSE_MS" ] || echo "warning: the close request failed: $out" >&2
  local i
  for i in $(seq 1 100); do
    kill -0 "$BENCH_PROGRAM_PID" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$BENCH_PROGRAM_PID" 2>/dev/null; then
    echo "warning: Tillvox.exe (process $BENCH_PROGRAM_PID) still runs 10 s after the close: killing it" >&2
    kill -9 "$BENCH_PROGRAM_PID" 2>/dev/null || true
  fi
  wait "$BENCH_PROGRAM_PID" 2>/dev/null || true
  BENCH_PROGRAM_PID=""
  [ -n "$BENCH_CLOSE_MS" ]
}

# Prints "UTIME+STIME NUM_THREADS" of process PID in clock ticks, or nothing when it is gone.
bench_proc_ticks() {
  local stat rest f
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 0
  rest=${stat##*) }
  read -ra f <<<"$rest"
  echo "$((f[11] + f[12])) ${f[17]}"
}

# Process ids of the other Wine processes of the prefix (services, explorer, ...).
bench_helper_pids() {
  local dir pid
  for dir in /proc/[0-9]*; do
    pid=${dir#/proc/}
    [ "$pid" = "$BENCH_PROGRAM_PID" ] || [ "$pid" = "$BENCH_SERVER_PID" ] && continue
    tr '\0' '\n' 2>/dev/null <"$dir/environ" | grep -qxF "WINEPREFIX=$BENCH_PREFIX" || continue
    readlink "$dir/exe" 2>/dev/null | grep -q wine || continue
    echo "$pid"
  done
}

bench_cleanup() {
  local status=$?
  trap - EXIT INT TERM
  set +e  # every step of the cleanup runs, whatever the one before it met
  [ -n "$BENCH_SLEEP_PID" ] && kill "$BENCH_SLEEP_PID" 2>/dev/null
  bench_stop_recorders
  if [ -n "$BENCH_PROGRAM_PID" ] && kill -0 "$BENCH_PROGRAM_PID" 2>/dev/null; then
    bench_close_program >/dev/null || true
  fi
  if [ -n "$BENCH_SERVER_PID" ]; then
    # The server ends by itself 5 s after the prefix's last program; the wait is bounded.
    local i
    for i in $(seq 1 300); do
      kill -0 "$BENCH_SERVER_PID" 2>/dev/null || break
      sleep 0.1
    done
    if kill -0 "$BENCH_SERVER_PID" 2>/dev/null; then
      echo "warning: the Wine server (process $BENCH_SERVER_PID) still runs 30 s after the program ended: ending it" >&2
      kill "$BENCH_SERVER_PID" 2>/dev/null || true
    fi
    wait "$BENCH_SERVER_PID" 2>/dev/null || true
  fi
  tillvox_stop_display
  [ -n "$BENCH_TEMP" ] && rm -rf "$BENCH_TEMP"
  exit $status
}
