#!/usr/bin/env bash
# Builds the libFuzzer harnesses (clang, only the fuzz targets, in build-fuzz/ or in the tree
# that --in names) and runs each on its corpus: the committed seeds of fuzz/corpus/NAME, the seeds generated at build time,
# and what earlier runs found (TREE/fuzz/found/NAME).
#
#   bash scripts/fuzz.sh                  # regression: every harness, a fixed number of runs
#   bash scripts/fuzz.sh 600 fuzz_receive # one harness (or several) for 600 seconds each
#   bash scripts/fuzz.sh --in build-sanitize   # the regression with the sanitized tree's
#                                              # harnesses (the test command does this)
set -euo pipefail
cd "$(dirname "$0")/.."
tree=build-fuzz
if [[ "${1:-}" == --in ]]; then
  tree="$2"
  shift 2
else
  cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_COMPILER=clang++-14 -DLUMACREST_FUZZ=ON -DLUMACREST_GUI=OFF -DLUMACREST_WERROR=ON \
        -DLUMACREST_TESTS=OFF -DLUMACREST_BENCH=OFF >/dev/null
fi
seconds="${1:-}"
shift || true
cmake --build "$tree" -j"$(nproc)" --target fuzz_all
out="$tree/fuzz"

harnesses=("$@")
if ((${#harnesses[@]} == 0)); then
  for f in fuzz/fuzz_*.cpp; do harnesses+=("$(basename "$f" .cpp)"); done
fi
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}"
for name in "${harnesses[@]}"; do
  found="$out/found/$name"
  mkdir -p "$found"
  corpora=("$found" "$out/seeds/$name")
  [[ -d "fuzz/corpus/$name" ]] && corpora+=("fuzz/corpus/$name")
  if [[ -n "$seconds" ]]; then
    "$out/$name" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$out/$name-" "${corpora[@]}"
  else
    start=$SECONDS
    "$out/$name" -runs=3000 -seed=1 -print_final_stats=0 \
      -artifact_prefix="$out/$name-" "${corpora[@]}" 2>"$out/$name.log" ||
      { cat "$out/$name.log"; echo "FAILED: $name"; exit 1; }
    echo "fuzz regression: $name passed ($((SECONDS - start)) s)"
  fi
done
