#!/usr/bin/env bash
# Prints, from the output of CTest runs of GoogleTest programs, each failed
# check with the lines that explain it, and the names of the failed tests:
# the end of a long run's output is where a reader looks first.
# Usage: failures_summary.sh LOG...
set -uo pipefail
awk '
  / Failure$/ { shown = 0; inside = 1 }
  inside {
    if (/^\[  (FAILED|     OK|   RUN|SKIPPED) *\]/ || shown >= 25) { inside = 0 }
    else { print; ++shown; next }
  }
  /^\[  FAILED  \] [A-Za-z_0-9\/.]+ \(/ { print }
  /\*\*\*(Failed|Timeout|Exception)/ { print }
' "$@"
