#!/usr/bin/env bash
# Builds the program and starts it on the bundled default content.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"
exec build/bin/vrbx-tool ls build/bin/vrbx.pde
