# Shell functions shared by the run and test commands (sourced, not run).

# True when this machine runs 32-bit x86 Linux programs, as wine32 needs.
# Some virtual machines run only 64-bit ones; there the Windows side is built
# and tested as 64-bit programs under wine64, and the 32-bit product is only built.
tillvox_runs_32bit() {
  if [ -z "${TILLVOX_RUNS_32BIT:-}" ]; then
    local dir
    dir=$(mktemp -d)
    printf '.globl _start\n_start:\n movl $1, %%eax\n xorl %%ebx, %%ebx\n int $0x80\n' >"$dir/t.s"
    if as --32 "$dir/t.s" -o "$dir/t.o" 2>/dev/null && ld -m elf_i386 "$dir/t.o" -o "$dir/t" 2>/dev/null \
       && "$dir/t" 2>/dev/null; then
      TILLVOX_RUNS_32BIT=1
    else
      TILLVOX_RUNS_32BIT=0
    fi
    rm -rf "$dir"
    export TILLVOX_RUNS_32BIT
  fi
  [ "$TILLVOX_RUNS_32BIT" = 1 ]
}

# Chooses the Windows build that Wine can run here: sets TILLVOX_WINE (the
# loader to start programs with), TILLVOX_WIN_BUILD (its build folder) and
# TILLVOX_WIN_TOOLCHAIN (its CMake toolchain file), relative to the top folder.
tillvox_pick_wine() {
  if tillvox_runs_32bit; then
    TILLVOX_WINE=wine
    TILLVOX_WIN_BUILD=build/win
    TILLVOX_WIN_TOOLCHAIN=cmake/mingw-i686.cmake
  else
    TILLVOX_WINE=/usr/lib/wine/wine64
    TILLVOX_WIN_BUILD=build/win64
    TILLVOX_WIN_TOOLCHAIN=cmake/mingw-x86_64.cmake
  fi
  export TILLVOX_WINE TILLVOX_WIN_BUILD TILLVOX_WIN_TOOLCHAIN
}

# Makes a Wine prefix once; a prefix must be made after wine32 is installed.
tillvox_make_prefix() {
  local prefix=$1
  tillvox_pick_wine
  tillvox_boot_prefix "$prefix" "$TILLVOX_WINE" || return 1
  tillvox_prefix_settings "$prefix"
}

# Boots the Wine prefix PREFIX with the loader WINE unless it was made whole
# before. A prefix counts as made only once wineboot ended well and its server
# shut down: the marker file .tillvox-made says so. A prefix without it is
# half made (wineboot failed, timed out or was interrupted) and is made anew.
# The first Wine start on a fresh machine builds caches and can fail; wineboot
# is tried twice, and what it said is shown when it fails.
tillvox_boot_prefix() {
  local prefix=$1 wine=$2 log try started
  [ -f "$prefix/.tillvox-made" ] && return 0
  log=$(mktemp)
  for try in 1 2; do
    # A server still serving a half-made prefix ends by itself once its programs have.
    [ -d "$prefix" ] && WINEPREFIX="$prefix" timeout 60 wineserver -w 2>/dev/null
    rm -rf "$prefix"
    mkdir -p "$prefix"
    started=$SECONDS
    if WINEPREFIX="$prefix" WINEDEBUG=fixme-all WINEDLLOVERRIDES="mscoree,mshtml=${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}" \
         timeout 300 "$wine" wineboot -i >"$log" 2>&1 \
       && WINEPREFIX="$prefix" timeout 120 wineserver -w \
       && [ -s "$prefix/system.reg" ] && [ -s "$prefix/user.reg" ]; then
      echo "Wine prefix $prefix made in $((SECONDS - started)) s"
      touch "$prefix/.tillvox-made"
      rm -f "$log"
      return 0
    fi
    echo "warning: making the Wine prefix $prefix failed after $((SECONDS - started)) s (try $try of 2); wineboot said:" >&2
    tail -n 40 "$log" >&2
  done
  rm -f "$log"
  echo "error: the Wine prefix $prefix could not be made" >&2
  return 1
}

# Settings a prefix needs to show the windows as a Windows PC does, applied
# once per prefix (a marker file records the version applied):
# - Wine's own fonts (Marlett draws the caption buttons) in the prefix's Fonts
#   folder, also when the prefix was made before they were installed;
# - the faces the dialogs ask for (Arial, Tahoma, MS Shell Dlg, ...) replaced by
#   the metric-compatible Liberation Sans, the CJK faces by Noto Sans CJK, and
#   DejaVu Sans (Arabic, Hebrew) and Noto Sans CJK linked behind them for the
#   characters Liberation Sans lacks;
# - Thai from Loma: Wine draws Thai without font links, so a Thai text needs a
#   face with Thai letters itself; Tahoma asked for with the Thai character
#   set, as the program asks for it, gets Loma (Wine's own Tahoma has no Thai);
#   likewise Arial with the Arabic or Hebrew set gets DejaVu Sans: letters from
#   a linked face are drawn, but not joined as Arabic writes them;
# - the captions', menus' and message boxes' font Tahoma, as on Windows, not
#   "MS Shell Dlg": Wine maps that to Liberation Sans under the Arabic and Hebrew
#   code pages, and a bold caption then draws no Arabic or Hebrew letters;
# - top-level windows not managed by an X window manager: on a bare virtual
#   display there is none, and hiding a managed window then waits two seconds
#   for a window manager's answer each time a dialog or message box closes.
TILLVOX_PREFIX_SETTINGS_VERSION=7
tillvox_prefix_settings() {
  local prefix=$1 marker="$1/.tillvox-settings"
  [ "$(cat "$marker" 2>/dev/null)" = "$TILLVOX_PREFIX_SETTINGS_VERSION" ] && return 0
  mkdir -p "$prefix/drive_c/windows/Fonts"
  local f
  for f in /usr/share/wine/fonts/*; do
    [ -e "$f" ] && cp -n "$f" "$prefix/drive_c/windows/Fonts/" 2>/dev/null
  done
  local reg
  reg=$(mktemp --suffix=.reg)
  python3 - "$reg" <<'PY'
import sys
latin = ["Arial", "Tahoma", "MS Shell Dlg", "MS Shell Dlg 2", "MS Sans Serif", "Microsoft Sans Serif",
         "Segoe UI", "Verdana"]
cjk = ["SimSun", "\u5b8b\u4f53", "\u65b0\u7d30\u660e\u9ad4", "NSimSun", "SimHei", "Microsoft YaHei", "PMingLiU",
       "MingLiU", "Microsoft JhengHei", "MS UI Gothic", "MS Gothic", "MS PGothic", "Meiryo", "Gulim", "Dotum",
       "Malgun Gothic"]
links = ["DejaVuSans.ttf,DejaVu Sans", "NotoSansCJK-Regular.ttc,Noto Sans CJK SC"]
# Arial without Arabic and Hebrew behind it: asked for with their character set it must give way to DejaVu Sans.
arial = ["Arial", "Liberation Sans"]
arial_links = ["NotoSansCJK-Regular.ttc,Noto Sans CJK SC"]
def multi(values):
    data = "".join(v + "\0" for v in values) + "\0"
    return "hex(7):" + ",".join("%02x" % b for b in data.encode("utf-16-le"))
lines = ["Windows Registry Editor Version 5.00", "",
         "[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]"]
lines += ['"%s"="Liberation Sans"' % f for f in latin]
lines += ['"%s"="Noto Sans CJK SC"' % f for f in cjk]
lines += ["", "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink]"]
lines += ['"%s"=%s' % (f, multi(arial_links if f in arial else links)) for f in latin + ["Liberation Sans"]]
lines += ["", "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes]",
          '"Tahoma,222"="Loma,222"', '"Arial,178"="DejaVu Sans,178"', '"Arial,177"="DejaVu Sans,177"']
def logfont(face, weight):
    import struct
    data = struct.pack("<lllllBBBBBBBB", -11, 0, 0, 0, weight, 0, 0, 0, 0, 0, 0, 0, 0x22)
    data += face.encode("utf-16-le").ljust(64, b"\0")
    return "hex:" + ",".join("%02x" % b for b in data)
lines += ["", "[HKEY_CURRENT_USER\\Control Panel\\Desktop\\WindowMetrics]",
          '"CaptionFont"=%s' % logfont("Tahoma", 700)]
lines += ['"%s"=%s' % (key, logfont("Tahoma", 400)) for key in ["SmCaptionFont", "MenuFont", "StatusFont", "MessageFont", "IconFont"]]
lines += ["", "[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]", '"Managed"="N"', ""]
with open(sys.argv[1], "wb") as out:
    out.write(b"\xff\xfe" + "\r\n".join(lines).encode("utf-16-le"))
PY
  WINEPREFIX="$prefix" WINEDEBUG=-all timeout 120 "$TILLVOX_WINE" regedit /S "$(winepath_of "$reg")" >/dev/null 2>&1 || true
  WINEPREFIX="$prefix" timeout 60 wineserver -w || true
  rm -f "$reg"
  echo "$TILLVOX_PREFIX_SETTINGS_VERSION" >"$marker"
}

# A Linux path as Wine's Z: drive names it.
winepath_of() {
  printf 'Z:%s' "$(printf '%s' "$1" | tr '/' '\\')"
}

# Starts a virtual X display for this run unless TILLVOX_USE_DISPLAY asks for
# the user's own, and exports DISPLAY. Each display started is ended when the
# script ends.
tillvox_start_display() {
  if [ -n "${TILLVOX_USE_DISPLAY:-}" ] && [ -n "${DISPLAY:-}" ]; then return; fi
  local log number pid n _
  log=$(mktemp)
  number=$(mktemp)
  # Xvfb picks a free display number itself and writes it once it serves it:
  # several runs and tests start displays at once, and a number chosen here
  # could be taken by another between the look and the start.
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$number" >"$log" 2>&1 &
  pid=$!
  for _ in $(seq 1 100); do
    [ -s "$number" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  n=$(tr -dc '0-9' <"$number")
  rm -f "$number"
  if [ -z "$n" ] || ! kill -0 "$pid" 2>/dev/null; then
    kill "$pid" 2>/dev/null || true
    echo "error: the virtual display (Xvfb) did not start; its last words:" >&2
    cat "$log" >&2
    rm -f "$log"
    exit 1
  fi
  rm -f "$log"
  TILLVOX_XVFB_PIDS="${TILLVOX_XVFB_PIDS:-} $pid"
  export DISPLAY=":$n"
  trap 'tillvox_stop_display' EXIT
}

tillvox_stop_display() {
  local pid
  for pid in ${TILLVOX_XVFB_PIDS:-}; do kill "$pid" 2>/dev/null || true; done
  TILLVOX_XVFB_PIDS=
}

# Builds one benchmark program and runs it under Wine in the test prefix.
tillvox_run_bench() {
  local target=$1; shift
  local top
  top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  "$top/scripts/install-deps.sh"
  tillvox_pick_wine
  cmake -S "$top" -B "$top/$TILLVOX_WIN_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$top/$TILLVOX_WIN_TOOLCHAIN" >/dev/null
  cmake --build "$top/$TILLVOX_WIN_BUILD" --target "bench_$target" >/dev/null
  # A prefix of the benchmarks' own: never the tests' or the demo's.
  tillvox_make_prefix "$top/build/bench-prefix"
  WINEPREFIX="$top/build/bench-prefix" WINEDEBUG=-all "$TILLVOX_WINE" "$top/$TILLVOX_WIN_BUILD/bench/bench_$target.exe" "$@"
}

# Starts the Wine server of $WINEPREFIX for a test run, its output into the
# file LOG, and waits (at most 20 s) until it takes connections. It stays 10 s
# past its last program: a test starting just as the server of an idle prefix
# shuts down can fail to start. It runs as a job of this script, not as a
# daemon in a session of its own: a session leader with no terminal takes the
# first terminal it opens as its own, a COM port pair's pseudo-terminal, and
# when that pair closes the hang-up makes the server dump all its objects.
tillvox_start_wineserver() {
  local log=$1 _
  wineserver -f -p10 >"$log" 2>&1 </dev/null &
  TILLVOX_WINESERVER_PID=$!
  for _ in $(seq 1 200); do
    [ -S "$(tillvox_wineserver_socket)" ] && return 0
    kill -0 "$TILLVOX_WINESERVER_PID" 2>/dev/null || break
    sleep 0.1
  done
  # A server of this prefix that already ran keeps serving the tests.
  [ -S "$(tillvox_wineserver_socket)" ] && return 0
  echo "error: the Wine server did not start; its last words:" >&2
  tail -5 "$log" >&2
  return 1
}

# The socket a Wine server of $WINEPREFIX listens on. Debian's Wine keeps it in
# a folder of a random name, which the server writes into the prefix.
tillvox_wineserver_socket() {
  local dir=".wine-$(id -u)"
  [ -f "$WINEPREFIX/wineserver" ] && dir=$(cat "$WINEPREFIX/wineserver")
  printf '/tmp/%s/server-%s-%x/socket' "$dir" "$(stat -c %D "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")"
}

# Keeps the Wine session of $WINEPREFIX up until tillvox_release_wine_session
# or the end of this script: its server, services and desktop process, started
# here with no test's output. A program that starts one of them passes its
# output on to it, and ctest counts a test until every process holding its
# output is gone. HOLDER is the holder program, which says "ready" into OUT.
tillvox_hold_wine_session() {
  local holder=$1 out=$2 fifo fd _
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  rm -f "$out"
  WINEDEBUG=-all "$TILLVOX_WINE" "$holder" <"$fifo" >"$out" 2>&1 &
  exec {fd}>"$fifo"
  rm -f "$fifo"
  TILLVOX_SESSION_FDS="${TILLVOX_SESSION_FDS:-} $fd"
  for _ in $(seq 1 300); do
    grep -q ready "$out" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "error: the Wine session holder did not get ready: $(cat "$out" 2>/dev/null)" >&2
  return 1
}

# Lets every session held by tillvox_hold_wine_session end.
tillvox_release_wine_session() {
  local fd
  for fd in ${TILLVOX_SESSION_FDS:-}; do
    echo end >&"$fd" || true
    exec {fd}>&-
  done
  TILLVOX_SESSION_FDS=
}

# Copies the whole prefix FROM (its server gone) to TO, anew. The system's
# own libraries (system32, syswow64: over a gigabyte, which nothing changes)
# are hard links to FROM's; everything Wine or a test may change, the registry
# and the data folders among them, is the copy's own.
tillvox_copy_prefix() {
  local from=$1 to=$2 d
  [ -d "$to" ] && WINEPREFIX="$to" timeout 60 wineserver -w 2>/dev/null
  rm -rf "$to"
  mkdir -p "$to"
  tar -C "$from" --exclude=./drive_c/windows/system32 --exclude=./drive_c/windows/syswow64 -cf - . \
    | tar -C "$to" -xf - || return 1
  for d in system32 syswow64; do
    [ -d "$from/drive_c/windows/$d" ] && { cp -al "$from/drive_c/windows/$d" "$to/drive_c/windows/$d" || return 1; }
  done
  return 0
}

# Sets up COUNT test slots, each a Wine prefix with a display, server and
# session holder of its own, for tests that use the program's data folder,
# start the program or show its windows: ctest gives such a test one slot of
# the resource "prefix" at a time (described in $TILLVOX_RESOURCE_SPEC), and
# tests/support/in-test-slot.sh runs it there from the slot's file in
# $TILLVOX_SLOTS_DIR. Slot 1 is PREFIX itself on the caller's display
# (DISPLAY), whose server the caller starts after this; slots 2.. are fresh
# copies of it, made while its server is not running.
# HOLDER is the session holder program; LOGS the folder for the servers' logs.
tillvox_start_test_slots() {
  local prefix=$1 count=$2 holder=$3 logs=$4 i copy slots main_display slot_display
  export TILLVOX_SLOTS_DIR=$logs/test-slots
  export TILLVOX_RESOURCE_SPEC=$TILLVOX_SLOTS_DIR/resources.json
  rm -rf "$TILLVOX_SLOTS_DIR"
  mkdir -p "$TILLVOX_SLOTS_DIR"
  printf 'WINEPREFIX=%q\nDISPLAY=%q\n' "$prefix" "$DISPLAY" >"$TILLVOX_SLOTS_DIR/1"
  slots='{"id": "1", "slots": 1}'
  for i in $(seq 2 "$count"); do
    copy=$prefix-$i
    tillvox_copy_prefix "$prefix" "$copy" || { echo "error: could not copy the Wine prefix to $copy" >&2; return 1; }
    main_display=$DISPLAY
    tillvox_start_display
    slot_display=$DISPLAY
    export DISPLAY=$main_display
    printf 'WINEPREFIX=%q\nDISPLAY=%q\n' "$copy" "$slot_display" >"$TILLVOX_SLOTS_DIR/$i"
    WINEPREFIX=$copy DISPLAY=$slot_display tillvox_start_wineserver "$logs/wineserver-$i.log" || return 1
    WINEPREFIX=$copy DISPLAY=$slot_display tillvox_hold_wine_session "$holder" "$logs/session-holder-$i.out" || return 1
    TILLVOX_SLOT_PREFIXES="${TILLVOX_SLOT_PREFIXES:-} $copy"
    slots="$slots, {\"id\": \"$i\", \"slots\": 1}"
  done
  printf '{"version": {"major": 1, "minor": 0}, "local": [{"prefix": [%s]}]}\n' "$slots" >"$TILLVOX_RESOURCE_SPEC"
}

# Waits (at most 30 s) for the Wine server of $WINEPREFIX to end by itself,
# once the processes the caller started there are gone. Nothing is killed.
tillvox_wait_wine() {
  local p
  for p in "$WINEPREFIX" ${TILLVOX_SLOT_PREFIXES:-}; do
    WINEPREFIX="$p" timeout 30 wineserver -w 2>/dev/null || true
  done
}

# A free TCP port for a script's program, from 5000-9999: below the ports the
# system gives outgoing connections (another test's connection could take one
# of those before the program binds it) and below the test programs' own picks.
# With TILLVOX_PORT_CLAIMS set (the test command's), the port is also claimed
# for the run there, so that no other script or test program of the run picks it.
tillvox_free_port() {
  python3 - <<'PY'
import os, random, socket
claims = os.environ.get("TILLVOX_PORT_CLAIMS", "")
for _ in range(2000):
    port = random.randint(5000, 9999)
    s = socket.socket()
    try:
        s.bind(("", port))
    except OSError:
        continue
    finally:
        s.close()
    if claims:
        try:
            os.mkdir(os.path.join(claims, str(port)))
        except OSError:
            continue
    print(port)
    break
PY
}

# True when something accepts connections on 127.0.0.1:PORT.
tillvox_port_listens() {
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

# Prints the value of KEY in [SECTION] of a profile (INI) file; empty when missing.
tillvox_ini_get() {
  local file=$1 section=$2 key=$3
  tr -d '\r' <"$file" | awk -v s="[$section]" -v k="$key" '
    /^\[/ { inside = ($0 == s); next }
    inside { i = index($0, "="); if (i && substr($0, 1, i - 1) == k) { print substr($0, i + 1); exit } }'
}

# Turns a path as the program sees it (C:\..., Z:\...) into the Linux path, for prefix PREFIX.
tillvox_unix_path() {
  local prefix=$1 path=$2
  local drive=${path:0:1}
  local rest=${path:2}
  printf '%s/dosdevices/%s:%s\n' "$prefix" "${drive,,}" "${rest//\\//}"
}

# Writes a settings file with one file source delivered over TCP: FILE PORT PASSWORD RECEIPTS.
tillvox_write_demo_settings() {
  local file=$1 port=$2 password=$3 receipts=$4
  mkdir -p "$(dirname "$file")"
  printf '%s\r\n' \
    '[Main]' 'File Number=1' '[Version]' 'version=8.5.7.0' '[Setup1]' \
    'Monitor Type=0' 'Internet Type=0' 'Internet IP=' 'Internet Port=0' \
    "File Path=$receipts" 'POS Index=POS1' 'Printer Type=TCP' "Port=TCP($port)" \
    "Password=$password" 'BaudRate=NULL' 'DataBits=NULL' 'Parity=NULL' 'StopBits=NULL' \
    'Receipt Type=0' >"$file"
}

# Prints receipt number N of a made-up shop, with CRLF line ends as a POS printer driver writes them.
tillvox_sample_receipt() {
  local n=$1
  local items=("Coffee beans 1kg:14.90" "Oat milk:2.35" "Croissant:1.80" "Orange juice:3.10"
               "Dark chocolate:2.49" "Sparkling water:0.95" "Sourdough loaf:4.20")
  local total=0 i item name price cents
  printf 'ORVANE DEMO MARKET           TILL 1\r\n'
  printf 'Receipt %05d      %s\r\n' "$n" "$(date '+%Y-%m-%d %H:%M:%S')"
  printf -- '-----------------------------------\r\n'
  for i in 0 1 2; do
    item=${items[$(( (n * 3 + i) % ${#items[@]} ))]}
    name=${item%%:*}
    price=${item##*:}
    cents=$(( 10#${price/./} ))
    total=$(( total + cents ))
    printf '%-26s %8s\r\n' "$name" "$price"
  done
  printf -- '-----------------------------------\r\n'
  printf '%-26s %5d.%02d\r\n' 'TOTAL EUR' $(( total / 100 )) $(( total % 100 ))
  printf 'Thank you for shopping with us\r\n\r\n'
}
