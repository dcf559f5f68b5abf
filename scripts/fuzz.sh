#!/usr/bin/env bash
# Builds the libFuzzer harnesses (clang, only the fuzz targets, in build-fuzz/) and runs each
# on its corpus: the committed seeds of fuzz/corpus/NAME, the seeds generated at build time,
# and what earlier runs found (build-fuzz/fuzz/found/NAME).
#
#   bash scripts/fuzz.sh                  # regression: every harness, a fixed number of runs
#   bash scripts/fuzz.sh 600 fuzz_receive # one harness (or several) for 600 seconds each
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-}"
shift || true

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_CXX_COMPILER=clang++-14 -DLUMACREST_FUZZ=ON -DLUMACREST_GUI=OFF -DLUMACREST_WERROR=ON \
      -DLUMACREST_TESTS=OFF -DLUMACREST_BENCH=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target fuzz_all

harnesses=("$@")
if ((${#harnesses[@]} == 0)); then
  for f in fuzz/fuzz_*.cpp; do harnesses+=("$(basename "$f" .cpp)"); done
fi
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}"
for name in "${harnesses[@]}"; do
  found="build-fuzz/fuzz/found/$name"
  mkdir -p "$found"
  corpora=("$found" "build-fuzz/fuzz/seeds/$name")
  [[ -d "fuzz/corpus/$name" ]] && corpora+=("fuzz/corpus/$name")
  if [[ -n "$seconds" ]]; then
    build-fuzz/fuzz/"$name" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="build-fuzz/fuzz/$name-" "${corpora[@]}"
  else
    start=$SECONDS
    build-fuzz/fuzz/"$name" -runs=3000 -seed=1 -print_final_stats=0 \
      -artifact_prefix="build-fuzz/fuzz/$name-" "${corpora[@]}" 2>"build-fuzz/fuzz/$name.log" ||
      { cat "build-fuzz/fuzz/$name.log"; echo "FAILED: $name"; exit 1; }
    echo "fuzz regression: $name passed ($((SECONDS - start)) s)"
  fi
done
