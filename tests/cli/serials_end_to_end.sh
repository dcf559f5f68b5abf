#!/usr/bin/env bash
# Serial numbers as a production line draws them: lumacrest-cli runs Updates with Program SN
# against lumacrest-sim boxes on pseudo-terminals, all from one station's ledger. No number is
# on two chips, none is issued again after a kill, a given-back one is issued again first, two
# products keep their own numbers, a range refuses before anything is sent.
# Usage: serials_end_to_end.sh PROGRAM_DIR   (the build's bin folder with both programs)
set -uo pipefail
bin="$(realpath "$1")"
src="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(mktemp -d)"
chmod 755 "$work"
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; wait 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
passed=0 failed=0
check() {  # check NAME CONDITION...
  local name="$1"; shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $name"; fi
}

dir="$work/prog"
mkdir -p "$dir"
cp "$bin"/lumacrest-cli "$src"/res/Config.dat "$src"/res/*.cfg "$dir"/
start_sim() {  # start_sim N [options...]: a box on COMn
  local n="$1"; shift
  "$bin/lumacrest-sim" --link "$work/com$n" --dump "$work/chip$n" "$@" > "$work/com$n.log" 2>&1 &
  pids+=($!)
  until [[ -e "$work/com$n" ]]; do kill -0 "${pids[-1]}" 2>/dev/null || { cat "$work/com$n.log"; exit 1; }; sleep 0.05; done
  printf 'COM%s %s\n' "$n" "$work/com$n" >> "$dir/Ports.dat"
}
for n in 3 4 5; do start_sim "$n"; done
start_sim 6 --fault verify-differs:0x18:1:0
start_sim 7 --baud 115200
head -c 2048 /dev/urandom > "$work/image.bin"
head -c 40000 /dev/urandom > "$work/big.bin"
cli() { "$dir/lumacrest-cli" "$@"; }
update() {  # update PORTS NUMBER [options...]: an Update writing NUMBER (as asked) at 0x10
  local ports="$1" sn="$2"; shift 2
  cli --port "$ports" --mcu MN101EF51A_IAP --flash "$work/image.bin" --flash-at 0 --options erase,flash,sn --sn "$sn" \
      --sn-at 0x10 "$@" update
}
on_chip() { od -An -tu4 --endian=big -j16 -N4 "$work/chip$1.flash" | tr -d ' '; }
frames() { grep -c '^rx' "$work/com$1.log"; }

# 1. Three runs without --save-config, each asking for 700: three numbers, the log says why.
got=()
for i in 1 2 3; do
  update COM3 700 > "$work/out1-$i.txt" 2>&1
  check "run $i exits 0" test $? -eq 0
  got+=("$(on_chip 3)")
done
check "three runs, three numbers" test "${got[*]}" = "700 701 702"
check "the log names the number issued before" \
  grep -Eqx "Serial number 700 was issued on [0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:]{8} UTC; 701 is used" "$work/out1-2.txt"
check "Config.dat untouched" cmp -s "$dir/Config.dat" "$src/res/Config.dat"
check "the ledger beside Config.dat" test -s "$dir/serials.db"

# 2. Two processes at once, and three ports in one process, asking for the same numbers.
update COM3 800 > /dev/null 2>&1 & a=$!
update COM4 800 > /dev/null 2>&1 & b=$!
wait $a; sa=$?
wait $b; sb=$?
check "two processes pass" test "$sa$sb" = 00
check "two processes, two numbers" test "$(printf '%s\n' "$(on_chip 3)" "$(on_chip 4)" | sort -n | tr '\n' ' ')" = "800 801 "
update COM3,COM4,COM5 900 > "$work/out2.txt" 2>&1
check "three ports pass" test $? -eq 0
check "three ports, three numbers" \
  test "$(printf '%s\n' "$(on_chip 3)" "$(on_chip 4)" "$(on_chip 5)" | sort -n | tr '\n' ' ')" = "900 901 902 "

# 3. A given-back number is issued again first; the history shows both issues.
update COM6 1100 > /dev/null 2>&1
check "verify fault exits 1" test $? -eq 1
update COM3 1100 > /dev/null 2>&1
check "the given-back number goes on the next chip" test "$(on_chip 3)" = 1100
cli --json serials 1100 > "$work/out3.txt" 2>&1
check "history: given back, then programmed" \
  test "$(grep -o '"number":1100,"status":"[a-z ]*"' "$work/out3.txt" | cut -d'"' -f6 | tr '\n' ',')" = "given back,programmed,"

# 4. Killed with SIGKILL once its number reached the box: that number is never issued again.
"$dir/lumacrest-cli" --port COM7 --mcu MN101EF51A_IAP --flash "$work/big.bin" --flash-at 0 --options erase,flash,sn \
    --sn 1200 --sn-at 0x10 update > /dev/null 2>&1 & c=$!
for _ in $(seq 400); do [[ $(grep -c "rx 0x13" "$work/com7.log") -ge 3 ]] && break; sleep 0.025; done
kill -9 "$c"; wait "$c" 2>/dev/null
check "the killed run's box took blocks" test "$(grep -c "rx 0x13" "$work/com7.log")" -ge 3
cli --json serials 1200 > "$work/out4.txt" 2>&1
check "the killed run's number is unknown" grep -q '"number":1200,"status":"unknown"' "$work/out4.txt"
update COM3 1200 > /dev/null 2>&1
check "the next chip gets the number after it" test "$(on_chip 3)" = 1201
check "sqlite3 reads the ledger" test "$(sqlite3 "$dir/serials.db" "SELECT status FROM serials WHERE number = 1200")" = unknown

# 5. Two products with their own numbers on one station: neither moves the other.
got=()
for sn in 5000 70000 5000 70000; do update COM3 "$sn" > /dev/null 2>&1; got+=("$(on_chip 3)"); done
check "two number spaces" test "${got[*]}" = "5000 70000 5001 70001"

# 6. A range: a number outside it, and a range used up, are refused before anything is sent.
cli --serial-range 9000-9001 serials > "$work/out6.txt" 2>&1
check "the range is kept" grep -qx "Range: 9000-9001, 2 numbers left" "$work/out6.txt"
before=$(frames 3)
update COM3 100 > "$work/out6a.txt" 2> "$work/err6a.txt"
check "outside the range exits 1" test $? -eq 1
check "outside the range: the log says what is left" \
  grep -qx "Program SN refused: serial number 100 lies outside this station's range 9000-9001 (2 numbers left)" "$work/out6a.txt"
check "outside the range: nothing sent" test "$(frames 3)" -eq "$before"
got=()
for i in 1 2; do update COM3 9000 > /dev/null 2>&1; got+=("$(on_chip 3)"); done
check "the range's numbers" test "${got[*]}" = "9000 9001"
before=$(frames 3)
update COM3 9000 > /dev/null 2> "$work/err6b.txt"
check "a range used up exits 1" test $? -eq 1
check "a range used up says so" grep -q "range 9000-9001 is used up (0 numbers left), nothing programmed" "$work/err6b.txt"
check "a range used up: nothing sent" test "$(frames 3)" -eq "$before"
cli --serial-range none --sn 9000 serials > "$work/out6c.txt" 2>&1
check "the range is ended" grep -qx "Range: none" "$work/out6c.txt"
check "the next free number" grep -qx "Next free number from 9000: 9002" "$work/out6c.txt"
cli --json --last 2 serials > "$work/out6d.txt" 2>&1
check "serials --json" grep -Eq '^\{"ledger":"[^"]*/serials.db","range":null,"asked":[0-9]+,"next":[0-9]+,"rows":\[\{"number":9000,.*\{"number":9001,"status":"programmed",.*"run_id":"[0-9a-f]{32}"\}\]\}$' "$work/out6d.txt"
cli --json serials > /dev/full 2> "$work/err6e.txt"
check "a listing that cannot be written exits 1" test $? -eq 1
check "a listing that cannot be written says why" grep -q "cannot write the listing" "$work/err6e.txt"

# 7. A path with a line break: saved as no path, every other setting kept, the log says so.
odd="$work/odd
name.bin"
cp "$work/image.bin" "$odd"
cp "$dir/Config.dat" "$work/Config.saved"
cli --mcu MN101EF51A_IAP --flash "$work/image.bin" --flash-at 0 --save-config checksum > /dev/null 2>&1
lines=$(wc -l < "$dir/Config.dat")
cli --mcu MN101EF51A_IAP --flash "$odd" --flash-at 0 --save-config checksum > "$work/out7.txt" 2>&1
check "odd path run exits 0" test $? -eq 0
check "Config.dat keeps its lines" test "$(wc -l < "$dir/Config.dat")" -eq "$lines"
check "the path line says no path" test "$(sed -n 4p "$dir/Config.dat")" = 'W\:'
check "the MCU is kept" test "$(sed -n 2p "$dir/Config.dat")" = MN101EF51A_IAP
check "the log names the path not kept" grep -q 'Config.dat does not keep the flash file path ".*odd\\nname.bin": it holds a line break' "$work/out7.txt"
cp "$work/Config.saved" "$dir/Config.dat"

# 8. Two operators of an installed tree (other uids, the dialout group) draw in turn from the
# station's ledger in var/lib/lumacrest.
if [[ $(id -u) -eq 0 ]] && getent group dialout > /dev/null; then
  root="$work/root"
  mkdir -p "$root/usr/bin" "$root/usr/share/lumacrest" "$root/var/lib/lumacrest"
  cp "$bin/lumacrest-cli" "$bin/lumacrest-sim" "$root/usr/bin/"
  cp "$src"/res/*.dat "$src"/res/*.cfg "$root/usr/share/lumacrest/"
  chown root:dialout "$root/var/lib/lumacrest"
  chmod 2775 "$root/var/lib/lumacrest"
  bash "$src/tests/package/check_ledger.sh" "$root" > "$work/out8.txt" 2>&1
  check "two operators of an installed tree" test $? -eq 0
  grep FAILED "$work/out8.txt"
else
  echo "SKIPPED: two operators of an installed tree (needs root and a dialout group)"
fi

echo "$passed passed, $failed failed"
test "$failed" -eq 0
