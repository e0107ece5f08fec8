#!/usr/bin/env bash
# Builds the program and starts it on the bundled default content: the resource package and the
# sample dictionaries in build/bin/data. Arguments go to the program (for instance /di:PATH).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target vrbx
exec build/bin/vrbx "$@"
