#!/usr/bin/env bash
# Builds the Debian package: a Release build in build-release/ (or in the build tree given),
# packaged by CPack as TREE/package/lumacrest_VERSION_ARCH.deb. Install it with
#   apt install ./build-release/package/lumacrest_*.deb
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
