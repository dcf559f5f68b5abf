#!/usr/bin/env bash
# Builds the tool and opens the main window from the program directory (build/bin).
# Without a display the window runs on a virtual one (Xvfb).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh
cd build/bin
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "No display: the main window runs under Xvfb."
  exec xvfb-run -a ./lumacrest
fi
exec ./lumacrest
