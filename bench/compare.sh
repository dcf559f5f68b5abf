#!/usr/bin/env bash
# The project's figures for two builds, their runs interleaved (old, new, old, new, ...) so that
# a machine that gets busier or quieter on the way weighs on both alike; prints the medians side
# by side with the targets:
#   turnaround (reply in -> next frame out), paced and unpaced Update  build/bench/update_bench
#   HEX load in the process (best of 10 per run)                        build/bench/image_load_bench
#   HEX load as a whole process against srec_cat (825 KB file)          lumacrest-cli --flash
#   start-up                                                            lumacrest-cli checksum
#   16 paced programmers in one process against one                     lumacrest-cli --port
# Each build runs against its own lumacrest-sim. Usage:
#   bench/compare.sh OLD_BUILD NEW_BUILD      (two release trees, e.g. ../before/build build)
# RUNS (default 20) is the number of runs of the quick figures per build; the slow ones run
# fewer: UPDATE_RUNS (default 7) runs of update_bench (each a paced Update of about 14 s and an
# unpaced one) and PORT_RUNS (default 10) of one and of sixteen programmers.
set -euo pipefail
if [[ $# -ne 2 ]]; then
  echo "usage: bench/compare.sh OLD_BUILD NEW_BUILD" >&2
  exit 2
fi
runs=${RUNS:-20}
update_runs=${UPDATE_RUNS:-7}
port_runs=${PORT_RUNS:-10}
builds=("$(realpath "$1")" "$(realpath "$2")")
names=(old new)
for b in "${builds[@]}"; do
  for f in bin/lumacrest-cli bin/lumacrest-sim bench/update_bench bench/image_load_bench; do
    [[ -x "$b/$f" ]] || { echo "compare.sh: $b/$f is missing (build the release tree)" >&2; exit 2; }
  done
done
command -v srec_cat > /dev/null || { echo "compare.sh: srec_cat is missing (srecord)" >&2; exit 2; }

work="$(mktemp -d)"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2> /dev/null || true; done
  wait 2> /dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
load() { cut -d' ' -f1-3 /proc/loadavg; }
echo "builds: old ${builds[0]}"
echo "        new ${builds[1]}"
echo "machine: $(nproc) cores, load average at the start $(load)"

now_us() { local t=${EPOCHREALTIME/./}; echo "$t"; }
timed() {  # timed COMMAND...: microseconds of the whole process
  local start end
  start=$(now_us); "$@" > /dev/null 2>&1 || true; end=$(now_us)
  echo $((end - start))
}
median() {  # median FILE
  sort -g "$1" | awk '{v[NR] = $1} END {if (!NR) print "nan"; else print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'
}

# Each build's program directory: its lumacrest-cli and data files, and sixteen boxes.
head -c 300000 /dev/urandom > "$work/big.bin"
srec_cat "$work/big.bin" -binary -offset 0x4000 -o "$work/big.hex" -intel -output_block_size=16
head -c 16000 /dev/urandom > "$work/image.bin"
srec_cat "$work/image.bin" -binary -offset 0x4000 -o "$work/image.hex" -intel
for i in 0 1; do
  dir="$work/${names[i]}"
  mkdir -p "$dir"
  cp "${builds[i]}"/bin/lumacrest-cli "${builds[i]}"/bin/Config.dat "${builds[i]}"/bin/*.cfg "$dir"/
  : > "$dir/Ports.dat"
  for n in $(seq 16); do
    "${builds[i]}/bin/lumacrest-sim" --link "$dir/com$n" --baud 115200 > "$dir/com$n.log" 2>&1 &
    pids+=($!)
    printf 'COM%d %s\n' "$n" "$dir/com$n" >> "$dir/Ports.dat"
  done
done
for i in 0 1; do
  for n in $(seq 16); do
    for _ in $(seq 100); do [[ -e "$work/${names[i]}/com$n" ]] && break; sleep 0.05; done
  done
done

# One sample of each figure of a run appended to FIGURE.BUILD.
sample() { echo "$3" >> "$work/$1.$2"; }
cli() { "$work/$1/lumacrest-cli" "${@:2}"; }
update() { cli "$1" --port "$2" --mcu MN101EF51A_IAP --flash "$work/image.hex" --options erase,flash -q update; }

echo "running: $update_runs x update_bench, $runs x the quick figures, $port_runs x one and sixteen ports, each build"
for r in $(seq "$update_runs"); do
  for i in 0 1; do
    out="$work/update_bench.${names[i]}.$r"
    "${builds[i]}/bench/update_bench" > "$out" 2>&1 || echo "update_bench of ${names[i]} failed in run $r" >&2
    # The lines every version of update_bench prints.
    sample turn_median "${names[i]}" "$(sed -n 's/^ *median \([0-9.]*\) ms .*/\1/p' "$out" | head -1)"
    sample turn_p99 "${names[i]}" "$(sed -n 's/.* p99 \([0-9.]*\) ms .*/\1/p' "$out" | head -1)"
    sample unpaced "${names[i]}" "$(sed -n 's/.*unpaced Update: [0-9.]* s, \(-*[0-9.]*\) s beyond.*/\1/p' "$out")"
    sample paced "${names[i]}" "$(sed -n 's/.* ratio \([0-9.]*\) .*/\1/p' "$out")"
  done
done
for r in $(seq "$runs"); do
  for i in 0 1; do
    sample hex_inproc "${names[i]}" \
      "$("${builds[i]}/bench/image_load_bench" | sed -n 's/^best of 10: \([0-9.]*\) ms (target: under.*/\1/p')"
    sample startup "${names[i]}" "$(timed cli "${names[i]}" checksum)"
    sample hex_cli "${names[i]}" "$(timed cli "${names[i]}" --flash "$work/big.hex" checksum)"
  done
  sample srec_cat ref "$(timed srec_cat "$work/big.hex" -intel -o /dev/null -binary)"
done
for r in $(seq "$port_runs"); do
  for i in 0 1; do
    sample one "${names[i]}" "$(timed update "${names[i]}" COM1)"
    sample sixteen "${names[i]}" "$(timed update "${names[i]}" "$(seq -s, -f 'COM%g' 16)")"
  done
done
echo "load average at the end $(load)"

# The table: each figure's medians, old and new, and the target.
m() { median "$work/$1.$2"; }
row() {  # row LABEL OLD NEW TARGET-TEXT
  printf '%-52s %12s %12s   %s\n' "$1" "$2" "$3" "$4"
}
fmt() { awk -v v="$1" -v s="$2" -v d="$3" 'BEGIN {if (v == "nan") print "-"; else printf "%.*f", d, v * s}'; }
met() { awk -v v="$1" -v t="$2" 'BEGIN {print (v != "nan" && v <= t) ? "met" : "MISSED"}'; }
srec=$(m srec_cat ref)
echo
row "figure (median)" "old" "new" "target"
for i in 0 1; do
  tm[i]=$(m turn_median "${names[i]}"); tp[i]=$(m turn_p99 "${names[i]}")
  pa[i]=$(m paced "${names[i]}"); un[i]=$(m unpaced "${names[i]}")
  hi[i]=$(m hex_inproc "${names[i]}"); st[i]=$(m startup "${names[i]}")
  hc[i]=$(awk -v a="$(m hex_cli "${names[i]}")" -v b="$srec" 'BEGIN {printf "%.3f", a / b}')
  po[i]=$(awk -v a="$(m sixteen "${names[i]}")" -v b="$(m one "${names[i]}")" 'BEGIN {printf "%.3f", a / b}')
done
row "turnaround median, us ($update_runs runs)" "$(fmt "${tm[0]}" 1000 0)" "$(fmt "${tm[1]}" 1000 0)" \
  "<= 50 us: $(met "${tm[1]}" 0.050)"
row "turnaround p99, ms ($update_runs runs)" "$(fmt "${tp[0]}" 1 3)" "$(fmt "${tp[1]}" 1 3)" \
  "<= 0.3 ms: $(met "${tp[1]}" 0.3)"
row "paced Update / wire-time bound ($update_runs runs)" "$(fmt "${pa[0]}" 1 4)" "$(fmt "${pa[1]}" 1 4)" \
  "<= 1.005: $(met "${pa[1]}" 1.005)"
row "unpaced Update beyond the 0.5 s pause, s ($update_runs runs)" "$(fmt "${un[0]}" 1 3)" "$(fmt "${un[1]}" 1 3)" \
  "<= 0.1 s: $(met "${un[1]}" 0.1)"
row "HEX load of 300000 bytes in process, ms ($runs runs)" "$(fmt "${hi[0]}" 1 2)" "$(fmt "${hi[1]}" 1 2)" \
  "< 5 ms: $(met "${hi[1]}" 5)"
row "825 KB HEX, lumacrest-cli / srec_cat ($runs runs)" "${hc[0]}" "${hc[1]}" \
  "< 0.5: $(met "${hc[1]}" 0.5)"
row "start-up, lumacrest-cli checksum, ms ($runs runs)" "$(fmt "${st[0]}" 0.001 1)" "$(fmt "${st[1]}" 0.001 1)" \
  "< 10 ms: $(met "${st[1]}" 10000)"
row "16 paced programmers / one ($port_runs runs)" "${po[0]}" "${po[1]}" \
  "<= 1.05: $(met "${po[1]}" 1.05)"
for i in 0 1; do
  printf '%s: one programmer %s ms, sixteen %s ms; box COM1: %s\n' "${names[i]}" \
    "$(fmt "$(m one "${names[i]}")" 0.001 0)" "$(fmt "$(m sixteen "${names[i]}")" 0.001 0)" \
    "$(grep -h "paced .* bytes at" "$work/${names[i]}/com1.log" | tail -1 | sed 's/^lumacrest-sim: //')"
done
