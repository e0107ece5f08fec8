#!/usr/bin/env bash
# Builds the program and starts it on the bundled default content: the resource package and the
# sample dictionaries in build/bin/data. Arguments go to the program (for instance /di:PATH).
set -euo pipefail
cd "$(dirname "$0")/.."
# The preset the test command builds with, so that the two share one build folder.
cmake --preset dev >/dev/null
cmake --build --preset dev -j "$(nproc)" --target vrbx
exec build/bin/vrbx "$@"
