#!/usr/bin/env bash
# Configures and builds a tree; arguments after the tree's name go to cmake (the test command
# adds -DLUMACREST_WERROR=ON):
#   bash scripts/build.sh             the release tree in build/
#   bash scripts/build.sh sanitize    everything, the fuzz harnesses included, with
#                                     AddressSanitizer and UndefinedBehaviorSanitizer (clang)
#                                     in build-sanitize/, with line tables only (all a
#                                     sanitizer's report needs)
set -euo pipefail
cd "$(dirname "$0")/.."
# A compiler cache, where the machine has one, makes the second tree and a rebuild cheap.
if [[ -z "${CMAKE_CXX_COMPILER_LAUNCHER:-}" ]] && command -v ccache >/dev/null; then
  export CMAKE_CXX_COMPILER_LAUNCHER=ccache
fi
tree="${1:-}"
[[ $# -gt 0 ]] && shift
case "$tree" in
  ""|-*)
    [[ "$tree" == -* ]] && set -- "$tree" "$@"
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build build -j"$(nproc)" ;;
  sanitize)
    cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++-14 \
          -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DLUMACREST_SANITIZE=ON -DLUMACREST_FUZZ=ON -DLUMACREST_BENCH=OFF \
          "$@" >/dev/null
    cmake --build build-sanitize -j"$(nproc)" --target all fuzz_all ;;
  *) echo "usage: build.sh [sanitize] [cmake options]" >&2; exit 2 ;;
esac
