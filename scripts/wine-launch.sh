#!/usr/bin/env bash
# Starts a test program for CTest: wine-launch.sh <wine> <program> [arguments]
# Under load Wine now and then fails to start a process at all, before any of
# its code runs: "ShellExecuteEx failed: Internal error." Such a start is tried
# again, twice at most. Once the program runs, its output and exit code are
# passed on unchanged.
set -u
errors=$(mktemp) || exit 1
trap 'rm -f "$errors"' EXIT
for attempt in 1 2 3; do
  # Standard output goes straight on; standard error also into $errors.
  { "$@" 2>&1 1>&3 3>&- | tee "$errors" >&2 3>&-; } 3>&1
  status=${PIPESTATUS[0]}
  if [ "$attempt" -lt 3 ] && grep -q "ShellExecuteEx failed: Internal error" "$errors"; then
    echo "wine-launch.sh: Wine could not start the program (attempt $attempt); trying again" >&2
    sleep 1
    continue
  fi
  exit "$status"
done
