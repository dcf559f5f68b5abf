#!/usr/bin/env bash
# The production line's figures, as whole processes, beside their targets:
#  1. start-up of `lumacrest-cli checksum` without an image (median of 20 runs, under 10 ms);
#  2. `lumacrest-cli --flash big.hex checksum` against `srec_cat big.hex -intel -o /dev/null
#     -binary` on an 825 KB HEX file of 300000 data bytes, run alternately (ratio of the
#     medians of 20, under 0.5);
#  3. four simulated programmers paced at 115200 baud programmed at once against one (wall
#     time within 5 %);
#  4. the same with sixteen in one process (--port COM1,...,COM16), and what the boxes say of
#     the byte rate they kept.
# Usage: bench/production_line.sh [PROGRAM_DIR]   (default: build/bin)
set -euo pipefail
bin="$(realpath "${1:-build/bin}")"
work="$(mktemp -d)"
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; wait 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
dir="$work/prog"
mkdir -p "$dir"
cp "$bin"/lumacrest-cli "$bin"/Config.dat "$bin"/*.cfg "$dir"/
cli="$dir/lumacrest-cli"

now_us() { local t=${EPOCHREALTIME/./}; echo "$t"; }
median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
timed() {  # timed COMMAND...: microseconds of the whole process
  local start end
  start=$(now_us); "$@" > /dev/null 2>&1 || true; end=$(now_us)
  echo $((end - start))
}
alternate() {  # alternate N A B: runs the functions A and B alternately N times; sets a and b
  : > "$work/a"; : > "$work/b"
  for _ in $(seq "$1"); do timed "$2" >> "$work/a"; timed "$3" >> "$work/b"; done
  a=$(median < "$work/a"); b=$(median < "$work/b")
}
ms() { awk -v t="$1" -v d="$2" 'BEGIN {printf "%.*f", d, t / 1000}'; }
verdict() { awk -v v="$1" -v t="$2" 'BEGIN {print (v < t) ? "met" : "MISSED"}'; }

# 1. Start-up.
for _ in $(seq 20); do timed "$cli" checksum; done > "$work/startup"
startup_ms=$(median < "$work/startup" | awk '{printf "%.1f", $1 / 1000}')
printf '%-58s %8s ms   target < 10 ms   %s\n' "start-up, lumacrest-cli checksum (median of 20)" \
  "$startup_ms" "$(verdict "$startup_ms" 10)"

# 2. A big HEX file against srec_cat.
head -c 300000 /dev/urandom > "$work/big.bin"
srec_cat "$work/big.bin" -binary -offset 0x4000 -o "$work/big.hex" -intel -output_block_size=16
size_kb=$(( $(stat -c %s "$work/big.hex") / 1000 ))
ours() { "$cli" --flash "$work/big.hex" checksum; }
theirs() { srec_cat "$work/big.hex" -intel -o /dev/null -binary; }
alternate 20 ours theirs
ratio=$(awk -v a="$a" -v b="$b" 'BEGIN {printf "%.2f", a / b}')
printf '%-58s %8s      target < 0.5     %s\n' \
  "${size_kb} KB HEX: lumacrest-cli $(ms "$a" 1) ms / srec_cat $(ms "$b" 1) ms" \
  "$ratio" "$(verdict "$ratio" 0.5)"

# 3. Four (and 4. sixteen) paced programmers at once against one.
head -c 16000 /dev/urandom > "$work/image.bin"
srec_cat "$work/image.bin" -binary -offset 0x4000 -o "$work/image.hex" -intel
: > "$dir/Ports.dat"
for n in $(seq 16); do
  "$bin/lumacrest-sim" --link "$work/com$n" --baud 115200 > "$work/com$n.log" 2>&1 &
  pids+=($!)
  printf 'COM%d %s\n' "$n" "$work/com$n" >> "$dir/Ports.dat"
done
for n in $(seq 16); do for _ in $(seq 100); do [[ -e "$work/com$n" ]] && break; sleep 0.05; done; done
update() { "$cli" --port "$1" --mcu MN101EF51A_IAP --flash "$work/image.hex" --options erase,flash -q update; }
one() { update COM1; }
four() { update COM1,COM2,COM3,COM4; }
sixteen() { update "$(seq -s, -f 'COM%g' 16)"; }
alternate 3 one four
slower=$(awk -v a="$b" -v b="$a" 'BEGIN {printf "%.1f", (a / b - 1) * 100}')
printf '%-58s %7s %%      target < 5 %%      %s\n' \
  "4 paced programmers $(ms "$b" 0) ms / one $(ms "$a" 0) ms: slower by" \
  "$slower" "$(verdict "$slower" 5)"
alternate 3 one sixteen
ratio=$(awk -v a="$b" -v b="$a" 'BEGIN {printf "%.3f", a / b}')
printf '%-58s %8s      target <= 1.05   %s\n' \
  "16 paced programmers $(ms "$b" 0) ms / one $(ms "$a" 0) ms" \
  "$ratio" "$(awk -v v="$ratio" 'BEGIN {print (v <= 1.05) ? "met" : "MISSED"}')"
grep -h "paced .* bytes at" "$work/com1.log" | tail -1 | sed 's/^lumacrest-sim: /box COM1, last run: /'
