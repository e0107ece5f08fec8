#!/usr/bin/env bash
# Installs and removes the large Debian english-german dictionary (542,826 items) with the tool,
# into the index of mueller7 and freedict-eng-rus (46k words), and installs the four Debian dictd
# dictionaries one after another; each RUNS times (default 5), printing the median wall and CPU
# (user + sys) seconds and the peak resident megabytes. Then the removal through the installation
# dialog beside the same removal through the session (add_dicts_bench), with the process's memory
# before the installation, after it and after the removal.
#
#   bench/install_real.sh [BUILD_DIR] [RUNS]   (default: build 5)
#
# Run by hand, not by the test command: it needs the packages, which the project does not
# install. The imports run once, first; they take a minute or two.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-5}
tool=$build/bin/vrbx-tool
source bench/real_dicts.sh

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# The four packages imported, none installed; then a copy with the two small ones installed.
bare=$scratch/bare
mkdir -p "$bare/data"
cp "$build/resources/vrbx.pde" "$bare/vrbx.pde"
for name in "${sources[@]}"; do
  "$tool" --app "$bare" import "$dictd/$name.index" >/dev/null
done
small=$scratch/small
cp -r "$bare" "$small"
for name in mueller7 freedict-eng-rus; do
  "$tool" --app "$small" install "$name.brd" 2>/dev/null
done

# Appends "wall cpu peak_MB" of one command to the file $1.
measure() {
  local into=$1
  shift
  /usr/bin/time -f '%e %U %S %M' -o "$scratch/time" "$@" >/dev/null 2>"$scratch/err" || {
    cat "$scratch/err" >&2
    exit 1
  }
  read -r wall user sys kilobytes <"$scratch/time"
  awk -v w="$wall" -v u="$user" -v s="$sys" -v k="$kilobytes" \
    'BEGIN { printf "%.2f %.2f %d\n", w, u + s, k / 1024 }' >>"$into"
}

# The median of each column of the file $1, as "wall_s cpu_s peak_MB".
medians() {
  for column in 1 2 3; do
    cut -d' ' -f"$column" "$1" | sort -n | awk '{ v[NR] = $1 } END { printf "%s ", v[int((NR + 1) / 2)] }'
  done
  echo
}

app=$scratch/app
for ((run = 0; run < runs; ++run)); do
  rm -rf "$app" && cp -r "$small" "$app"
  measure "$scratch/install" "$tool" --app "$app" install english-german.brd
  measure "$scratch/remove" "$tool" --app "$app" remove english-german.brd
  rm -rf "$app" && cp -r "$bare" "$app"
  : >"$scratch/four_run"
  for name in "${sources[@]}"; do
    measure "$scratch/four_run" "$tool" --app "$app" install "$name.brd"
  done
  awk '{ w += $1; c += $2; if ($3 > m) m = $3 } END { printf "%.2f %.2f %d\n", w, c, m }' \
    "$scratch/four_run" >>"$scratch/four"
done
echo "medians of $runs runs:     wall_s cpu_s peak_MB"
echo "install english-german:    $(medians "$scratch/install")  (limit: wall < 2.5 s)"
echo "the four one after another: $(medians "$scratch/four")  (limit: wall < 6 s)"
echo "remove english-german:     $(medians "$scratch/remove")  (limit: wall < 1.5 s)"

if [ -x "$build/bench/add_dicts_bench" ]; then
  VERBALON_REAL_BASE=$small "$build/bench/add_dicts_bench" \
    --benchmark_filter=BM_RemoveRealDictionary
fi
