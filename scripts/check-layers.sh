#!/usr/bin/env bash
# The floors of the source tree, checked from the includes: the link, the operations, the
# formats and the platform ports never reach up into the window or the front ends (the Qt
# adapters under qt/ aside), the link carries frames without knowing the operations or the
# formats, and no two folders include each other, directly or round a loop.
set -euo pipefail
cd "$(dirname "$0")/../src"
failed=0
edges=$(mktemp)
trap 'rm -f "$edges"' EXIT
refuse() { echo "layering: $1"; failed=1; }

while IFS= read -r -d '' file; do
  dir=$(dirname "${file#./}")
  while IFS= read -r inc; do
    to=$(dirname "$inc")
    [[ "$to" == "$dir" || "$to" == "." ]] && continue
    echo "$dir $to" >> "$edges"
    case "$dir" in
      */qt | */qt/*) ;;
      link* | ops* | image* | platform*)
        case "$to" in
          ui* | app* | cli*) refuse "$file includes $inc: the core does not include the window or the front ends" ;;
        esac ;;
    esac
    case "$dir" in
      link*)
        case "$to" in
          ops* | image*) refuse "$file includes $inc: the link carries frames, it includes no operations or formats" ;;
        esac ;;
    esac
  done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
done < <(find . \( -name '*.h' -o -name '*.cpp' \) -print0)

if ! sort -u "$edges" | tsort > /dev/null 2> "$edges.loop"; then
  refuse "folders include each other round a loop:"
  sed 's/^tsort: /  /' "$edges.loop"
fi
rm -f "$edges.loop"
if ((failed)); then exit 1; fi
echo "layering: every include runs down the floors"
