#!/usr/bin/env bash
# The station's scale: rounds of an Update on 16 tiles against 16 simulated programmers paced at
# 115200 baud against the same on one tile (ratio of the median round times, target at most
# 1.05), and how long a key waits while the 16 run (target 50 ms), in one window without a
# display.
# Usage: bench/station_scale.sh [BUILD_DIR [ROUNDS]]   (default: build, 3)
set -euo pipefail
build="$(realpath "${1:-build}")"
rounds="${2:-3}"
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
chmod 700 "$XDG_RUNTIME_DIR"
run() { "$build/bench/station_bench" "$build/bin/lumacrest-sim" "$1" "$rounds" 115200 2>/dev/null; }
one="$(run 1)"
sixteen="$(run 16)"
t1=$(awk '/^round_ms/ {print $2}' <<< "$one")
t16=$(awk '/^round_ms/ {print $2}' <<< "$sixteen")
read -r kmed k95 kmax < <(awk '/^key_ms/ {print $2, $3, $4}' <<< "$sixteen")
echo "1 tile:   round ${t1} ms ($(awk '/^runs/ {print $2 " runs, " $4 " passed"}' <<< "$one"))"
echo "16 tiles: round ${t16} ms ($(awk '/^runs/ {print $2 " runs, " $4 " passed"}' <<< "$sixteen"))"
awk -v a="$t16" -v b="$t1" 'BEGIN {r = a / b; printf "ratio %.3f (target <= 1.05): %s\n", r, r <= 1.05 ? "met" : "missed"}'
awk -v m="$kmed" -v p="$k95" -v x="$kmax" \
  'BEGIN {printf "key while 16 run: median %.2f ms, 95th %.2f ms, max %.2f ms (target 50 ms): %s\n", m, p, x, x <= 50 ? "met" : "missed"}'
