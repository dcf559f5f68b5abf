#!/usr/bin/env bash
# Builds everything, warnings as errors, and runs every test: the whole suite, the Debian
# package, then the core tests again under AddressSanitizer and UndefinedBehaviorSanitizer,
# then every fuzz harness for a fixed number of runs on its corpus (built with clang in
# build-fuzz/).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh -DLUMACREST_WERROR=ON
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
chmod 700 "$XDG_RUNTIME_DIR"
ctest --test-dir build --output-on-failure -j"$(nproc)" --timeout 600

# The Debian package of that tree, unpacked and tried.
bash scripts/package.sh build >/dev/null
bash tests/package/check_package.sh build/package/lumacrest_*.deb

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLUMACREST_SANITIZE=ON -DLUMACREST_WERROR=ON \
      -DLUMACREST_GUI=OFF -DLUMACREST_BENCH=OFF >/dev/null
cmake --build build-asan -j"$(nproc)" --target core_tests
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j"$(nproc)" --timeout 900

bash scripts/fuzz.sh
