#!/usr/bin/env bash
# Installs dependencies, builds and runs the whole test suite, then builds and runs it
# again under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
jobs=$(nproc 2>/dev/null || echo 2)

run_suite() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

echo "== plain build"
run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== sanitized build (address, undefined)"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DMOBREL_SANITIZE=ON -DMOBREL_BENCH=OFF
