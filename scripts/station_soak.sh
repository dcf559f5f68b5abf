#!/usr/bin/env bash
# The station's soak: 1000 runs on 4 tiles (250 rounds) against unpaced simulated programmers
# in one window without a display; the resident memory and the open descriptors of the process
# after the first round and at the end.
# Usage: scripts/station_soak.sh [BUILD_DIR [ROUNDS]]   (default: build, 250)
set -euo pipefail
build="$(realpath "${1:-build}")"
rounds="${2:-250}"
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
chmod 700 "$XDG_RUNTIME_DIR"
out="$("$build/bench/station_bench" "$build/bin/lumacrest-sim" 4 "$rounds" 0 2>/dev/null)"
awk '/^runs/ {print "runs " $2 ", passed " $4}
     /^rss_kb/ {print "resident memory: " $2 " kB after the first round, " $3 " kB at the end"}
     /^fds/ {print "open descriptors: " $2 " after the first round, " $3 " at the end"}
     /^round_ms/ {print "median round " $2 " ms"}' <<< "$out"
