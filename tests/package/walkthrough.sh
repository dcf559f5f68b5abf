#!/usr/bin/env bash
# The README as a newcomer follows it: its ```bash blocks, from top to bottom, run in one shell
# with a fresh home and the installed programs of ROOT first on the PATH, against
# lumacrest-sim; it must end with a programmed chip.
# Usage: walkthrough.sh ROOT (an installed or unpacked lumacrest-cli package)
set -uo pipefail
root="$(realpath "$1")"
src="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/cwd"
{
  echo 'set -euo pipefail'
  echo 'trap '"'"'kill $(jobs -p) 2>/dev/null || true'"'"' EXIT'
  awk '/^```bash$/ {on = 1; next} /^```/ {on = 0} on' "$src/README.md"
} > "$work/walkthrough"
echo "---- the README's commands"
sed 1,2d "$work/walkthrough"
echo "----"
(cd "$work/cwd" && env -i PATH="$root/usr/bin:/usr/bin:/bin" HOME="$work/home" TERM=dumb \
   timeout 300 bash "$work/walkthrough") > "$work/out.txt" 2>&1
status=$?
cat "$work/out.txt"
failed=0
[[ $status -eq 0 ]] || { echo "FAILED: the walkthrough exited $status"; failed=1; }
grep -qx "the chip holds image.bin" "$work/out.txt" || { echo "FAILED: no programmed chip"; failed=1; }
grep -qx "COM3: pass" "$work/out.txt" || { echo "FAILED: the chip does not verify"; failed=1; }
[[ $failed -eq 0 ]] && echo "walkthrough: passed"
exit "$failed"
