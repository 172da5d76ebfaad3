#!/usr/bin/env bash
# Smoke test of the shipped 32-bit build (build/win): the 32-bit programs
# themselves under Wine's 32-bit loader, in a 32-bit Wine prefix of their own
# (build/smoke-32bit/wineprefix) on a virtual display of their own:
# - Tillvox.exe /Service /Monitor with four sources: a file delivered over TCP
#   and one over a COM port, each receipt checked byte for byte at the recorder;
#   the 32-bit Infogenesis simulator library beside it (its connection record
#   and a DATA command's text forwarded); a network source fed by possim.exe
#   and read by dvrsim.exe; then a clean close with closeprogram.exe;
# - the main window and a source dialog shown, screenshots kept in
#   build/smoke-32bit/screenshots/;
# - the setup program installing silently, the installed program capturing,
#   the silent uninstall.
#
# Where this machine runs no 32-bit Linux programs, they run under qemu-i386
# (build/qemu/, brought by scripts/install-deps.sh), registered as the handler
# of 32-bit programs inside a private user and mount namespace only: nothing
# changes for other programs on the machine. Where that is not possible either
# (no user namespaces, a kernel without binfmt_misc per namespace, no
# emulator), it says so and ends with 0.
#
# usage: scripts/smoke-32bit.sh
# TILLVOX_QEMU_I386 names another emulator than build/qemu/qemu-i386.
# Exit status: 0 every check passed (or the suite cannot run here), 1 a check failed.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
source "$top/scripts/env.sh"
base=$top/build/smoke-32bit
qemu=${TILLVOX_QEMU_I386:-$top/build/qemu/qemu-i386}
# The cannot-run answer of the suite run inside the namespace.
cannot_run=77

# --- outside: build, choose the route, enter the namespace -------------------
if [ "${1:-}" != --inside ]; then
  set -e
  "$top/scripts/install-deps.sh"
  jobs=${TILLVOX_JOBS:-$(nproc)}
  cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
  cmake --build build/native -j "$jobs" --target dvrsim infogenesis-send >/dev/null
  cmake -S . -B build/win -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-i686.cmake" >/dev/null
  cmake --build build/win -j "$jobs" --target Tillvox dvrsim possim closeprogram TillvoxSetup infogenesis-sim >/dev/null
  set +e
  skip() {
    echo "smoke-32bit: NOT RUN: $*"
    echo "smoke-32bit: the 32-bit build was built but not started on this machine"
    exit 0
  }
  if tillvox_runs_32bit; then
    exec "$0" --inside native
  fi
  [ -x "$qemu" ] || skip "this machine runs no 32-bit programs and there is no emulator ($qemu; scripts/install-deps.sh brings it)"
  unshare --user --map-root-user --mount true 2>/dev/null \
    || skip "this machine runs no 32-bit programs and gives no private user namespaces (unshare --user) for their emulator"
  unshare --user --map-root-user --mount "$0" --inside emulated
  rc=$?
  [ $rc -eq $cannot_run ] && skip "the emulator of 32-bit programs could not be set up in a private namespace (see above)"
  exit $rc
fi

# --- inside: the suite -------------------------------------------------------
route=${2:-native}
started_at=$SECONDS
if [ "$route" = emulated ]; then
  # This namespace's own handler table (kernels from 6.7); an older kernel
  # refuses the mount or shares the machine's table, and then nothing is registered.
  if ! mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null; then
    echo "smoke-32bit: binfmt_misc cannot be mounted in a private namespace here (kernel $(uname -r))" >&2
    exit $cannot_run
  fi
  if [ -e /proc/sys/fs/binfmt_misc/tillvox-i386 ] || [ "$(ls /proc/sys/fs/binfmt_misc | wc -l)" -gt 2 ]; then
    echo "smoke-32bit: the binfmt_misc table here is not the namespace's own: nothing registered" >&2
    exit $cannot_run
  fi
  # 32-bit x86 ELF executables and shared objects: preserve argv[0] (P), open the
  # program for the emulator (O), emulator opened now (F), as distributions register it.
  magic='\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  mask='\xff\xff\xff\xff\xff\xfe\xfe\xfc\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  if ! printf ':tillvox-i386:M::%s:%s:%s:POF\n' "$magic" "$mask" "$qemu" >/proc/sys/fs/binfmt_misc/register 2>/dev/null; then
    echo "smoke-32bit: qemu-i386 could not be registered in the private namespace" >&2
    exit $cannot_run
  fi
  unset TILLVOX_RUNS_32BIT
  if ! tillvox_runs_32bit; then
    echo "smoke-32bit: a 32-bit program does not start under qemu-i386 in the private namespace" >&2
    exit $cannot_run
  fi
  echo "smoke-32bit: 32-bit programs run under $("$qemu" --version | head -n 1), registered in a private namespace only"
else
  echo "smoke-32bit: 32-bit programs run natively on this machine"
fi

win=$top/build/win
setup=$(ls "$win"/bin/TillvoxSetup-*.exe 2>/dev/null | head -n 1)
work=$base/run
rm -rf "$work"
mkdir -p "$work" "$base/screenshots"
rm -f "$base"/screenshots/*.png
export WINEPREFIX=$base/wineprefix
export WINEARCH=win32
export WINEDEBUG=-all
# No menu entries or file associations of the prefix on this machine's desktop.
export WINEDLLOVERRIDES="winemenubuilder.exe=d"
export TILLVOX_WINE=/usr/lib/wine/wine
wine32=$TILLVOX_WINE

failures=0
checks=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1; shift
  checks=$((checks + 1))
  if "$@"; then
    echo "ok   $what"
  else
    echo "FAIL $what"
    failures=$((failures + 1))
  fi
}
phase() {
  echo "== $* (at $((SECONDS - started_at)) s)"
}

cleanup() {
  local pid
  # What this shell started in the background and still runs, by process id: an id
  # already waited for may belong to another program by now.
  for pid in $(jobs -pr); do kill "$pid" 2>/dev/null || true; done
  for _ in $(seq 1 40); do [ -z "$(jobs -pr)" ] && break; sleep 0.25; done
  for pid in $(jobs -pr); do kill -9 "$pid" 2>/dev/null || true; done
  # Once its programs are gone, the prefix's server ends by itself.
  timeout 60 wineserver -w 2>/dev/null || true
  tillvox_stop_display
}
trap cleanup EXIT

# Waits up to SECONDS for COMMAND to succeed.
wait_for() {
  local seconds=$1; shift
  local end=$((SECONDS + seconds))
  while [ $SECONDS -lt $end ]; do "$@" && return 0; sleep 0.25; done
  "$@"
}
not() { ! "$@"; }
alive() { kill -0 "$1" 2>/dev/null; }
equals() { [ "$1" = "$2" ]; }
has_file() { [ -f "$1" ]; }
same_file() { cmp -s "$1" "$2"; }
# Waits up to SECONDS for process PID (a child of this shell) to end; its exit code goes to $code.
wait_exit() {
  local pid=$1 seconds=$2
  wait_for "$seconds" not alive "$pid" || return 1
  wait "$pid"
  code=$?
  return 0
}
# The exit code of a wait_exit just made: ended in time and with 0.
ended_with_0() { wait_exit "$1" "$2" && [ "$code" -eq 0 ]; }

phase "a 32-bit prefix"
tillvox_boot_prefix "$WINEPREFIX" "$wine32"
tillvox_prefix_settings "$WINEPREFIX"
check "the prefix is a 32-bit one" grep -q '^#arch=win32' "$WINEPREFIX/system.reg"
# What an earlier run installed or set up.
rm -rf "$WINEPREFIX/drive_c/ProgramData/Orvane" "$WINEPREFIX/drive_c/Program Files/Orvane" "$WINEPREFIX/drive_c/smoke"
tillvox_start_display
trap cleanup EXIT  # the display's own trap is part of cleanup
# One server for the whole suite, kept 10 s past its last program. What it prints
# when it ends goes to its log.
wineserver -p10 >"$work/wineserver.log" 2>&1
timeout 300 "$wine32" cmd /c exit </dev/null >/dev/null 2>&1
echo "   prefix and server ready"

# --- the program in monitor mode with four sources ---------------------------
phase "Tillvox.exe /Service /Monitor: file over TCP, file over COM55, Infogenesis, network"
program_dir=$work/program
mkdir -p "$program_dir"
cp "$win/bin/Tillvox.exe" "$win/bin/Tillvox.xml" "$program_dir/"
cp "$win/infogenesis-sim/InfogenesisPos.dll" "$program_dir/InfogenesisPos.dll"
exe_win=$(winepath_of "$program_dir/Tillvox.exe")

# Five different free ports.
ports=()
while [ ${#ports[@]} -lt 5 ]; do
  port=$(tillvox_free_port)
  [[ " ${ports[*]} " == *" $port "* ]] || ports+=("$port")
done
port_file_tcp=${ports[0]} port_info_out=${ports[1]} port_info_recv=${ports[2]}
port_net_in=${ports[3]} port_net_out=${ports[4]}
com=COM55
till_tcp_win='C:\smoke\till-tcp.txt'
till_com_win='C:\smoke\till-com.txt'
till_tcp=$(tillvox_unix_path "$WINEPREFIX" "$till_tcp_win")
till_com=$(tillvox_unix_path "$WINEPREFIX" "$till_com_win")
mkdir -p "$(dirname "$till_tcp")"
printf 'before the start\r\n' >"$till_tcp"
printf 'before the start\r\n' >"$till_com"

settings=$WINEPREFIX/drive_c/ProgramData/Orvane/Tillvox/FileMapPOS.ini
mkdir -p "$(dirname "$settings")"
{
  printf '%s\r\n' '[Main]' 'File Number=4' '[Version]' 'version=8.5.7.0'
  printf '%s\r\n' '[Setup1]' 'Monitor Type=0' 'Internet Type=0' 'Internet IP=' 'Internet Port=0' \
    "File Path=$till_tcp_win" 'POS Index=POS1' 'Printer Type=TCP' "Port=TCP($port_file_tcp)" 'Password=smoke one' \
    'BaudRate=NULL' 'DataBits=NULL' 'Parity=NULL' 'StopBits=NULL' 'Receipt Type=0'
  printf '%s\r\n' '[Setup2]' 'Monitor Type=0' 'Internet Type=0' 'Internet IP=' 'Internet Port=0' \
    "File Path=$till_com_win" 'POS Index=POS2' 'Printer Type=Serial' "Port=$com" 'Password=NULL' \
    'BaudRate=9600' 'DataBits=8' 'Parity=None' 'StopBits=1.0' 'Receipt Type=0'
  printf '%s\r\n' '[Setup3]' 'Monitor Type=3' 'Internet Type=0' 'Internet IP=' 'Internet Port=0' 'File Path=' \
    'POS Index=POS3' 'Printer Type=TCP' "Port=TCP($port_info_out)" 'Password=smoke three' \
    'BaudRate=NULL' 'DataBits=NULL' 'Parity=NULL' 'StopBits=NULL' 'Receipt Type=0' \
    'Infogenesis_IP=127.0.0.1' 'Infogenesis_SendPort=7001' "Infogenesis_RecvPort=$port_info_recv" \
    'Infogenesis_TerminalID=2'
  printf '%s\r\n' '[Setup4]' 'Monitor Type=1' 'Internet Type=0' 'Internet IP=127.0.0.1' "Internet Port=$port_net_in" \
    'File Path=' 'POS Index=POS4' 'Printer Type=TCP' "Port=TCP($port_net_out)" 'Password=smoke four' \
    'BaudRate=NULL' 'DataBits=NULL' 'Parity=NULL' 'StopBits=NULL' 'Receipt Type=0'
} >"$settings"

# COM55: one end of a pseudo-terminal pair is the program's port, the other the recorder's.
socat "pty,raw,echo=0,link=$work/com-program" "pty,raw,echo=0,link=$work/com-recorder" 2>"$work/socat.log" &
wait_for 10 test -e "$work/com-program" && wait_for 10 test -e "$work/com-recorder"
ln -sfn "$work/com-program" "$WINEPREFIX/dosdevices/${com,,}"
# What arrives on the recorder's end, as it arrives (bounded: 15 minutes at most).
python3 - "$work/com-recorder" "$work/received-com.bin" <<'PY' &
import os, select, sys, time
fd = os.open(sys.argv[1], os.O_RDONLY | os.O_NOCTTY | os.O_NONBLOCK)
end = time.monotonic() + 900
with open(sys.argv[2], "wb") as out:
    while time.monotonic() < end:
        ready, _, _ = select.select([fd], [], [], 1.0)
        if ready:
            try:
                data = os.read(fd, 4096)
            except BlockingIOError:
                continue
            out.write(data)
            out.flush()
PY

# The recorder of the first source: the native simulator, undoing the nibble swap.
: >"$work/received-tcp.bin"
"$top/build/native/bin/dvrsim" "127.0.0.1:$port_file_tcp" --password 'smoke one' --retry-ms 120000 \
  --out "$work/received-tcp.bin" --quiet >"$work/dvrsim-tcp.log" 2>&1 &

"$wine32" "$program_dir/Tillvox.exe" /Service /Monitor >"$work/program.log" 2>&1 </dev/null &
program=$!
check "Tillvox.exe listens on the TCP printer port of the file source" wait_for 120 tillvox_port_listens "$port_file_tcp"
check "the Infogenesis simulator library beside it was started on its receive port" \
  wait_for 60 tillvox_port_listens "$port_info_recv"
check "the network source listens for its till" wait_for 60 tillvox_port_listens "$port_net_in"

# True when the bytes received (FILE, nibble swap undone unless SWAPPED=1) are exactly
# the pieces sent after some point: the last n of the files named in PIECES, in order.
received_is_pieces() {
  local received=$1 swapped=$2; shift 2
  python3 - "$received" "$swapped" "$@" <<'PY'
import sys
got = open(sys.argv[1], "rb").read()
if sys.argv[2] == "1":
    got = bytes(((b << 4) & 0xFF) | (b >> 4) for b in got)
pieces = [open(p, "rb").read() for p in sys.argv[3:]]
sys.exit(0 if any(got == b"".join(pieces[i:]) for i in range(len(pieces))) else 1)
PY
}

# Appends receipts to a watched file until one has arrived: the watcher starts just
# after the output listens, and what is appended before it is part of the snapshot.
# deliver_receipt FILE RECEIVED SWAPPED NAME
deliver_receipt() {
  local file=$1 received=$2 swapped=$3 name=$4 end=$((SECONDS + 90)) n=0
  local pieces=()
  while [ $SECONDS -lt $end ]; do
    n=$((n + 1))
    tillvox_sample_receipt "$n" >"$work/$name-$n.txt"
    cat "$work/$name-$n.txt" >>"$file"
    # Each appended piece reaches the recorder followed by one zero byte.
    { cat "$work/$name-$n.txt"; printf '\0'; } >"$work/$name-$n.piece"
    pieces+=("$work/$name-$n.piece")
    wait_for 12 received_is_pieces "$received" "$swapped" "${pieces[@]}" && return 0
  done
  return 1
}
check "a receipt appended to the file arrives byte for byte at the recorder over TCP" \
  deliver_receipt "$till_tcp" "$work/received-tcp.bin" 0 tcp
check "a receipt appended to the other file arrives byte for byte, nibble-swapped, on $com" \
  deliver_receipt "$till_com" "$work/received-com.bin" 1 com

# The Infogenesis source: the 32-bit library got the program's connection record as the
# library's contract lays it out, and its data events reach the source's recorder.
zeros=$(printf ' 0%.0s' $(seq 1 15))
record=$("$top/build/native/bin/infogenesis-send" "$port_info_recv" RECORD 2>&1)
check "the simulator library holds the connection record (got: $record)" \
  equals "$record" "RECORD 127.0.0.1 7001 $port_info_recv 1 2$zeros"
info_text='SMOKE 32 TOTAL 4.50 EUR'
printf '%s' "$info_text" >"$work/info.piece"
: >"$work/received-info.bin"
"$top/build/native/bin/dvrsim" "127.0.0.1:$port_info_out" --password 'smoke three' --retry-ms 60000 \
  --out "$work/received-info.bin" --quiet >"$work/dvrsim-info.log" 2>&1 &
answer=$("$top/build/native/bin/infogenesis-send" "$port_info_recv" DATA 2 "$info_text" 2>&1)
check "the simulator library took the DATA command (got: $answer)" equals "$answer" OK
check "the DATA command's text arrives byte for byte at the Infogenesis source's recorder" \
  wait_for 60 received_is_pieces "$work/received-info.bin" 0 "$work/info.piece"

# The network source: the 32-bit possim.exe as the till, the 32-bit dvrsim.exe as its recorder.
tillvox_sample_receipt 77 >"$work/net.piece"
net_size=$(stat -c %s "$work/net.piece")
"$wine32" "$win/bin/dvrsim.exe" "127.0.0.1:$port_net_out" --password 'smoke four' --retry-ms 120000 \
  --max-bytes "$net_size" --out "$(winepath_of "$work/received-net.bin")" --quiet \
  >"$work/dvrsim-net.log" 2>&1 </dev/null &
recorder=$!
"$wine32" "$win/bin/possim.exe" "127.0.0.1:$port_net_in" "$(winepath_of "$work/net.piece")" --retry-ms 60000 --quiet \
  >"$work/possim.log" 2>&1 </dev/null &
till=$!
check "possim.exe sent its receipt and ended with 0" ended_with_0 "$till" 120
check "dvrsim.exe received as many bytes as were sent and ended with 0" ended_with_0 "$recorder" 120
check "the receipt possim.exe sent arrives byte for byte at dvrsim.exe" \
  received_is_pieces "$work/received-net.bin" 0 "$work/net.piece"

phase "a clean close"
"$wine32" "$win/bin/closeprogram.exe" "$exe_win" 30000 >"$work/closeprogram.log" 2>&1 </dev/null
closed=$?
check "closeprogram.exe closed it (exit code $closed)" equals "$closed" 0
check "Tillvox.exe ended by itself with exit code 0" ended_with_0 "$program" 30
check "its TCP printer port is free again" wait_for 10 not tillvox_port_listens "$port_file_tcp"

# --- the windows -------------------------------------------------------------
phase "the main window and a source dialog"
shots=$base/screenshots
# Visible top-level windows with a caption, one X window id a line (a tooltip has none).
visible_windows() { xdotool search --onlyvisible --name '.' 2>/dev/null | sort; }
# The main window's caption begins with the program's name; the rest is the language file's.
main_window() { xdotool search --onlyvisible --name '^Tillvox' 2>/dev/null | head -n 1; }
main_shown() { [ -n "$(main_window)" ]; }
# A screenshot of the display once its windows have finished drawing (two in a row
# alike: under emulation a dialog takes a while to paint), showing more than a
# handful of colours.
screenshot() {
  local file=$1 previous=$work/previous-shot.png tries
  import -window root "$previous" 2>/dev/null || return 1
  for tries in $(seq 1 20); do
    sleep 0.5
    import -window root "$file" 2>/dev/null || return 1
    [ "$(compare -metric AE "$previous" "$file" null: 2>&1)" = 0 ] && break
    cp "$file" "$previous"
  done
  [ "$(identify -format '%k' "$file" 2>/dev/null)" -gt 8 ]
}
"$wine32" "$program_dir/Tillvox.exe" /Service >"$work/program-window.log" 2>&1 </dev/null &
program=$!
check "the main window is shown" wait_for 120 main_shown
check "a screenshot of the main window" screenshot "$shots/main-window.png"
main=$(main_window)
before=$(visible_windows)
# A double click on a row of the source list opens that source's dialog. Its four
# rows lie about a fifth down the window (the list begins below the buttons and
# its header; the details of the selected source fill the lower half); each miss
# tries a little lower or higher.
open_source_dialog() {
  local geometry width height percent
  geometry=$(xdotool getwindowgeometry --shell "$main" 2>/dev/null)
  width=$(sed -n 's/^WIDTH=//p' <<<"$geometry")
  height=$(sed -n 's/^HEIGHT=//p' <<<"$geometry")
  [ -n "$width" ] && [ -n "$height" ] || return 1
  for percent in 21 19 24 17 27 30; do
    xdotool mousemove --window "$main" $((width / 3)) $((height * percent / 100)) \
      click --repeat 2 --delay 80 1 2>/dev/null
    wait_for 6 new_window && return 0
  done
  return 1
}
new_window() { [ -n "$(comm -13 <(printf '%s\n' "$before") <(visible_windows))" ]; }
check "a double click on a source opens its dialog" open_source_dialog
check "a screenshot of the source dialog" screenshot "$shots/source-dialog.png"
dialog=$(comm -13 <(printf '%s\n' "$before") <(visible_windows) | head -n 1)
# Escape cancels the dialog, as a user would leave it.
[ -n "$dialog" ] && xdotool windowfocus --sync "$dialog" key Escape 2>/dev/null
check "Escape closes the source dialog" wait_for 10 not new_window
"$wine32" "$win/bin/closeprogram.exe" "$exe_win" 30000 >>"$work/closeprogram.log" 2>&1 </dev/null
closed=$?
check "closeprogram.exe closed the window (exit code $closed)" equals "$closed" 0
check "Tillvox.exe ended by itself with exit code 0" ended_with_0 "$program" 30
check "the sources are unchanged by the cancelled dialog" \
  equals "$(tillvox_ini_get "$settings" Setup1 Port)" "TCP($port_file_tcp)"

# --- setup -------------------------------------------------------------------
phase "the 32-bit setup program"
if [ -z "$setup" ]; then
  check "the 32-bit setup program was built" false
else
  timeout 600 "$wine32" "$setup" /S >"$work/setup.log" 2>&1 </dev/null
  rc=$?
  check "$(basename "$setup") /S ends with exit code 0 (got $rc)" equals "$rc" 0
  inst='C:\Program Files\Orvane\Tillvox'
  inst_unix=$(tillvox_unix_path "$WINEPREFIX" "$inst")
  check "Tillvox.exe installed into $inst, the build's own" same_file "$inst_unix/Tillvox.exe" "$win/bin/Tillvox.exe"
  check "dvrsim.exe installed, the build's own" same_file "$inst_unix/dvrsim.exe" "$win/bin/dvrsim.exe"
  check "the uninstaller installed" has_file "$inst_unix/uninstall.exe"
  # The installed program has no Infogenesis library beside it; the other sources start.
  rm -f "$work/received-tcp.bin"; : >"$work/received-tcp.bin"
  "$top/build/native/bin/dvrsim" "127.0.0.1:$port_file_tcp" --password 'smoke one' --retry-ms 120000 \
    --out "$work/received-tcp.bin" --quiet >"$work/dvrsim-installed.log" 2>&1 &
  "$wine32" "$inst_unix/Tillvox.exe" /Monitor >"$work/program-installed.log" 2>&1 </dev/null &
  program=$!
  check "the installed program listens on the file source's TCP printer port" \
    wait_for 120 tillvox_port_listens "$port_file_tcp"
  check "the installed program forwards a receipt byte for byte" \
    deliver_receipt "$till_tcp" "$work/received-tcp.bin" 0 installed
  "$wine32" "$win/bin/closeprogram.exe" "$inst\\Tillvox.exe" 30000 >>"$work/closeprogram.log" 2>&1 </dev/null
  closed=$?
  check "closeprogram.exe closed the installed program (exit code $closed)" equals "$closed" 0
  check "the installed program ended by itself with exit code 0" ended_with_0 "$program" 30
  # As the registered quiet-uninstall command runs: "_?=" must stand unquoted, last.
  printf '@"%s\\uninstall.exe" /S _?=%s\r\n@exit /b %%ERRORLEVEL%%\r\n' "$inst" "$inst" >"$work/uninstall.bat"
  timeout 300 "$wine32" cmd /c "$(winepath_of "$work/uninstall.bat")" >>"$work/setup.log" 2>&1 </dev/null
  rc=$?
  check "the silent uninstall ends with exit code 0 (got $rc)" equals "$rc" 0
  check "the program is removed" not has_file "$inst_unix/Tillvox.exe"
fi

elapsed=$((SECONDS - started_at))
how="natively"
[ "$route" = emulated ] && how="under qemu-i386"
if [ $failures -ne 0 ]; then
  echo "smoke-32bit: $failures of $checks checks FAILED ($how, $elapsed s); logs in $work"
  exit 1
fi
echo "smoke-32bit: all $checks checks passed ($how, $elapsed s); screenshots in $shots"
