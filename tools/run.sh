#!/usr/bin/env bash
# Builds the program and starts it on the bundled default content. Until the window exists, the
# package tool shows that content: the resource package and the sample dictionaries.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"
app=build/bin
"$app/vrbx-tool" ls "$app/vrbx.pde"
echo
echo "Dictionary packages in $app/data (install one with: $app/vrbx-tool install NAME):"
ls "$app/data"
