#!/usr/bin/env bash
# Builds the tool, starts the simulated programmer box and opens the main window from the
# program directory (build/bin). The simulator's terminal is mapped to COM3 in the staged
# Ports.dat, so choosing COM3 (or USB) in the window identifies the simulated programmer.
# Arguments are passed to the simulator, e.g. `bash scripts/run.sh --fw 1.9 --kind 1`.
# Without a display there is no window to show: the command-line front end then programs a
# sample image into the simulated chip instead, as a production line would.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh
cd build/bin

link="${TMPDIR:-/tmp}/lumacrest-com3"
./lumacrest-sim --link "$link" "$@" >lumacrest-sim.log 2>&1 &
sim=$!
trap 'kill "$sim" 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  [[ -e "$link" ]] && break
  kill -0 "$sim" 2>/dev/null || { cat lumacrest-sim.log; exit 1; }
  sleep 0.1
done
if grep -q '^COM3 ' Ports.dat; then
  sed -i "s|^COM3 .*|COM3 $link|" Ports.dat
else
  echo "COM3 $link" >>Ports.dat
fi
echo "Simulated programmer on COM3 ($link); its log: build/bin/lumacrest-sim.log"

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "No display: lumacrest-cli programs a sample image into the simulated chip."
  sample="${TMPDIR:-/tmp}/lumacrest-sample.hex"
  head -c 40000 /dev/urandom >"$sample.bin"
  srec_cat "$sample.bin" -binary -offset 0x4000 -o "$sample" -intel
  ./lumacrest-cli --port COM3 --mcu MN101EF51A_IAP --flash "$sample" --options erase,flash update
  echo "lumacrest-cli exit status: $?"
else
  ./lumacrest
fi
