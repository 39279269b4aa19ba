#!/bin/sh
# expect_output.sh REGEX COMMAND...: runs the command, shows its output, and
# passes only when it exits 0 and its output matches REGEX.
regex=$1
shift
out=$("$@" 2>&1)
rc=$?
printf '%s\n' "$out"
if [ $rc -ne 0 ]; then
  echo "expect_output: exit code $rc" >&2
  exit 1
fi
printf '%s\n' "$out" | grep -E -q -- "$regex" || { echo "expect_output: no line matches /$regex/" >&2; exit 1; }
