#!/usr/bin/env bash
# The examples of the manual pages, run as they stand with the programs of ROOT first on the
# PATH and a fresh home each: those of lumacrest-sim(1) on their own, those of
# lumacrest-cli(1) with COM3 and COM4 mapped to simulated programmers, as its EXAMPLES say,
# and an image.hex in the folder. A line after "# needs a programmer ..." is not run. Then the
# bench script and the command-line examples of the README against three simulated
# programmers.
# Usage: check_examples.sh ROOT (an installed or unpacked lumacrest-cli package)
set -uo pipefail
root="$(realpath "$1")"
src="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(mktemp -d)"
sims=()
cleanup() {
  for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
failed=0

examples() {  # examples PAGE: the EXAMPLES block of PAGE as shell lines
  gzip -dc "$root/usr/share/man/man1/$1.1.gz" |
    awk '/^\.SH EXAMPLES/ {ex = 1; next} /^\.SH/ {ex = 0}
         ex && /^\.nf/ {on = 1; next} ex && /^\.fi/ {on = 0}
         on && skip {print "# (not run) " $0; skip = 0; next}
         on && /^# needs a programmer/ {skip = 1}
         on {print}' |
    sed 's/\\-/-/g; s/\\e/\\/g'
}
run() {  # run PAGE HOME: its examples, in one shell
  local page="$1" home="$2" script="$work/$1.sh"
  { echo 'set -euo pipefail'
    echo 'trap '"'"'kill $(jobs -p) 2>/dev/null || true'"'"' EXIT'
    examples "$page"; } > "$script"
  echo "---- $page(1) EXAMPLES"
  sed 1,2d "$script"
  # An unpacked or scratch-root tree has no /var/lib/lumacrest: the serial-number ledger of
  # the examples is the home's own.
  (cd "$home/cwd" && env -i PATH="$root/usr/bin:/usr/bin:/bin" HOME="$home" \
     LUMACREST_SERIALS="$home/serials.db" timeout 300 bash "$script") \
    > "$work/$page.out" 2>&1
  local status=$?
  sed 's/^/    /' "$work/$page.out"
  if [[ $status -ne 0 ]]; then echo "FAILED: the examples of $page(1) exit $status"; failed=1; fi
}

# lumacrest-sim(1): they start their own simulator.
mkdir -p "$work/sim-home/cwd"
run lumacrest-sim "$work/sim-home"

# lumacrest-cli(1): two simulated programmers as COM3 and COM4.
home="$work/cli-home"
mkdir -p "$home/cwd"
for n in 3 4; do
  "$root/usr/bin/lumacrest-sim" --link "$home/com$n" > "$work/sim$n.log" 2>&1 &
  sims+=($!)
done
for n in 3 4; do
  for _ in $(seq 100); do [[ -e "$home/com$n" ]] && break; sleep 0.1; done
done
env -i HOME="$home" "$root/usr/bin/lumacrest-cli" ports > /dev/null
sed -i "1i COM3 $home/com3\nCOM4 $home/com4" "$home/.local/share/lumacrest/Ports.dat"
head -c 4096 /dev/urandom > "$work/image.bin"
srec_cat "$work/image.bin" -binary -offset 0x4000 -o "$home/cwd/image.hex" -intel
run lumacrest-cli "$home"
grep -q '"outcome":"pass"' "$home/cwd/runs.jsonl" 2>/dev/null ||
  { echo "FAILED: no passed run recorded"; failed=1; }

# The README's bench script: three simulated programmers as COM3, COM4 and COM5 in the bench's
# Ports.dat, an image.hex there, one round of boards, then the end of the input.
for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
sims=()
home="$work/bench-home"
mkdir -p "$home/bench"
for n in 3 4 5; do
  "$root/usr/bin/lumacrest-sim" --link "$home/com$n" > "$work/bench-sim$n.log" 2>&1 &
  sims+=($!)
  echo "COM$n $home/com$n" >> "$home/bench/Ports.dat"
done
for n in 3 4 5; do
  for _ in $(seq 100); do [[ -e "$home/com$n" ]] && break; sleep 0.1; done
done
cp "$home/../cli-home/cwd/image.hex" "$home/bench/image.hex"
awk '/^    #!\/usr\/bin\/env bash$/ {on = 1} on && !/^    / && !/^$/ {exit} on' "$src/README.md" |
  sed 's/^    //' > "$work/bench.sh"
echo "---- README: the bench script"
cat "$work/bench.sh"
(cd "$home" && env -i PATH="$root/usr/bin:/usr/bin:/bin" HOME="$home" timeout 300 bash "$work/bench.sh" <<< "") \
  > "$work/bench.out" 2>&1
status=$?
sed 's/^    //; s/^/    /' "$work/bench.out"
if [[ $status -ne 0 ]]; then echo "FAILED: the bench script exits $status"; failed=1; fi
grep -qx "3 of 3 passed" "$home/bench/logs/round-1.log" 2>/dev/null ||
  { echo "FAILED: the bench's first round did not pass on three ports"; failed=1; }

# The README's command-line examples "from build/bin": a folder with lumacrest-cli and its data
# files beside it (a program directory of its own, as build/bin is), COM3, COM4 and COM5 mapped
# to the three simulated programmers in the lines that come first, main.hex, boot.hex and
# image.hex there.
readme_block() {  # readme_block LINE: the indented block that follows the README's LINE
  awk -v start="$1" 'index($0, start) == 1 {found = 1; next}
       found && /^    / {on = 1; print; next}
       found && on && !/^$/ {exit}
       found && on {print}' "$src/README.md" | sed 's/^    //' |
    awk '/^# needs a programmer/ {print "# (not run) " $0; getline; print "# (not run) " $0; next}
         {print}'
}
portable="$home/portable"
mkdir -p "$portable"
cp "$root/usr/bin/lumacrest-cli" "$root/usr/share/lumacrest/Config.dat" "$root/usr/share/lumacrest/"*.cfg "$portable/"
{ for n in 3 4 5; do echo "COM$n $home/com$n"; done; cat "$root/usr/share/lumacrest/Ports.dat"; } > "$portable/Ports.dat"
cp "$home/bench/image.hex" "$portable/image.hex"
cp "$home/bench/image.hex" "$portable/main.hex"
srec_cat "$work/image.bin" -binary -offset 0x4000 -crop 0x4000 0x5000 -o "$portable/boot.hex" -intel
for block in "Examples (from \`build/bin\`" "Several programmers run in one process"; do
  { echo 'set -euo pipefail'; readme_block "$block"; } > "$work/block.sh"
  echo "---- README: $block"
  sed 1d "$work/block.sh"
  (cd "$portable" && env -i PATH="/usr/bin:/bin" HOME="$home" timeout 300 bash "$work/block.sh") \
    > "$work/block.out" 2>&1
  status=$?
  sed 's/^/    /' "$work/block.out"
  if [[ $status -ne 0 ]]; then echo "FAILED: the README's examples after \"$block\" exit $status"; failed=1; fi
done
for f in chip.bin job.Prjt out.hex runs.jsonl; do
  [[ -s "$portable/$f" ]] || { echo "FAILED: the README's examples made no $f"; failed=1; }
done

[[ $failed -eq 0 ]] && echo "examples: passed"
exit "$failed"
