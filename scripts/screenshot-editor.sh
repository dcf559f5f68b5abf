#!/usr/bin/env bash
# Writes a PNG of the flash buffer editor over a loaded image, drawn by a real X server
# (Xvfb). Usage: scripts/screenshot-editor.sh [OUTPUT.png [RAW_IMAGE]]
# Without an image the first 64 KiB of the built lumacrest executable serve as one.
set -euo pipefail
cd "$(dirname "$0")/.."
out="$(realpath -m "${1:-build/editor-screenshot.png}")"
image="${2:-build/bin/lumacrest}"
ninja -C build -j2 EditorScreenshotTest lumacrest >/dev/null
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
chmod 700 "$XDG_RUNTIME_DIR"
LUMACREST_SCREENSHOT="$out" LUMACREST_EDITOR_IMAGE="$(realpath "$image")" \
  xvfb-run -a -s "-screen 0 1280x1024x24" env QT_QPA_PLATFORM=xcb \
  build/tests/EditorScreenshotTest >/dev/null
echo "$out"
