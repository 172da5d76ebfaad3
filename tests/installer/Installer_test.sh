#!/usr/bin/env bash
# The setup program under Wine, in a Wine prefix of this test's own: silent install
# with the startup agent service, the installed program started without full rights
# and started again by the agent, receipts written before and after the recorder
# logs in arriving byte for byte at the installed dvrsim, upgrades over the running
# program, the auto-run switch, silent uninstall with and without the data folder.
#
# usage: Installer_test.sh SETUP.exe TOOLS-FOLDER
# TOOLS-FOLDER holds runlimited.exe and controltext.exe of the same build.
# Runs the setup program of the build this machine's Wine can run (TILLVOX_WINE).
set -uo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
source "$top/scripts/env.sh"
tillvox_pick_wine

setup=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
bin=$(dirname "$setup")
version=$(basename "$setup" .exe)
version=${version#TillvoxSetup-}
tools=$(cd "${2:?usage: Installer_test.sh SETUP.exe TOOLS-FOLDER}" && pwd)
tools_win="Z:${tools//\//\\}"
bin_win="Z:${bin//\//\\}"
work=$(dirname "$bin")/installer-test
rm -rf "$work"
mkdir -p "$work"

export WINEPREFIX=$work/wineprefix
export WINEDEBUG=-all
# No menu entries or file associations of the test prefix on this machine's desktop.
export WINEDLLOVERRIDES="winemenubuilder.exe=d"
[ -n "${DISPLAY:-}" ] || tillvox_start_display

failures=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1; shift
  if "$@"; then
    echo "ok   $what"
  else
    echo "FAIL $what"
    failures=$((failures + 1))
  fi
}

started=()  # Unix process ids of the Wine processes this test started
cleanup() {
  local pid
  for pid in "${started[@]}"; do kill "$pid" 2>/dev/null || true; done
  # Once the programs it started are gone, the prefix's server ends by itself.
  WINEPREFIX=$WINEPREFIX timeout 30 wineserver -w 2>/dev/null || true
  [ "${TILLVOX_KEEP_INSTALLER_TEST:-}" = 1 ] || rm -rf "$work"
}
trap cleanup EXIT

# Programs started in the background are started without this function, so that $! is
# the Wine process itself.
winrun() { "$TILLVOX_WINE" "$@"; }

# The data of NAME under KEY as reg.exe shows it; fails when there is no such value.
reg_get() {
  local key=$1 name=$2 out
  out=$(winrun reg query "$key" /v "$name" 2>/dev/null | tr -d '\r') || return 1
  printf '%s\n' "$out" | awk -v n="$name" '
    { line = $0; sub(/^ +/, "", line)
      if (index(line, n " ") == 1) { rest = substr(line, length(n) + 1); sub(/^ +REG_[A-Z_]+ +/, "", rest); print rest; found = 1; exit } }
    END { exit !found }'
}
reg_has_key() { winrun reg query "$1" >/dev/null 2>&1; }

# Waits up to SECONDS for COMMAND to succeed.
wait_for() {
  local seconds=$1; shift
  local end=$((SECONDS + seconds))
  while [ $SECONDS -lt $end ]; do "$@" && return 0; sleep 0.25; done
  "$@"
}
not() { ! "$@"; }
same_file() { cmp -s "$1" "$2"; }
has_file() { [ -f "$1" ]; }
has_dir() { [ -d "$1" ]; }
equals() { [ "$1" = "$2" ]; }
alive() { kill -0 "$1" 2>/dev/null; }

# Runs the setup program (or the uninstaller) and keeps its exit code in $rc.
# Its output goes to a file: a program it starts must not hold this script's pipes.
run_setup() {
  winrun "$@" >>"$work/setup.log" 2>&1 </dev/null
  rc=$?
}
# Runs a command line exactly as written (as Windows runs a registered command), through a batch file.
run_command_line() {
  printf '@%s\r\n@exit /b %%ERRORLEVEL%%\r\n' "$1" >"$work/command.bat"
  run_setup cmd /c "Z:${work//\//\\}\\command.bat"
}

# An English system, whatever this machine's locale is.
LANG=C LC_ALL=C tillvox_make_prefix "$WINEPREFIX"
# A prefix's services (the startup agent) run only while one of its programs runs;
# a program waiting on a pipe keeps the prefix up, as a logged-on Windows is.
mkfifo "$work/keepalive"
exec 9<>"$work/keepalive"
"$TILLVOX_WINE" cmd /c pause <"$work/keepalive" >/dev/null 2>&1 &
started+=("$!")
# The 32-bit Program Files folder; a 32-bit Windows has only the one.
pf86=$(winrun cmd /c 'echo %ProgramFiles(x86)%' 2>/dev/null | tr -d '\r')
[[ $pf86 == %* ]] && pf86=$(winrun cmd /c 'echo %ProgramFiles%' 2>/dev/null | tr -d '\r')
inst="$pf86\\Orvane\\Tillvox"
inst_unix=$(tillvox_unix_path "$WINEPREFIX" "$inst")
data_unix="$WINEPREFIX/drive_c/ProgramData/Orvane/Tillvox"
settings="$data_unix/FileMapPOS.ini"
menu_entry="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Tillvox.lnk"
uninst_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tillvox'
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
# The command text the program's own auto-run box writes for this executable.
run_command="\"$inst\\Tillvox.exe\" -\"Monitor\""
files=(Tillvox.exe TillvoxAgent.exe Tillvox.xml dvrsim.exe ReadMe.txt uninstall.exe)
svc_key='HKLM\System\CurrentControlSet\Services\OrvaneStartupAgent'
event_key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Tillvox'
agent_log="$inst_unix/TillvoxAgent.log"
# The state sc.exe shows for the agent's service (RUNNING, STOPPED, ...); fails when there is none.
service_state() {
  local out
  out=$(winrun sc query OrvaneStartupAgent 2>/dev/null | tr -d '\r') || return 1
  printf '%s\n' "$out" | awk '$1 == "STATE" { print $4; found = 1 } END { exit !found }'
}
service_runs() { [ "$(service_state)" = RUNNING ]; }
no_service() { ! service_state >/dev/null && ! reg_has_key "$svc_key"; }
log_count() { grep -c "$1" "$agent_log" 2>/dev/null || true; }
# Closes the installed program as a user would; its exit code in $rc.
close_program() { run_setup "$bin_win\\closeprogram.exe" "$inst\\Tillvox.exe" 30000; }
has_main_window() { winrun "$tools_win\\controltext.exe" "$inst\\Tillvox.exe" 1004 >/dev/null 2>&1; }
[ -f "$bin/possim.exe" ] && files+=(possim.exe)

echo "== pages in the program's language"
# An interactive setup shows its first page; Wine names its X window after the page's caption.
brand="$WINEPREFIX/drive_c/windows/ORVANEBRAND.INI"
window_shown() { xwininfo -root -tree 2>/dev/null | grep -qF "\"$1\": ("; }
setup_caption_is() {  # setup_caption_is CAPTION: the setup's window appears with that caption
  local caption=$1 pid shown=1
  "$TILLVOX_WINE" "$setup" >>"$work/setup.log" 2>&1 </dev/null &
  pid=$!
  started+=("$pid")
  wait_for 30 window_shown "$caption" && shown=0
  [ $shown -eq 0 ] || xwininfo -root -tree 2>/dev/null | grep -F '": (' >&2
  # Cancelled at the first page, before anything is installed.
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  wait_for 10 not window_shown "$caption"
  return $shown
}
check "English pages on an English system" setup_caption_is "Tillvox Setup"
printf '[General]\r\nLang=GEM\r\n' >"$brand"
check "German pages when ORVANEBRAND.INI sets Lang=GEM" setup_caption_is "Installation von Tillvox"
printf '[General]\r\nLang=HUN\r\n' >"$brand"
check "English pages for a language whose texts the program does not carry (HUN)" \
  setup_caption_is "Tillvox Setup"
rm -f "$brand"

echo "== silent install"
# The shops' usual case: the 32-bit setup on 64-bit Windows, whose first start
# of the 32-bit agent can be slower than the service manager waits.
check "the prefix is a 64-bit Windows, made afresh for this test" grep -q '^#arch=win64' "$WINEPREFIX/system.reg"
run_setup "$setup" /S
check "setup /S ends with exit code 0 (got $rc)" equals "$rc" 0
for f in "${files[@]}"; do check "$f installed" has_file "$inst_unix/$f"; done
check "Tillvox.exe is the build's" same_file "$inst_unix/Tillvox.exe" "$bin/Tillvox.exe"
check "TillvoxAgent.exe is the build's" same_file "$inst_unix/TillvoxAgent.exe" "$bin/TillvoxAgent.exe"
check "dvrsim.exe is the build's" same_file "$inst_unix/dvrsim.exe" "$bin/dvrsim.exe"
check "Tillvox.xml is the program's language file" same_file "$inst_unix/Tillvox.xml" "$top/lang/Tillvox.xml"
check "Start menu entry" has_file "$menu_entry"
# The shortcut holds its target's path, in the ANSI or the UTF-16 form.
link_names() {
  python3 - "$1" "$2" <<'EOF'
import sys
data, path = open(sys.argv[1], 'rb').read(), sys.argv[2]
sys.exit(0 if path.encode('latin-1') in data or path.encode('utf-16-le') in data else 1)
EOF
}
check "Start menu entry starts the installed program" link_names "$menu_entry" "$inst\\Tillvox.exe"
for pair in "DisplayName=Tillvox" "DisplayVersion=$version" "Publisher=Orvane" \
            "DisplayIcon=$inst\\Tillvox.exe,0" "InstallLocation=$inst" \
            "UninstallString=\"$inst\\uninstall.exe\" _?=$inst" \
            "QuietUninstallString=\"$inst\\uninstall.exe\" /S _?=$inst"; do
  name=${pair%%=*}
  check "registered $name" equals "$(reg_get "$uninst_key" "$name")" "${pair#*=}"
done
size=$(reg_get "$uninst_key" EstimatedSize)
check "registered EstimatedSize in KB ($size)" [ $((size)) -ge $(( $(stat -c %s "$bin/Tillvox.exe") / 1024 )) ]
check "no Run value without the auto-run switch" not reg_get "$run_key" Kassimo
check "the event source's message file is the installed Tillvox.exe" \
  equals "$(reg_get "$event_key" EventMessageFile)" "$inst\Tillvox.exe"
check "the event source supports errors, warnings and information" equals "$(reg_get "$event_key" TypesSupported)" 0x7
check "no settings file written" not has_file "$settings"
check "the startup agent service runs" service_runs
check "it starts with Windows" equals "$(reg_get "$svc_key" Start)" 0x2
check "it runs as LocalSystem" equals "$(reg_get "$svc_key" ObjectName)" LocalSystem
check "it runs the installed TillvoxAgent.exe" equals "$(reg_get "$svc_key" ImagePath)" "\"$inst\\TillvoxAgent.exe\""
check "its display name" equals "$(reg_get "$svc_key" DisplayName)" "Tillvox Startup Agent"
check "its description says what it is for" grep -q "without a consent prompt" <<<"$(reg_get "$svc_key" Description)"

port=$(tillvox_free_port)
receipts_win='C:\ProgramData\Orvane\Tillvox\receipts.txt'
receipts=$(tillvox_unix_path "$WINEPREFIX" "$receipts_win")
tillvox_write_demo_settings "$settings" "$port" secret "$receipts_win"
: >"$receipts"

receipt_no=0
recorder=
# Writes the next receipt to the watched file in one write, keeping a copy to compare with.
write_receipt() {
  receipt_no=$((receipt_no + 1))
  tillvox_sample_receipt "$receipt_no" >"$work/receipt-$receipt_no.txt"
  cat "$work/receipt-$receipt_no.txt" >>"$receipts"
}
# Starts the installed dvrsim as the recorder; what it receives goes to FILE.
start_recorder() {
  : >"$1"
  "$TILLVOX_WINE" "$inst\\dvrsim.exe" "127.0.0.1:$port" --password secret --retry-ms 30000 \
    --out "Z:${1//\//\\}" --quiet >>"$work/dvrsim.log" 2>&1 </dev/null &
  recorder=$!
  started+=("$recorder")
}
stop_recorder() { kill "$recorder" 2>/dev/null; wait "$recorder" 2>/dev/null; }
# True when FILE holds receipts FIRST..LAST as written, in order, and nothing else,
# ended by the zero byte that ends a piece; with AGAIN not empty, receipt AGAIN may
# come first once more (a chunk unacknowledged when the recorder went is sent again).
# Two receipts written at once may be captured as one piece: the zero byte between
# them is the capture's, not the till's, and is not counted.
received_exactly() {
  python3 - "$work" "$@" <<'EOF'
import sys
work, path, again, first, last = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), int(sys.argv[5])
receipt = lambda n: open('%s/receipt-%d.txt' % (work, n), 'rb').read()
want = b''.join(receipt(n) for n in range(first, last + 1))
got = open(path, 'rb').read()
text = got.replace(b'\0', b'')
whole = got.endswith(b'\0')
sys.exit(0 if whole and (text == want or (again and text == receipt(int(again)) + want)) else 1)
EOF
}
show_received() { echo "  $1: $(stat -c %s "$1") bytes received; receipts up to $receipt_no written" >&2; }
# The main window's Start button says Stop once capture has started (the file is watched).
capturing() { [ "$(winrun "$tools_win\\controltext.exe" "$inst\\Tillvox.exe" 1004 2>/dev/null | tr -d '\r')" = Stop ]; }

# Receipts written once each, before a recorder logs in, after it did, and while none
# is logged in, arrive at the recorders byte for byte and in order, none lost.
deliver_receipts() {
  local base=$1 first=$((receipt_no + 1)) ok=0
  wait_for 30 capturing || { echo "  capture did not start" >&2; return 1; }
  write_receipt; write_receipt
  start_recorder "$base-a.bin"
  if wait_for 40 received_exactly "$base-a.bin" "" "$first" $((first + 1)); then
    write_receipt
    wait_for 40 received_exactly "$base-a.bin" "" "$first" $((first + 2)) && ok=1
  fi
  [ $ok = 1 ] || show_received "$base-a.bin"
  stop_recorder
  [ $ok = 1 ] || return 1
  write_receipt; write_receipt
  start_recorder "$base-b.bin"
  wait_for 40 received_exactly "$base-b.bin" $((first + 2)) $((first + 3)) $((first + 4)) || ok=0
  [ $ok = 1 ] || show_received "$base-b.bin"
  stop_recorder
  [ $ok = 1 ]
}

echo "== started without full rights, the program is started again by the startup agent"
# As Windows starts it at logon for an administrator under user account control: with
# the limited half of the token. It queues its request, ends, and the agent starts it.
run_setup "$tools_win\\runlimited.exe" "$inst\\Tillvox.exe" -Monitor
check "the limited start asked the agent and ended by itself (exit code $rc)" equals "$rc" 0
check "the agent's instance listens on the source's port" wait_for 30 tillvox_port_listens "$port"
check "the agent started the installed Tillvox.exe in monitor mode" \
  grep -qF "AP0 started: \"$inst\\Tillvox.exe\" /Service /Monitor" "$agent_log"
check "the request queue is empty again" \
  equals "$(tr -d '\r' <"$WINEPREFIX/drive_c/ProgramData/Orvane/OrvaneStartupAgent.ini")" "$(printf '[Startup]\nCount=0')"
check "receipts written before and after the recorder logs in arrive byte for byte" deliver_receipts "$work/received-1"
close_program
check "the agent's instance closes as a user closes it (exit code $rc)" equals "$rc" 0

"$TILLVOX_WINE" "$inst\\Tillvox.exe" /Monitor >>"$work/program.log" 2>&1 </dev/null &
program=$!
started+=("$program")
check "the installed program listens on the source's port" wait_for 30 tillvox_port_listens "$port"

echo "== a program that does not answer is left as it is"
# Stopped, it cannot answer the close request: the setup must give up after its bounded
# wait, fail, and replace nothing under it.
changed_before=$(stat -c %Z "$inst_unix/Tillvox.exe")
kill -STOP "$program"
run_setup "$setup" /S /AUTORUN
check "setup /S over a program that does not close fails with exit code 2 (got $rc)" equals "$rc" 2
check "the program was not ended" alive "$program"
check "Tillvox.exe not rewritten" equals "$(stat -c %Z "$inst_unix/Tillvox.exe")" "$changed_before"
check "no Run value written" not reg_get "$run_key" Kassimo
kill -CONT "$program"
# The close request the setup left in its queue is handled once it runs again:
# it ends as on a user's close, and is started anew for the next step.
check "the program ends on the close request it got while frozen" wait_for 30 not alive "$program"
wait "$program" 2>/dev/null || true
"$TILLVOX_WINE" "$inst\\Tillvox.exe" /Monitor >>"$work/program.log" 2>&1 </dev/null &
program=$!
started+=("$program")
check "the program started again listens" wait_for 30 tillvox_port_listens "$port"

echo "== install with the auto-run switch over the running program"
run_setup "$setup" /S /AUTORUN
check "setup /S /AUTORUN ends with exit code 0 (got $rc)" equals "$rc" 0
check "the running program was closed" wait_for 3 not alive "$program"
wait "$program"
code=$?
check "it ended by itself, with exit code 0 (got $code)" equals "$code" 0
check "Run value Kassimo holds the program's own command text" \
  equals "$(reg_get "$run_key" Kassimo)" "$run_command"
check "[AutoExecute] AutoExecute=1 in FileMapPOS.ini" \
  equals "$(tillvox_ini_get "$settings" AutoExecute AutoExecute)" 1
check "the sources in FileMapPOS.ini are kept" \
  equals "$(tillvox_ini_get "$settings" Setup1 "File Path")" "$receipts_win"
check "the program runs again and listens" wait_for 30 tillvox_port_listens "$port"
check "the restarted program captures again, byte for byte" deliver_receipts "$work/received-2"

echo "== install over the running program"
agent_starts_before=$(log_count 'started; serves')
agent_stops_before=$(log_count ' stopped')
cp "$settings" "$work/settings-before.ini"
run_value_before=$(reg_get "$run_key" Kassimo)
# The restarted program is not this script's child: it is seen through its port.
run_setup "$setup" /S
check "setup /S over the running program ends with exit code 0 (got $rc)" equals "$rc" 0
check "FileMapPOS.ini kept byte for byte" same_file "$settings" "$work/settings-before.ini"
check "Run value kept" equals "$(reg_get "$run_key" Kassimo)" "$run_value_before"
check "the agent was stopped and started again" \
  equals "$(log_count ' stopped') $(log_count 'started; serves')" "$((agent_stops_before + 1)) $((agent_starts_before + 1))"
check "the startup agent service runs after the upgrade" service_runs
check "the program runs again and listens" wait_for 30 tillvox_port_listens "$port"
check "the restarted program captures again, byte for byte" deliver_receipts "$work/received-3"

echo "== an agent that does not stop is left as it is"
# The Unix process of this prefix's agent (the same program may run in other prefixes).
agent_pid=
for pid in $(pgrep -f 'TillvoxAgent\.exe'); do
  grep -qzx "WINEPREFIX=$WINEPREFIX" "/proc/$pid/environ" 2>/dev/null && agent_pid=$pid
done
check "the agent's process is found" [ -n "$agent_pid" ]
program_changed=$(stat -c %Z "$inst_unix/Tillvox.exe")
agent_changed=$(stat -c %Z "$inst_unix/TillvoxAgent.exe")
[ -n "$agent_pid" ] && kill -STOP "$agent_pid"
run_setup "$setup" /S
[ -n "$agent_pid" ] && kill -CONT "$agent_pid"
check "setup /S over an agent that does not stop fails with exit code 2 (got $rc)" equals "$rc" 2
check "Tillvox.exe not rewritten" equals "$(stat -c %Z "$inst_unix/Tillvox.exe")" "$program_changed"
check "TillvoxAgent.exe not rewritten" equals "$(stat -c %Z "$inst_unix/TillvoxAgent.exe")" "$agent_changed"
check "the program it closed runs again and listens" wait_for 30 tillvox_port_listens "$port"
run_setup "$setup" /S
check "the next setup /S ends with exit code 0 (got $rc)" equals "$rc" 0
check "the startup agent service runs again" service_runs
check "the program runs again and listens" wait_for 30 tillvox_port_listens "$port"

echo "== silent uninstall, keeping the data folder"
quiet=$(reg_get "$uninst_key" QuietUninstallString)
run_command_line "$quiet"
check "uninstall ($quiet) ends with exit code 0 (got $rc)" equals "$rc" 0
check "the running program was closed (its port is free)" wait_for 10 not tillvox_port_listens "$port"
for f in "${files[@]}"; do check "$f removed" wait_for 10 not has_file "$inst_unix/$f"; done
check "program folder removed" wait_for 10 not has_dir "$inst_unix"
check "Start menu entry removed" not has_file "$menu_entry"
check "Run value removed" not reg_get "$run_key" Kassimo
check "uninstall registration removed" not reg_has_key "$uninst_key"
check "event source removed" not reg_has_key "$event_key"
check "no startup agent service left" no_service
check "data folder kept" has_dir "$data_unix"
check "the sources in FileMapPOS.ini kept" \
  equals "$(tillvox_ini_get "$settings" Setup1 "File Path")" "$receipts_win"
check "FileMapPOS.ini no longer claims an auto-run" \
  equals "$(tillvox_ini_get "$settings" AutoExecute AutoExecute)" 0

echo "== silent uninstall with the data folder"
run_setup "$setup" /S
check "setup /S again ends with exit code 0 (got $rc)" equals "$rc" 0
check "nothing started by a fresh install" not tillvox_port_listens "$port"
check "the startup agent service runs again" service_runs
run_setup "$setup" /S /START
check "setup /S /START ends with exit code 0 (got $rc)" equals "$rc" 0
check "/START started the installed program" wait_for 30 has_main_window
# Not set to start with Windows: started with its window, as from the Start menu.
check "not capturing: it was not asked to start with Windows" not tillvox_port_listens "$port"
close_program
check "closed again (exit code $rc)" equals "$rc" 0

echo "== the setup's last page starts Tillvox"
setup_win="Z:${setup//\//\\}"
# Text of control CONTROL (an id or its text) of the setup's window; with click, clicks it.
setup_control() { winrun "$tools_win\\controltext.exe" "$setup_win" "$@" 2>/dev/null | tr -d '\r'; }
shows() { setup_control "$1" >/dev/null; }
# Clicks the main button of each page and waits for a text of the next page:
# the welcome page, the folder, the auto-run box, then (installed) the last page.
setup_pages() {
  local next
  for next in "Destination Folder" "Start with Windows and begin capturing at once" "Start Tillvox now"; do
    setup_control 1 click >/dev/null || return 1
    wait_for 60 shows "$next" || { echo "no page with \"$next\"" >&2; return 1; }
  done
}
"$TILLVOX_WINE" "$setup" >>"$work/setup.log" 2>&1 </dev/null &
setup_pid=$!
started+=("$setup_pid")
check "the interactive setup shows its first page" wait_for 30 shows "&Next >"
check "Next, Next and Install lead to the last page" setup_pages
check "the last page offers \"Start Tillvox now\", ticked" equals "$(setup_control "Start Tillvox now" check)" 1
setup_control 1 click >/dev/null
rc=none
wait_for 30 not alive "$setup_pid" && { wait "$setup_pid"; rc=$?; }
check "Finish ends the setup with exit code 0 (got $rc)" equals "$rc" 0
check "Finish with the box ticked started Tillvox" wait_for 30 has_main_window
check "with its window, not capturing: it was not set to start with Windows" not tillvox_port_listens "$port"
quiet=$(reg_get "$uninst_key" QuietUninstallString)
run_command_line "${quiet/ _?=/ /REMOVEDATA _?=}"
check "uninstall /S /REMOVEDATA ends with exit code 0 (got $rc)" equals "$rc" 0
check "program folder removed" wait_for 10 not has_dir "$inst_unix"
check "data folder removed" not has_dir "$data_unix"
check "uninstall registration removed" not reg_has_key "$uninst_key"
check "no startup agent service left" no_service

if [ $failures -ne 0 ]; then
  echo "$failures check(s) failed; setup log: $work/setup.log"
  TILLVOX_KEEP_INSTALLER_TEST=1
  exit 1
fi
echo "all checks passed"
