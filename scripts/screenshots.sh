#!/usr/bin/env bash
# Pictures of the main window during an Update against the simulated programmer (progress
# near half) and after a failed one, of the LOAD_ADDRESS dialog, of the flash buffer editor,
# and of the station with four tiles during their runs and after them (one failed), drawn
# under Xvfb.
# Usage: scripts/screenshots.sh [OUTDIR]   (default: build/screenshots)
set -euo pipefail
cd "$(dirname "$0")/.."
out="$(realpath -m "${1:-build/screenshots}")"
bash scripts/deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j"$(nproc)" --target screenshots lumacrest-sim >/dev/null
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
chmod 700 "$XDG_RUNTIME_DIR"
xvfb-run -a -s "-screen 0 1280x1024x24" env QT_QPA_PLATFORM=xcb \
  build/tests/screenshots "$out" build/bin/lumacrest-sim
ls "$out"/*.png
