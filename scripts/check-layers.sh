#!/usr/bin/env bash
# The floors of the source tree, checked from the includes of every file in every folder, the
# Qt adapters under qt/ included (they belong to the floor of the folder they sit in):
#
#   platform < link < image < ops < host < front ends (the window: ui, app; lumacrest-cli: cli)
#
# A file includes its own floor and the floors below it, never one above, whether or not the
# include closes a loop. The window and the command line are two views of the host: neither
# includes the other. The simulated box is an independent peer of the host: it includes only
# itself and the platform. A folder of src/ that has no floor here is refused too, and no two
# folders include each other round a loop.
#
# Every spelling counts: "quotes" or <angle brackets>, blanks around '#' and 'include', and
# paths relative to the including file ("../ops/Run.h").
#
# Usage: scripts/check-layers.sh [SRC_DIR]   (default: the src/ folder of this tree)
set -euo pipefail
src="$(realpath "${1:-$(dirname "$0")/../src}")"
cd "$src"
failed=0
edges=$(mktemp)
trap 'rm -f "$edges" "$edges.loop"' EXIT
refuse() { echo "layering: $1"; failed=1; }

# The floor of a top folder: a number for the core, a name for a front end ('' when none).
floor_of() {
  case "$1" in
    platform) echo 0 ;;
    link) echo 1 ;;
    image) echo 2 ;;
    ops) echo 3 ;;
    host) echo 4 ;;
    ui | app) echo window ;;
    cli) echo cli ;;
    sim) echo sim ;;
    *) echo "" ;;
  esac
}

# May a file of top folder $1 include one of top folder $2? Prints the reason when not.
refusal() {
  local from="$1" to="$2" f t
  [[ "$from" == "$to" ]] && return 0
  f=$(floor_of "$from")
  t=$(floor_of "$to")
  case "$f" in
    sim)
      [[ "$t" == 0 ]] || echo "the simulated box includes only itself and the platform" ;;
    window | cli)
      case "$t" in
        window | cli) [[ "$t" == "$f" ]] || echo "the window and the command line are separate views of the host" ;;
        sim) echo "a front end does not include the simulated box" ;;
      esac ;;
    *)
      if [[ "$t" =~ ^[0-9]$ ]]; then
        ((t < f)) || echo "$to is above $from"
      else
        echo "the core ($from) does not include a front end ($to)"
      fi ;;
  esac
}

for top in */; do
  top=${top%/}
  [[ -n "$(floor_of "$top")" ]] || refuse "src/$top has no floor: give it one in scripts/check-layers.sh"
done

while IFS= read -r -d '' file; do
  file=${file#./}
  dir=$(dirname "$file")
  from=${file%%/*}
  while IFS= read -r inc; do
    # Resolve the include: from the source root, else relative to the including file.
    path=""
    if [[ -e "$inc" && "$inc" == */* ]]; then
      path=$(realpath -m --relative-to=. "$inc")
    elif [[ -e "$dir/$inc" ]]; then
      path=$(realpath -m --relative-to=. "$dir/$inc")
    elif [[ "$inc" == */* && -d "${inc%%/*}" ]]; then
      path=$inc  # one of ours that is not there: its folder still decides
    fi
    [[ -z "$path" || "$path" == ../* ]] && continue  # not of this tree
    to=${path%%/*}
    todir=$(dirname "$path")
    [[ "$todir" != "$dir" ]] && echo "$dir $todir" >> "$edges"
    why=$(refusal "$from" "$to")
    [[ -z "$why" ]] || refuse "$file includes $inc: $why"
  done < <(sed -nE 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]([^">]+)[">].*/\1/p' "$file")
done < <(find . -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.cpp' -o -name '*.cc' \) -print0)

if [[ -s "$edges" ]] && ! sort -u "$edges" | tsort > /dev/null 2> "$edges.loop"; then
  refuse "folders include each other round a loop:"
  sed 's/^tsort: /  /' "$edges.loop"
fi
if ((failed)); then exit 1; fi
echo "layering: every include runs down the floors"
