#!/usr/bin/env bash
# Checks the 32-bit machine code of the program and of the simulator library
# against the adapter library's calling convention (capture/InfogenesisAbi.h):
#   callee side: the implementation pops its own arguments (ret $N), N being
#     4 for RegisterCallback, 332 (0x14c) for Start, 0 for Stop, 16 for OnPosEvent;
#   caller side: `this` is loaded into ECX just before the indirect call, and
#     the caller re-reserves the N bytes the callee popped (sub $N,%esp) right
#     after it, instead of removing them itself.
# Usage: check-thiscall.sh Tillvox.exe InfogenesisPos.dll   (i686 builds)
set -euo pipefail
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
program=$1
library=$2
failed=0

# The instructions of every function whose name matches $2, one per line, as "function<TAB>instruction".
functions() {
  "$objdump" -d -C --no-show-raw-insn "$1" | awk -v pattern="$2" '
    /^[0-9a-f]+ <.*>:$/ { name = $0; sub(/^[0-9a-f]+ </, "", name); sub(/>:$/, "", name); inside = (name ~ pattern); next }
    inside && /^ *[0-9a-f]+:\t/ { sub(/^ *[0-9a-f]+:\t/, ""); print name "\t" $0 }'
}

# Every ret of the functions matching $2 in $1 must be "ret $3" ("ret" alone for 0).
expect_callee() {
  local file=$1 pattern=$2 want=$3 rets
  rets=$(functions "$file" "$pattern" | cut -f2 | sed 's/ *$//' | grep -E '^ret' | sort -u || true)
  if [ -z "$rets" ]; then
    echo "check-thiscall: no function matching '$pattern' in $file"; failed=1; return
  fi
  if [ "$rets" != "$want" ]; then
    echo "check-thiscall: $pattern in $file ends with '$rets', expected '$want'"; failed=1; return
  fi
  echo "check-thiscall: $pattern: callee pops its arguments ($want)"
}

# Some indirect call in the functions matching $2 is preceded (within 8
# instructions) by a write to %ecx and followed (within 2) by "sub $3,%esp".
expect_caller() {
  local file=$1 pattern=$2 bytes=$3 found
  found=$(functions "$file" "$pattern" | cut -f2 | awk -v want="sub    \$$bytes,%esp" '
    { line[NR] = $0 }
    END {
      for (i = 1; i < NR; i++) {
        if (line[i] !~ /^call +\*/) continue
        popped = 0
        for (j = i + 1; j <= i + 2 && j <= NR; j++) if (line[j] == want) popped = 1
        if (!popped) continue
        for (j = i - 1; j >= i - 8 && j >= 1; j--) if (line[j] ~ /,%ecx$/) { print "yes"; exit }
      }
    }')
  if [ "$found" != yes ]; then
    echo "check-thiscall: no call in '$pattern' of $file passes this in ECX with $bytes bytes popped by the callee"
    failed=1; return
  fi
  echo "check-thiscall: $pattern: this in ECX, callee pops $bytes bytes"
}

# A call of the table's third slot (offset 8: Stop, no arguments) through the
# table of the object in ECX, in the functions matching $2.
expect_slot2_caller() {
  local file=$1 pattern=$2 found
  found=$(functions "$file" "$pattern" | cut -f2 | awk '
    { line[NR] = $0 }
    END {
      for (i = 2; i <= NR; i++) {
        if (line[i] !~ /^call +\*0x8\(%e[a-z][a-z]\)$/) continue
        reg = line[i]; sub(/^call +\*0x8\(/, "", reg); sub(/\)$/, "", reg)
        for (j = i - 1; j >= i - 3 && j >= 1; j--) if (line[j] ~ ("^mov +\\(%ecx\\)," reg "$")) { print "yes"; exit }
      }
    }')
  if [ "$found" != yes ]; then
    echo "check-thiscall: no call of slot 2 through the object in ECX in '$pattern' of $file"; failed=1; return
  fi
  echo "check-thiscall: $pattern: slot 2 called with this in ECX"
}

# The library side (the simulator) implements the adapter and calls the handler.
expect_callee "$library" 'CSimAdapter::RegisterCallback\(' 'ret    $0x4'
expect_callee "$library" 'CSimAdapter::Start\(' 'ret    $0x14c'
expect_callee "$library" 'CSimAdapter::Stop\(' 'ret'
expect_caller "$library" 'Flood\(' '0x10'
# The program side calls the adapter and implements the handler.
expect_callee "$program" 'CInfogenesisInput::CConnection::OnPosEvent\(' 'ret    $0x10'
expect_caller "$program" '^CInfogenesisInput::StartConnection\(' '0x14c'
expect_caller "$program" '^CInfogenesisInput::StartConnection\(' '0x4'
expect_slot2_caller "$program" '^CInfogenesisInput::StopConnection\('
# The exports are undecorated.
exports=$("$objdump" -p "$library")
for name in CreatePtr DeletePtr; do
  if ! grep -qE "^\s*\[ *[0-9]+\] ${name}$" <<<"$exports"; then
    echo "check-thiscall: $library does not export $name undecorated"; failed=1
  fi
done
exit $failed
