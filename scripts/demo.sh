#!/usr/bin/env bash
# Builds the library and plays a short agent session through its C interface.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target agent_session >/dev/null
build/examples/agent_session
