#!/usr/bin/env bash
# lumacrest-cli against lumacrest-sim through pseudo-terminals, as a production line runs it.
# Usage: cli_end_to_end.sh PROGRAM_DIR   (the build's bin folder with both programs)
set -uo pipefail
bin="$(realpath "$1")"
work="$(mktemp -d)"
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; wait 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
passed=0 failed=0
check() {  # check NAME CONDITION...
  local name="$1"; shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $name"; fi
}

# A program directory of our own: the programs, the data files, and COM3/COM4 on simulators.
dir="$work/prog"
mkdir -p "$dir"
cp "$bin"/lumacrest-cli "$bin"/Config.dat "$bin"/*.cfg "$dir"/
printf 'COM3 %s\nCOM4 %s\n' "$work/com3" "$work/com4" > "$dir/Ports.dat"
start_sim() {  # start_sim LINK DUMP [options...]
  local link="$1" dump="$2"; shift 2
  "$bin/lumacrest-sim" --link "$link" --dump "$dump" "$@" > "$link.log" 2>&1 &
  local pid=$!
  pids+=("$pid")
  # The link appears once the box listens; a sanitized build takes its time getting there.
  until [[ -e "$link" ]]; do
    kill -0 "$pid" 2>/dev/null || { echo "simulator did not start:"; cat "$link.log"; exit 1; }
    sleep 0.05
  done
}
start_sim "$work/com3" "$work/chip3"
start_sim "$work/com4" "$work/chip4" --fault verify-differs:0x18:1:3

head -c 40000 /dev/urandom > "$work/image.bin"
srec_cat "$work/image.bin" -binary -offset 0x4000 -o "$work/image.hex" -intel
cli() { "$dir/lumacrest-cli" "$@"; }

# 1. Update programs the chip and prints the exact log.
cli --port COM3 --mcu MN101EF51A_IAP --flash "$work/image.hex" --options erase,flash update \
    > "$work/out1.txt" 2> "$work/err1.txt"
status=$?
check "update exits 0" test "$status" -eq 0
tail -n 12 "$work/out1.txt" > "$work/tail1.txt"
cat > "$work/expected1.txt" <<'TXT'
* * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * *
Connect to Programmer . . . . . . OK
Find Progrmmer: ZK9_ISP_0258
Max_Counter:  No Limit
Used_Counter: 5   V2.0
==================================================
Enter Program Mode......OK
KeyCode Verify......KeyCode is not enable.
Erase Device,Please Waiting...... OK
Write FLASH......OK
Verify FLASH......OK
Eixt Program Mode......OK
TXT
check "update log" diff "$work/expected1.txt" "$work/tail1.txt"
check "chip holds the image" cmp -s -n 40000 "$work/chip3.flash" "$work/image.bin"
check "box got a pass" grep -q "exit result 1" "$work/com3.log"
check "nothing on stderr" test ! -s "$work/err1.txt"

# 2. A verify fault in block 3 fails the run.
cli --port COM4 --mcu MN101EF51A_IAP --flash "$work/image.hex" --options erase,flash update \
    > "$work/out2.txt" 2> /dev/null
status=$?
check "verify fault exits 1" test "$status" -eq 1
check "verify fault logged" grep -qx "Verify FLASH......Failed" "$work/out2.txt"
check "box got a fail" grep -q "exit result 0" "$work/com4.log"

# 3. read-flash writes the chip's contents.
cli --port COM3 --mcu MN101EF51A_IAP read-flash "$work/read.bin" > /dev/null 2>&1
check "read-flash exits 0" test $? -eq 0
check "read-flash file" cmp -s -n 40000 "$work/read.bin" "$work/image.bin"
check "read-flash length" test "$(stat -c %s "$work/read.bin")" -eq 73728

# 4. Two runs against two simulators at the same time.
start_sim "$work/com5" "$work/chip5"
printf 'COM5 %s\n' "$work/com5" >> "$dir/Ports.dat"
cli --port COM3 --mcu MN101EF51A_IAP --flash "$work/image.hex" --options erase,flash update \
    > /dev/null 2>&1 & a=$!
cli --port COM5 --mcu MN101EF51A_IAP --flash "$work/image.hex" --options erase,flash update \
    > /dev/null 2>&1 & b=$!
wait $a; sa=$?
wait $b; sb=$?
check "parallel run A" test "$sa" -eq 0
check "parallel run B" test "$sb" -eq 0
check "parallel chip B" cmp -s -n 40000 "$work/chip5.flash" "$work/image.bin"

# 5. No programmer, usage errors, a device path.
cli --port COM9 identify > "$work/out5.txt" 2>/dev/null
check "no programmer exits 1" test $? -eq 1
check "no programmer logged" grep -qx "Can Not Find Programmer  " "$work/out5.txt"
cli --frobnicate update > /dev/null 2>&1
check "usage error exits 2" test $? -eq 2
cli --port "$work/com3" identify > "$work/out6.txt" 2>/dev/null
check "device path identifies" test $? -eq 0
check "device path log" grep -q "Find Progrmmer: ZK9_ISP_0258" "$work/out6.txt"
check "config untouched without --save-config" cmp -s "$dir/Config.dat" "$bin/Config.dat"

# 6. Files without a programmer: project, combine, update files, encrypted images.
cli --flash "$work/image.hex" save-project "$work/job" > /dev/null 2>&1
check "save-project" test -s "$work/job.Prjt"
cli --project "$work/job.Prjt" checksum > "$work/out7.txt" 2>/dev/null
check "project reloads to the same checksum" \
  test "$(grep 'Flash Buffer' "$work/out7.txt" | tail -1)" = "$(grep 'Flash Buffer' "$work/out1.txt" | tail -1)"
cli --project "$work/job.Prjt" combine "$work/both.hex" > /dev/null 2>&1
check "combine" test -s "$work/both.hex"
cli package-update "$work/image.bin" > /dev/null 2>"$work/err8.txt"
check "package-update" test "$(stat -c %s "$dir/Tervolo_Update.dat")" -eq 40448
check "package-update message" grep -q "File Save success" "$work/err8.txt"
cli unpack-update "$dir/Tervolo_Update.dat" > /dev/null 2>&1
check "unpack-update restores the image" cmp -s -n 40000 "$dir/Tervolo_Update.dat.bin" "$work/image.bin"
cli --flash "$work/image.hex" encrypt-image > /dev/null 2>&1
check "encrypt-image" test "$(stat -c %s "$dir/JiaMi.bin")" -eq $((16 + 157 * 256))
cli decrypt-image "$dir/JiaMi.bin" > /dev/null 2>&1
check "decrypt-image restores the image" cmp -s -n 40000 "$dir/JiaMi.bin.bin" "$work/image.bin"

# 7. Programmer maintenance through the simulator: a 0.2 programmer gets update.dat on
# identification; a loader (kind 5) gets the flash image on update.
cp "$dir/Tervolo_Update.dat" "$dir/update.dat"
start_sim "$work/com6" "$work/chip6" --fw 0.2
start_sim "$work/com7" "$work/chip7" --kind 5
printf 'COM6 %s\nCOM7 %s\n' "$work/com6" "$work/com7" >> "$dir/Ports.dat"
cli --port COM6 identify > "$work/out9.txt" 2>/dev/null
check "firmware rewrite exits 0" test $? -eq 0
check "firmware rewrite logged" grep -qx "Update Device Firmware......OK" "$work/out9.txt"
check "firmware blocks sent" test "$(grep -c 'rx 0x02 length 260' "$work/com6.log")" -eq 158
cli --port COM7 --flash "$work/image.hex" update > "$work/out10.txt" 2>/dev/null
check "loader transfer exits 0" test $? -eq 0
check "loader transfer logged" grep -qx "Start Update......OK" "$work/out10.txt"
check "loader received the image" grep -q "iap done 40192 bytes" "$work/com7.log"
# programmer-update identifies the box first: one on the current firmware is rewritten only
# with --force; one on its maintenance firmware is rewritten once, by the identification.
cli --port COM3 programmer-update > "$work/out11.txt" 2> "$work/err11.txt"
check "programmer-update on current firmware exits 1" test $? -eq 1
check "programmer-update on current firmware says why" grep -q -- "--force" "$work/err11.txt"
check "programmer-update on current firmware erases nothing" bash -c "! grep -q 'rx 0x04' '$work/com3.log'"
cli --port COM3 --force programmer-update > "$work/out11.txt" 2>/dev/null
check "programmer-update --force exits 0" test $? -eq 0
check "programmer-update --force logged" grep -qx "Update Device Firmware......OK" "$work/out11.txt"
cli --port COM6 programmer-update > "$work/out11b.txt" 2>/dev/null
check "programmer-update on maintenance firmware exits 0" test $? -eq 0
check "programmer-update on maintenance firmware rewrites once" \
  test "$(grep -c 'rx 0x04' "$work/com6.log")" -eq 2

# 8. Endings the programmer decides are failures: a firmware this host refuses, a loader that
# stops its transfer, a maintenance programmer without update.dat.
start_sim "$work/com8" "$work/chip8" --fw 1.9
start_sim "$work/com9" "$work/chip9" --kind 5 --fault iap-stops
start_sim "$work/com10" "$work/chip10" --fw 0.2
printf 'COM8 %s\nCOM9 %s\nCOM10 %s\n' "$work/com8" "$work/com9" "$work/com10" >> "$dir/Ports.dat"
cli --port COM8 identify > /dev/null 2>&1
check "refused firmware exits 1" test $? -eq 1
cli --port COM9 --flash "$work/image.hex" update > /dev/null 2>&1
check "stopped loader transfer exits 1" test $? -eq 1
rm -f "$dir/update.dat"
cli --port COM10 identify > /dev/null 2> "$work/err12.txt"
check "rewrite without update.dat exits 1" test $? -eq 1
check "rewrite failure says why" grep -q "Open Update_File" "$work/err12.txt"
check "rewrite failure is not a missing programmer" bash -c "! grep -q 'no programmer found' '$work/err12.txt'"

# 9. The line as it really is. A box that vanishes mid-write ends the run at once, without
# spinning; Ctrl-C mid-Update tells the box the chip failed; a port another program holds
# open is refused with the holder named.
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null; }
wait_for_blocks() {  # wait_for_blocks LOG N: the simulator has taken N flash blocks
  for _ in $(seq 400); do
    [[ $(grep -c "rx 0x13" "$1" 2>/dev/null) -ge $2 ]] && return 0; sleep 0.025
  done
  return 1
}
start_sim "$work/com11" "$work/chip11" --baud 115200
start_sim "$work/com12" "$work/chip12" --baud 115200
printf 'COM11 %s\nCOM12 %s\n' "$work/com11" "$work/com12" >> "$dir/Ports.dat"
"$dir/lumacrest-cli" --port COM11 --mcu MN101EF51A_IAP --flash "$work/image.hex" --options erase,flash update \
    > "$work/out13.txt" 2> "$work/err13.txt" & c=$!
wait_for_blocks "$work/com11.log" 10
sim11=${pids[-2]}
before=$(cpu_ticks "$c")
kill -9 "$sim11"; lost=$(date +%s%N)
rm -f "$work/com11"  # the pseudo-terminal's number may come back for another box
last=$before
while kill -0 "$c" 2>/dev/null; do now=$(cpu_ticks "$c"); [[ -n "$now" ]] && last=$now; sleep 0.01; done
wait "$c"; status=$?; ended=$(date +%s%N)
elapsed_ms=$(( (ended - lost) / 1000000 ))
cpu_ms=$(( (last - before) * 1000 / $(getconf CLK_TCK) ))
echo "lost box: exit $status after ${elapsed_ms} ms, ${cpu_ms} ms of CPU"
check "lost box exits 1" test "$status" -eq 1
check "lost box ends within 1 s" test "$elapsed_ms" -lt 1000
# Ending the run takes some CPU of its own (the report, closing, and the leak check on the way
# out of a sanitized build), counted in clock ticks: 50 ms of it is no spinning, which would
# take the CPU for the whole wait.
check "lost box ends without spinning" test $(( cpu_ms * 100 )) -le $(( elapsed_ms * 5 + 5000 ))
check "lost box logged as a time-out" grep -qx "Write FLASH......Timer Over " "$work/out13.txt"
check "lost box names the port" grep -q "The port COM11 (.*com11) was lost" "$work/err13.txt"

"$dir/lumacrest-cli" --port COM12 --mcu MN101EF51A_IAP --flash "$work/image.hex" --options erase,flash update \
    > "$work/out14.txt" 2> "$work/err14.txt" & c=$!
wait_for_blocks "$work/com12.log" 10
kill -INT "$c"
wait "$c"; status=$?
check "Ctrl-C exits 130" test "$status" -eq 130
check "Ctrl-C tells the box the chip failed" grep -q "exit result 0" "$work/com12.log"
check "Ctrl-C logs the exit" grep -qx "Eixt Program Mode......OK" "$work/out14.txt"
check "Ctrl-C says so" grep -q "stopped by SIGINT" "$work/err14.txt"

exec 7<> "$work/com3"  # this shell holds the line open, without a lock
cli --port COM3 identify > "$work/out15.txt" 2> "$work/err15.txt"
status=$?
exec 7>&-
check "held port exits 1" test "$status" -eq 1
check "held port names its holder" grep -q "held by another program: .*(pid $$)" "$work/out15.txt"
cli --port COM3 identify > /dev/null 2>&1
check "released port identifies" test $? -eq 0

# 10. --port with a device path: Config.dat keeps the COMn that Ports.dat gives it, or its own
# line when no line names the device; an unknown port name is a usage error.
cp "$dir/Config.dat" "$work/Config.saved"
cli --port "$work/com3" --save-config identify > /dev/null 2>&1
check "device path saves its COM name" grep -qx "COM3" "$dir/Config.dat"
start_sim "$work/unlisted" "$work/chip13"
cli --port "$work/unlisted" --save-config identify > /dev/null 2> "$work/err16.txt"
check "unlisted device path identifies" test $? -eq 0
check "unlisted device path keeps the port line" grep -qx "COM3" "$dir/Config.dat"
check "unlisted device path says so" grep -q "no line of Ports.dat names" "$work/err16.txt"
cp "$work/Config.saved" "$dir/Config.dat"
cli --port COM20 identify > /dev/null 2>&1
check "COM20 is a usage error" test $? -eq 2
# One device under two names (Ports.dat's link, its real path, a link of its own such as
# /dev/serial/by-id gives) is one programmer given twice, told by the device.
ln -s "$work/com3" "$work/by-id-com3"
cli --port "COM3,$(readlink -f "$work/com3")" identify > "$work/out16b.txt" 2> "$work/err16b.txt"
check "a port and its real path: usage error" test $? -eq 2
cli --port "$work/by-id-com3,COM3" identify >> "$work/out16b.txt" 2>> "$work/err16b.txt"
check "a link and the port: usage error" test $? -eq 2
check "one device, two names: the same programmer" test "$(grep -c "are the same programmer" "$work/err16b.txt")" -eq 2
check "one device, two names: never held by another program" test "$(grep -c "held by another" "$work/out16b.txt" "$work/err16b.txt" | awk -F: '{s += $NF} END {print s}')" -eq 0

# 11. The production line: three programmers in one run, one failing its verify; a record of
# every chip; serial numbers that are never on two chips; quiet and version; the box's own
# frames after the command; two processes appending to one record file.
start_sim "$work/com13" "$work/line13"
start_sim "$work/com14" "$work/line14" --fault verify-differs:0x18:1:3
start_sim "$work/com15" "$work/line15"
printf 'COM13 %s\nCOM14 %s\nCOM15 %s\n' "$work/com13" "$work/com14" "$work/com15" >> "$dir/Ports.dat"
cp "$dir/Config.dat" "$work/Config.saved"
cli --port COM13,COM14,COM15 --record "$work/runs.jsonl" --mcu MN101EF51A_IAP --flash "$work/image.hex" \
    --options erase,flash,sn --sn 100 --sn-at 0x4010 --save-config update > "$work/out17.txt" 2> "$work/err17.txt"
check "three ports exit 1" test $? -eq 1
check "lines behind their port" grep -qx "\[COM15\] Verify FLASH......OK" "$work/out17.txt"
check "failing port's line" grep -qx "\[COM14\] Verify FLASH......Failed" "$work/out17.txt"
check "table row of the failure" grep -Eq "^COM14 +ZK9_ISP_0258 +fail +flash verify +[0-9.]+$" "$work/out17.txt"
check "table rows of the passes" test "$(grep -Ec "^COM1[35] +ZK9_ISP_0258 +pass +[0-9.]+$" "$work/out17.txt")" -eq 2
check "table count" grep -qx "2 of 3 passed" "$work/out17.txt"
check "three records" test "$(wc -l < "$work/runs.jsonl")" -eq 3
check "failure record" grep -q '"port":"COM14",.*"outcome":"fail","stage":"flash verify","reason":"the chip differs from the image in block 3: ' "$work/runs.jsonl"
check "pass records" test "$(grep -c '"run":"update",.*"flash":{"file":"[^"]*image.hex","checksum":"0x[0-9a-f]*"},.*"outcome":"pass","seconds"' "$work/runs.jsonl")" -eq 2
passed_sns=$(grep -o '"sn":[0-9]*,"outcome":"pass"' "$work/runs.jsonl" | grep -o '[0-9]\+' | sort -u | tr '\n' ' ')
check "two chips, two numbers" test "$(echo $passed_sns | wc -w)" -eq 2
for port in 13 15; do
  sn=$(grep -o '"port":"COM'"$port"'".*"sn":[0-9]*' "$work/runs.jsonl" | grep -o '[0-9]*$')
  chip="$work/line$port.flash"
  check "COM$port chip holds its number" test "$(od -An -tu4 --endian=big -j$((0x4010)) -N4 "$chip" | tr -d ' ')" = "$sn"
done
failed_sn=$(grep -o '"port":"COM14".*"sn":[0-9]*' "$work/runs.jsonl" | grep -o '[0-9]*$')
cli serials > "$work/serials17.txt" 2>&1
check "the given-back number is issued first" grep -qx "Next free number from [0-9]*: $failed_sn" "$work/serials17.txt"
cp "$work/Config.saved" "$dir/Config.dat"

cli -q --port COM13 --mcu MN101EF51A_IAP --flash "$work/image.hex" --options erase,flash update > "$work/out18.txt" 2>&1
check "quiet exits 0" test $? -eq 0
check "quiet prints the outcome only" test "$(cat "$work/out18.txt")" = "COM13: pass"
cli --version > "$work/out19.txt"
check "version" grep -Eqx "lumacrest-cli [0-9]+\.[0-9]+.*" "$work/out19.txt"

start_sim "$work/com16" "$work/chip16" --kind 5 --send-after 0:6
printf 'COM16 %s\n' "$work/com16" >> "$dir/Ports.dat"
cli --port COM16 --mcu MN101EF51A_IAP --flash "$work/image.hex" --wait-box 1 identify > "$work/out20.txt" 2>&1
check "wait-box exits 0" test $? -eq 0
check "wait-box takes the DataFlash download" grep -qx "Download FLASH File to DataFlash......OK" "$work/out20.txt"

# Two processes, 200 chips each, one record file: 400 whole lines.
start_sim "$work/com1" "$work/chip1"
start_sim "$work/com2" "$work/chip2"
printf 'COM1 %s\nCOM2 %s\n' "$work/com1" "$work/com2" >> "$dir/Ports.dat"
many() {  # many PORT: 200 erases, each one record
  for _ in $(seq 200); do cli --port "$1" --mcu MN101EF51A_IAP --record "$work/many.jsonl" -q erase > /dev/null 2>&1; done
}
many COM1 & a=$!
many COM2 & b=$!
wait $a $b
check "400 records" test "$(wc -l < "$work/many.jsonl")" -eq 400
check "400 whole records" test "$(grep -Ec '^\{"time":"[0-9T:-]+Z",.*"outcome":"pass","seconds":[0-9.]+\}$' "$work/many.jsonl")" -eq 400
check "200 of each" test "$(grep -c '"port":"COM1"' "$work/many.jsonl")" -eq 200

# Ex-to-Hex: one SIGTERM ends a converter that never finishes, with everything it started and
# its scratch folder.
mkdir -p "$work/exhex/tmp"
printf '#!/bin/sh\necho $$ > %s\nsleep 60\n' "$work/exhex/pid" > "$dir/e.exe"
chmod 755 "$dir/e.exe"
printf 'x' > "$work/exhex/app.ex"
TMPDIR="$work/exhex/tmp" "$dir/lumacrest-cli" ex2hex "$work/exhex/app.ex" > /dev/null 2>&1 & exhex=$!
for _ in $(seq 200); do [[ -s "$work/exhex/pid" ]] && break; sleep 0.025; done
kill -TERM "$exhex"; termed=$(date +%s%N)
wait "$exhex"; status=$?
check "ex2hex: one SIGTERM ends it" test $(( ($(date +%s%N) - termed) / 1000000 )) -lt 3000
check "ex2hex: exit 143" test "$status" -eq 143
check "ex2hex: converter ended" bash -c "! kill -0 $(cat "$work/exhex/pid") 2>/dev/null"
check "ex2hex: scratch folder removed" test -z "$(ls -A "$work/exhex/tmp")"
rm -f "$dir/e.exe"

# 12. On a terminal the progress bars never hide or overwrite a log line: the screen a terminal
# (tmux) shows at the end holds every line whole, and no bar; also where a line and its bar
# are wider than the terminal.
on_terminal() {  # on_terminal SCREEN COLUMNS COMMAND...: runs COMMAND in a terminal
  local screen="$1" columns="$2"; shift 2
  tmux -L lumacrest-e2e -f /dev/null new-session -d -x "$columns" -y 60 \
    "cd '$dir' && $* ; echo \"exit \$?\"; sleep 30"
  for _ in $(seq 400); do
    tmux -L lumacrest-e2e capture-pane -p -J -S - > "$screen" 2>/dev/null
    grep -q "^exit [0-9]" "$screen" && break; sleep 0.05
  done
  tmux -L lumacrest-e2e kill-server 2>/dev/null
}
on_terminal "$work/screen1.txt" 50 ./lumacrest-cli --port COM13 --mcu MN101EF51A_IAP --flash "'$work/image.hex'" \
  --options erase,flash update
sed -i 's/ *$//' "$work/screen1.txt"
check "terminal: lines whole" grep -qx "Erase Device,Please Waiting...... OK" "$work/screen1.txt"
check "terminal: write and verify" test "$(grep -cx "Write FLASH......OK\|Verify FLASH......OK" "$work/screen1.txt")" -eq 2
check "terminal: a line wider than the terminal" grep -qx "\(\* \)\{40\}\*" "$work/screen1.txt"
check "terminal: no bar left" bash -c "! grep -q '%' '$work/screen1.txt'"
check "terminal: exit 0" grep -qx "exit 0" "$work/screen1.txt"
on_terminal "$work/screen2.txt" 150 ./lumacrest-cli --port COM13,COM15 --mcu MN101EF51A_IAP --flash "'$work/image.hex'" \
  --options erase,flash update
sed -i 's/ *$//' "$work/screen2.txt"
check "terminal: two ports' lines whole" test "$(grep -cx "\[COM1[35]\] Verify FLASH......OK" "$work/screen2.txt")" -eq 2
check "terminal: no bar of two left" bash -c "! grep -q '%' '$work/screen2.txt'"
check "terminal: two passed" grep -qx "2 of 2 passed" "$work/screen2.txt"

# 13. A user other than the owner of the machine's files (nobody, when this runs as root: root
# opens any device and writes in any folder). A port that user may not open is named as such,
# once, after a connect and at the end of a scan; a Config.dat the user may write, in a folder
# the user may not, is saved in place.
shared="$(mktemp -d)"
chmod 755 "$shared"
trap 'chmod -R u+w "$shared"; rm -rf "$shared"; cleanup' EXIT
as_user=()
start_sim "$shared/denied" "$work/chip-denied"
if [[ $(id -u) -eq 0 ]]; then
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups --)  # the terminal is root's, 0620
else
  chmod 000 "$(readlink -f "$shared/denied")"
fi
station="$shared/station"
mkdir "$station"
cp "$dir/lumacrest-cli" "$bin/Config.dat" "$bin"/*.cfg "$station/"
printf 'COM2 %s\n' "$shared/denied" > "$station/Ports.dat"
chmod 666 "$station/Config.dat"
chmod 555 "$station"
denied="permission denied on $shared/denied: add your user to the dialout group"
"${as_user[@]}" "$station/lumacrest-cli" --port COM2 identify > "$work/out21.txt" 2> "$work/err21.txt"
check "denied port exits 1" test $? -eq 1
check "denied port: log" diff <(printf '%s\n' "Can Not Find Programmer  " "Tried COM2 ($shared/denied)" "$denied") <(tail -n 3 "$work/out21.txt")
check "denied port: one message" test "$(grep -cF "******$denied******" "$work/err21.txt")" -eq 1
"${as_user[@]}" "$station/lumacrest-cli" --port USB identify > "$work/out22.txt" 2> "$work/err22.txt"
check "scan past a denied port exits 1" test $? -eq 1
check "scan: said once at the end" diff <(printf '%s\n' "Can Not Find Programmer  " "Tried COM2 ($shared/denied)" "$denied") <(tail -n 3 "$work/out22.txt")
check "scan: said once" test "$(grep -cF "$denied" "$work/out22.txt")" -eq 1
inode=$(stat -c %i "$station/Config.dat")
"${as_user[@]}" "$station/lumacrest-cli" --mcu MN101EF51A_IAP --save-config checksum > /dev/null 2> "$work/err23.txt"
check "save in a closed folder exits 0" test $? -eq 0
check "Config.dat saved in place" test "$(sed -n 2p "$station/Config.dat")" = MN101EF51A_IAP
check "the same file" test "$(stat -c %i "$station/Config.dat")" = "$inode"
check "nothing beside it" test ! -s "$work/err23.txt"
# A Config.dat the user may not write either: the settings asked to be kept are not, and the
# command fails.
chmod 444 "$station/Config.dat"
"${as_user[@]}" "$station/lumacrest-cli" --mcu MN101EF51A_IAP --save-config checksum > /dev/null 2> "$work/err23b.txt"
check "Config.dat not written exits 1" test $? -eq 1
check "Config.dat not written: said" grep -qF "lumacrest-cli: failed: Open Config file failed: $station/Config.dat: the file cannot be written" "$work/err23b.txt"
chmod 666 "$station/Config.dat"

# 14. Records and the exit status: a record file that cannot be opened is a usage error before
# anything is sent; one that cannot be written fails the run; a failed connect leaves a record;
# a file name that is not UTF-8 keeps the line valid JSON; a second Ctrl-C still leaves the
# record; a bad frame the box sends during --wait-box on a device programmer fails the command.
start_sim "$work/box17" "$work/chip17" --send-after 0:9 --fault bad-crc:0x09
start_sim "$work/box18" "$work/chip18" --fault late:0x11:1:4000
cli --port COM13 --mcu MN101EF51A_IAP --record "$work/no/such/dir/r.jsonl" erase > "$work/out24.txt" 2>&1
check "record file that cannot be opened: exit 2" test $? -eq 2
check "record file that cannot be opened: said" grep -q "cannot open the record file .* for appending" "$work/out24.txt"
check "record file that cannot be opened: nothing sent" bash -c "! grep -q 'Connect to Programmer' '$work/out24.txt'"
cli --port COM13 --mcu MN101EF51A_IAP --record /dev/full erase > "$work/out25.txt" 2>&1
check "record that cannot be written: exit 1" test $? -eq 1
check "record that cannot be written: said" grep -q "cannot append the run record to /dev/full" "$work/out25.txt"
cli --port "$work/none" --mcu MN101EF51A_IAP --record "$work/r14.jsonl" erase > /dev/null 2>&1
check "failed connect: exit 1" test $? -eq 1
check "failed connect: recorded" grep -q '"run":"identify","operation":"identify",.*"outcome":"fail","stage":"connect"' "$work/r14.jsonl"
odd="$work/$(printf 'im\xffage.hex')"
cp "$work/image.hex" "$odd"
cli --port COM13 --mcu MN101EF51A_IAP --flash "$odd" --record "$work/r14.jsonl" verify-flash > /dev/null 2>&1
check "operation and run id" grep -Eq '"run_id":"[0-9a-f]{32}","run":"operation","operation":"verify-flash"' "$work/r14.jsonl"
check "records are valid JSON" python3 -c 'import json,sys; [json.loads(l) for l in open(sys.argv[1], "rb")]' "$work/r14.jsonl"
check "the name's bytes are kept" python3 -c '
import json,sys
r=[json.loads(l) for l in open(sys.argv[1], "rb")][-1]
sys.exit(bytes.fromhex(r["flash"]["file_hex"]) != sys.argv[2].encode("utf-8","surrogateescape"))' "$work/r14.jsonl" "$odd"
"$dir/lumacrest-cli" --port "$work/box18" --mcu MN101EF51A_IAP --record "$work/r15.jsonl" erase > /dev/null 2>&1 &
victim=$!
sleep 1; kill -INT $victim; sleep 0.1; kill -INT $victim
wait $victim
check "two Ctrl-C: exit 130" test $? -eq 130
check "two Ctrl-C: the record is there" grep -q '"operation":"erase",.*"outcome":"fail",.*"reason":"stopped by' "$work/r15.jsonl"
cli --port "$work/box17" --mcu MN101EF51A_IAP --wait-box 1 identify > "$work/out26.txt" 2>&1
check "a bad settings report during --wait-box on a device programmer: exit 1" test $? -eq 1

# 15. A box that answers a flash block twice (the copy 50 ms after the reply): the run fails at
# its stage with the fail result to the box, not one answer behind the box nor after a time-out.
start_sim "$work/box19" "$work/chip19" --baud 115200 --fault duplicate:0x13:1:50
SECONDS=0
cli --port "$work/box19" --mcu MN101EF51A_IAP --flash "$work/image.hex" --options erase,flash update \
    > "$work/out27.txt" 2>&1
check "a reply twice: exit 1" test $? -eq 1
check "a reply twice: said" grep -qx "Programmer answered command 0x13 twice" "$work/out27.txt"
check "a reply twice: the box got a fail" grep -q "exit result 0" "$work/box19.log"
check "a reply twice: no time-out waited" test "$SECONDS" -lt 15

echo "$passed passed, $failed failed"
test "$failed" -eq 0
