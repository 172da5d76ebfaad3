#!/usr/bin/env bash
# Runs a test program with its Unix standard error sent to a file the test
# reads while it runs: under Wine the programs a test starts write there too,
# and Wine's debug channels (the event log's entries among them) with them.
# The file's text is shown on standard error once the program ends.
#   with-stderr-file.sh FILE COMMAND [ARGS...]
set -u
file=${1:?usage: with-stderr-file.sh FILE COMMAND [ARGS...]}
shift
: >"$file"
status=0
"$@" 2>>"$file" || status=$?
cat "$file" >&2
exit $status
