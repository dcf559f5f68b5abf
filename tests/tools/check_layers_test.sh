#!/usr/bin/env bash
# The layering check refuses what it must: an upward include planted in a small tree of the
# same floors, in each spelling, is refused though it closes no loop; the tree without it passes.
set -euo pipefail
check="$(realpath "$(dirname "$0")/../../scripts/check-layers.sh")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fresh() {
  rm -rf "$work/src"
  mkdir -p "$work/src"/{platform/qt,link,image,ops,host,ui/main/qt,app,cli,sim}
  echo '#include <cstdint>' > "$work/src/platform/Port.h"
  echo '#include "platform/Port.h"' > "$work/src/link/Link.h"
  echo '#include "link/Link.h"' > "$work/src/image/Image.h"
  echo '#include "image/Image.h"' > "$work/src/ops/Ops.h"
  echo '#include "ops/Ops.h"' > "$work/src/host/Host.h"
  echo '#include <QObject>' > "$work/src/platform/qt/QtPort.h"
  echo '#include "host/Host.h"' > "$work/src/ui/main/Model.h"
  echo '#include "Model.h"' > "$work/src/ui/main/qt/Window.cpp"
  echo '#include "ui/main/Model.h"' > "$work/src/app/App.cpp"
  echo '#include "host/Host.h"' > "$work/src/cli/Cli.cpp"
  echo '#include "platform/Port.h"' > "$work/src/sim/Box.cpp"
}
expect_pass() {
  if ! out=$(bash "$check" "$work/src" 2>&1); then
    echo "FAIL: the clean tree was refused:"; echo "$out"; exit 1
  fi
}
expect_refused() {  # expect_refused FILE LINE WHAT
  fresh
  echo "$2" >> "$work/src/$1"
  if out=$(bash "$check" "$work/src" 2>&1); then
    echo "FAIL: $3 was not refused ($1: $2)"; exit 1
  fi
  grep -q "^layering: $1 includes" <<< "$out" || { echo "FAIL: $3: refused, but not for $1:"; echo "$out"; exit 1; }
}
fresh
expect_pass
expect_refused ops/Ops.h '#include "host/Host.h"' "an upward include that closes no loop"
expect_refused ops/Ops.h '#  include   <ui/main/Model.h>' "angle brackets and blanks"
expect_refused image/Image.h '#include "../ops/Ops.h"' "a relative path"
expect_refused platform/qt/QtPort.h '#include "ui/main/Model.h"' "a qt/ adapter reaching the window"
expect_refused cli/Cli.cpp '#include "ui/main/Model.h"' "the command line including the window"
expect_refused sim/Box.cpp '#include "link/Link.h"' "the simulated box including the link"
expect_refused link/Link.h '#include "image/Image.h"' "a floor including the next one up"
fresh
mkdir -p "$work/src/extra" && echo '' > "$work/src/extra/X.h"
if bash "$check" "$work/src" > /dev/null 2>&1; then echo "FAIL: a folder without a floor passed"; exit 1; fi
echo "check-layers refuses every planted include"
