#!/usr/bin/env bash
# Builds and runs every test: formatting, a warnings-as-errors build with GCC, and the same suite
# again under AddressSanitizer and UndefinedBehaviorSanitizer with clang, where the fuzz
# harnesses also run for a short fixed number of inputs.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)

echo "== Formatting"
files=$(git ls-files -- '*.cpp' '*.h')
if [ -n "$files" ]; then
  clang-format --dry-run -Werror $files
fi

echo "== GCC, warnings as errors"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVERBALON_WERROR=ON >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== clang, AddressSanitizer + UndefinedBehaviorSanitizer, fuzz harnesses"
CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DVERBALON_WERROR=ON -DVERBALON_SANITIZE=ON -DVERBALON_FUZZ=ON -DVERBALON_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  LSAN_OPTIONS=suppressions="$PWD/tests/lsan.supp" \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"
