#!/usr/bin/env bash
# Times the tool's read-only look-ups, 30 calls each of `show` (of indexed words, and of two
# words it misses, which print their near spellings instead), `words` and `list`, on the
# application folder of the four Debian dictionaries (555k words) and on one of 5 million words,
# and prints the median per call beside the targets (30 ms and 60 ms), and beside sdcv and dict
# when they are installed and set up (they are not required). CALLS=N times N calls instead.
#
#   bench/cli_lookups.sh [BUILD_DIR]      (default: build)
#
# VERBALON_REAL_APP and VERBALON_BIG_APP name the two folders, kept between runs; missing ones
# are made first (bench/import_real.sh, then make_big_index from the real folder), which takes
# minutes. The tool's look-up cache is made by the first call of each folder; the 30 calls
# after it are timed. Run by hand, not by the test command.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
tool=$build/bin/vrbx-tool
real=${VERBALON_REAL_APP:-/tmp/verbalon-real-app}
big=${VERBALON_BIG_APP:-/tmp/verbalon-big-app}
calls=${CALLS:-30}

if [ ! -e "$real/vrbx.pde" ]; then
  VERBALON_REAL_APP=$real bench/import_real.sh "$build"
fi
if [ ! -e "$big/vrbx.pde" ]; then
  "$build/bench/make_big_index" "$real" "$big" 5000000
fi

# The median in milliseconds of $calls runs of a command, its output discarded.
median_ms() {
  local times=() start end
  for ((i = 0; i < calls; i++)); do
    start=$EPOCHREALTIME
    "$@" >/dev/null 2>&1 || true
    end=$EPOCHREALTIME
    times+=($(((${end/./} - ${start/./}) / 1000)))
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'
}

printf '%-10s %-22s %10s %10s\n' folder call median_ms target_ms
for folder in real big; do
  app=${!folder}
  target=$([ "$folder" = real ] && echo 30 || echo 60)
  "$tool" --app "$app" show house >/dev/null 2>&1 || true
  # "houze" and "dictionery" are not in the index: the miss with its near spellings.
  for call in "show house" "show zebra" "show houze" "show dictionery" "words hous" "list"; do
    # shellcheck disable=SC2086
    printf '%-10s %-22s %10s %10s\n' "$folder" "$call" "$(median_ms "$tool" --app "$app" $call)" \
      "$target"
  done
done
if command -v sdcv >/dev/null; then
  printf '%-10s %-22s %10s\n' peer "sdcv -n house" "$(median_ms sdcv -n house)"
fi
# dictd serving the same four dictionaries on this machine, if one runs.
if command -v dict >/dev/null && dict -h localhost -D >/dev/null 2>&1; then
  printf '%-10s %-22s %10s\n' peer "dict house" "$(median_ms dict -h localhost house)"
  printf '%-10s %-22s %10s\n' peer "dict -m -s prefix hous" \
    "$(median_ms dict -h localhost -m -s prefix hous)"
  printf '%-10s %-22s %10s\n' peer "dict -D" "$(median_ms dict -h localhost -D)"
fi
