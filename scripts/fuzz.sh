#!/usr/bin/env bash
# Builds the policy loader's libFuzzer target with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer in build-fuzz, and runs it for the given number of seconds
# (600 by default) on one worker. Seeds come from fuzz/corpus/policy_loader (left as they
# are); inputs the fuzzer finds go to build-fuzz/corpus/policy_loader, crashing inputs to
# build-fuzz/.
set -euo pipefail
cd "$(dirname "$0")/.."

duration=${1:-600}
MOBREL_WITH_FUZZ=1 scripts/install-deps.sh

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMOBREL_SANITIZE=ON -DMOBREL_FUZZ=ON -DMOBREL_TESTS=OFF -DMOBREL_BENCH=OFF >/dev/null
cmake --build build-fuzz -j 2 --target policy_loader_fuzzer

found=build-fuzz/corpus/policy_loader
mkdir -p "$found"
build-fuzz/fuzz/policy_loader_fuzzer -max_total_time="$duration" -print_final_stats=1 \
  -dict=fuzz/policy_loader.dict -artifact_prefix=build-fuzz/ "$found" fuzz/corpus/policy_loader
