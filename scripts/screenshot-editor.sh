#!/usr/bin/env bash
# Writes a PNG of the flash buffer editor over a loaded image, drawn by a real X server
# (Xvfb). Usage: scripts/screenshot-editor.sh [OUTPUT.png [IMAGE.hex]]
# The image is loaded as an image from 0x4000. Without one, the first 64 KiB of the built
# lumacrest executable are turned into one with srec_cat.
set -euo pipefail
cd "$(dirname "$0")/.."
out="$(realpath -m "${1:-build/editor-screenshot.png}")"
ninja -C build -j2 EditorScreenshotTest lumacrest >/dev/null
image="${2:-}"
if [[ -z "$image" ]]; then
  image="build/editor-screenshot.hex"
  srec_cat build/bin/lumacrest -binary -crop 0 0x10000 -offset 0x4000 \
           -o "$image" -intel -address-length=3
fi
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
chmod 700 "$XDG_RUNTIME_DIR"
LUMACREST_SCREENSHOT="$out" LUMACREST_EDITOR_IMAGE="$(realpath "$image")" \
  xvfb-run -a -s "-screen 0 1280x1024x24" env QT_QPA_PLATFORM=xcb \
  build/tests/EditorScreenshotTest >/dev/null
echo "$out"
