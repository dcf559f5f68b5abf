#!/usr/bin/env bash
# Builds the two Debian packages: a Release build in build-release/ (or in the build tree
# given), packaged by CPack as TREE/package/lumacrest-cli_VERSION_ARCH.deb (the command-line
# tool and the simulator) and TREE/package/lumacrest_VERSION_ARCH.deb (the window). Install
# them with
#   apt install ./build-release/package/lumacrest-cli_*.deb ./build-release/package/lumacrest_*.deb
# or, on a line PC without a desktop, the first alone.
set -euo pipefail
cd "$(dirname "$0")/.."
tree="${1:-build-release}"
bash scripts/deps.sh
if [[ ! -f "$tree/CMakeCache.txt" ]]; then
  cmake -S . -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMACREST_TESTS=OFF \
        -DLUMACREST_BENCH=OFF >/dev/null
fi
cmake --build "$tree" -j"$(nproc)"
rm -f "$tree"/package/*.deb
mkdir -p "$tree/package"
if ! (cd "$tree" && cpack -G DEB -B "$PWD/package" >package/cpack.log 2>&1); then
  cat "$tree/package/cpack.log"
  exit 1
fi
ls "$tree"/package/*.deb
