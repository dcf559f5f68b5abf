#!/usr/bin/env bash
# Builds everything, warnings as errors, and runs every test twice: in the release tree
# (build/), and in a tree where every program, the window, lumacrest-cli, lumacrest-sim and all
# tests, is built with AddressSanitizer and UndefinedBehaviorSanitizer (build-sanitize/,
# clang); builds the Debian packages of the release tree and checks them; then every
# fuzz harness for a fixed number of runs on its corpus. Ends with the time each stage took.
set -euo pipefail
cd "$(dirname "$0")/.."

times=()
stage() {  # stage NAME COMMAND...
  local name="$1" start=$SECONDS status=0 mark=""
  shift
  echo "== $name"
  "$@" || status=$?
  ((status == 0)) || mark="  FAILED"
  times+=("$(printf '%-18s %4d s%s' "$name" $((SECONDS - start)) "$mark")")
  return "$status"
}
report_times() {
  echo "== stage times"
  printf '   %s\n' "${times[@]}"
  printf '   %-18s %4d s\n' "total" "$SECONDS"
}
trap report_times EXIT

plain_tests() {
  ctest --test-dir build --output-on-failure -j"$(nproc)" --timeout 600
}

# The sanitizers' options for the sanitized tests and the fuzz runs: any report ends the
# program; leaks are checked where LeakSanitizer can run. It stops the program's threads
# through ptrace, and where that is not allowed it cannot run at all.
sanitizer_options() {
  local leaks=1 probe
  probe="$(ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS= LSAN_OPTIONS= \
           build-sanitize/tests/sanitizer_canary --leak 2>&1)" || true
  if [[ "$probe" != *"detected memory leaks"* ]]; then
    leaks=0
    echo "Leak checking is off: LeakSanitizer cannot run here (it needs ptrace)."
    grep "LeakSanitizer" <<<"$probe" || true
  fi
  export ASAN_OPTIONS="halt_on_error=1:detect_leaks=$leaks:detect_stack_use_after_return=1"
  ASAN_OPTIONS+=":check_initialization_order=1:strict_init_order=1:strict_string_checks=1"
  export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
}

# Every report of the sanitized tests goes to a file of its own under
# build-sanitize/sanitizer-reports, so that a report from a program whose exit status nobody
# checks (a simulator in the background, a child the test stops) fails the run as well.
sanitized_tests() {
  local reports="$PWD/build-sanitize/sanitizer-reports" status=0
  rm -rf "$reports"
  mkdir -p "$reports"
  sanitizer_options
  ASAN_OPTIONS="$ASAN_OPTIONS:log_path=$reports/report" \
  UBSAN_OPTIONS="$UBSAN_OPTIONS:log_path=$reports/report" \
    ctest --test-dir build-sanitize --output-on-failure -j"$(nproc)" --timeout 900 || status=$?
  if compgen -G "$reports/report.*" >/dev/null; then
    for f in "$reports"/report.*; do
      echo "---- $f"
      cat "$f"
    done
    echo "FAILED: the sanitizers reported faults (above)"
    status=1
  fi
  return "$status"
}

# The two Debian packages of the release tree: lintian, their dependencies, hardening,
# unpacked and tried, installed into scratch roots (also over the single package of 3.0);
# then the README's examples and its walkthrough against the simulator.
package_check() {
  bash scripts/package.sh build >/dev/null
  bash tests/package/check_package.sh build/package/lumacrest-cli_*.deb build/package/lumacrest_*.deb
}

stage "dependencies" bash scripts/deps.sh
stage "build" bash scripts/build.sh -DLUMACREST_WERROR=ON
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
chmod 700 "$XDG_RUNTIME_DIR"
stage "tests" plain_tests
stage "package" package_check
stage "sanitized build" bash scripts/build.sh sanitize -DLUMACREST_WERROR=ON
stage "sanitized tests" sanitized_tests
stage "fuzz regression" bash scripts/fuzz.sh --in build-sanitize
