#!/usr/bin/env bash
# Builds and runs every test: formatting; a warnings-as-errors build with GCC; the core and the
# tool alone, without Qt; clang-tidy over the files a change touched; and the whole suite again
# under AddressSanitizer and UndefinedBehaviorSanitizer with clang, where the fuzz harnesses also
# run for a short fixed number of inputs. The builds are the presets of CMakePresets.json.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)

echo "== Formatting (at ${SECONDS} s)"
files=$(git ls-files -- '*.cpp' '*.h')
if [ -n "$files" ]; then
  clang-format --dry-run -Werror $files
fi

echo "== GCC, warnings as errors (at ${SECONDS} s)"
cmake --preset dev >/dev/null
cmake --build --preset dev -j "$jobs"
ctest --preset dev -j "$jobs"

# Their tests ran in the build above, which links no Qt into them; this build shows that the
# core and the tool also build where Qt is not installed.
echo "== The core and the tool without the UI (at ${SECONDS} s)"
cmake --preset core -DVERBALON_BUILD_TESTS=OFF >/dev/null
cmake --build --preset core -j "$jobs" --target vrbx-tool

echo "== clang-tidy on the files changed (at ${SECONDS} s)"
# Changed since the branch left the default branch; on the default branch itself, in its last
# 12 commits (a session lands more, and its developers run clang-tidy on what they touched).
base=$(git merge-base HEAD origin/main 2>/dev/null || git merge-base HEAD main 2>/dev/null || true)
if [ -z "$base" ] || [ "$base" = "$(git rev-parse HEAD)" ]; then
  base=$(git rev-list --max-count=1 --skip=12 HEAD)
fi
changed=()
if [ -n "$base" ]; then
  while IFS= read -r file; do
    # Only sources the build knows (fuzz harnesses and tests are not in the tidy set).
    if grep -q "\"file\": \"$PWD/$file\"" build/compile_commands.json; then changed+=("$file"); fi
  done < <(git diff --name-only --diff-filter=d "$base" -- 'core/*.cpp' 'ui/*.cpp' 'cli/*.cpp' 'app/*.cpp')
fi
if [ ${#changed[@]} -gt 0 ]; then
  echo "${#changed[@]} files"
  printf '%s\n' "${changed[@]}" | xargs -P "$jobs" -n 4 clang-tidy -p build --quiet 2>/dev/null
fi

echo "== clang, AddressSanitizer + UndefinedBehaviorSanitizer, fuzz harnesses (at ${SECONDS} s)"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
ctest --preset fuzz -j "$jobs"
echo "== All passed in ${SECONDS} s"
