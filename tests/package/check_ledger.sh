#!/usr/bin/env bash
# The serial-number ledger of an installed tree: two operators of the dialout group (other uids
# than root's, neither with dialout as its own group) draw serial numbers in turn from one
# ledger in var/lib/lumacrest, which the folder's setgid bit gives to the group, mode 0660.
# A station ledger already there (serials.db) is only looked at: the users draw from a ledger
# made for the check, removed at the end. Runs as root (setpriv).
# Usage: check_ledger.sh ROOT   (/ for the installed package, or where it was unpacked)
# The simulated box is ROOT/usr/bin/lumacrest-sim, else $LUMACREST_SIM, else the one on PATH.
set -uo pipefail
root="$(realpath "$1")"
sim="$root/usr/bin/lumacrest-sim"
[[ -x "$sim" ]] || sim="${LUMACREST_SIM:-$(command -v lumacrest-sim)}"
if [[ ! -x "$sim" ]]; then echo "check_ledger.sh: no lumacrest-sim to program against"; exit 1; fi
passed=0 failed=0
check() {  # check NAME CONDITION...
  local name="$1"; shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $name"; fi
}
if [[ $(id -u) -ne 0 ]]; then echo "check_ledger.sh: run it as root (the operators are made with setpriv)"; exit 1; fi
gid="$(getent group dialout | cut -d: -f3)"
if [[ -z "$gid" ]]; then echo "check_ledger.sh: no dialout group"; exit 1; fi
folder="$root/var/lib/lumacrest"
check "the station folder is there" test -d "$folder"
if [[ -e "$folder/serials.db" ]]; then
  check "the station's ledger is mode 0660" test "$(stat -c %a "$folder/serials.db")" = 660
  check "the station's ledger belongs to dialout" test "$(stat -c %G "$folder/serials.db")" = dialout
fi

if ! setpriv --reuid=65534 --regid=65534 --groups="$gid" -- test -x "$root/usr/bin/lumacrest-cli" -a -x "$sim" \
     -a -w "$folder"; then
  echo "check_ledger.sh: an operator cannot reach $root/usr/bin/lumacrest-cli, $sim or write in $folder" \
       "(every folder above them must be open to others, the station folder to dialout)"
  exit 1
fi
work="$(mktemp -d)"
chmod 755 "$work"
ledger="$folder/serials-check-$$.db"
sims=()
trap 'for p in "${sims[@]}"; do kill "$p" 2>/dev/null; done; wait 2>/dev/null; rm -rf "$work" "$ledger" "$ledger-wal" "$ledger-shm"' EXIT
head -c 1024 /dev/urandom > "$work/image.bin"
chmod 644 "$work/image.bin"

numbers=()
for uid in 65534 65533; do
  home="$work/home$uid"
  mkdir "$home"
  chown "$uid:65534" "$home"
  as=(setpriv --reuid="$uid" --regid=65534 --groups="$gid" --)
  "${as[@]}" "$sim" --link "$home/box" --dump "$home/chip" > "$work/sim$uid.log" 2>&1 &
  sims+=($!)
  for _ in $(seq 200); do [[ -e "$home/box" ]] && break; sleep 0.05; done
  env -u XDG_DATA_HOME HOME="$home" LUMACREST_SERIALS="$ledger" "${as[@]}" "$root/usr/bin/lumacrest-cli" \
    --port "$home/box" --mcu MN101EF51A_IAP --flash "$work/image.bin" --flash-at 0 \
    --options erase,flash,sn --sn 100 --sn-at 0x10 update > "$work/out$uid.txt" 2>&1
  status=$?
  check "user $uid programs a chip with a serial number" test "$status" -eq 0
  [[ $status -eq 0 ]] || cat "$work/out$uid.txt"
  numbers+=("$(od -An -tu4 --endian=big -j16 -N4 "$home/chip.flash" 2>/dev/null | tr -d ' ')")
done
check "two users, two numbers from one ledger" test "${numbers[*]}" = "100 101"
check "the ledger is mode 0660" test "$(stat -c %a "$ledger" 2>/dev/null)" = 660
check "the ledger belongs to dialout" test "$(stat -c %G "$ledger" 2>/dev/null)" = dialout
check "the ledger was made by the first user" test "$(stat -c %u "$ledger" 2>/dev/null)" = 65534

echo "check_ledger: $passed passed, $failed failed"
test "$failed" -eq 0
