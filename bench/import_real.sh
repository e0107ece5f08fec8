#!/usr/bin/env bash
# Imports and installs the four Debian dictd dictionaries (mueller7-dict, dict-freedict-eng-rus,
# dict-de-en, dict-gcide) one after another into a fresh application folder, and prints for
# each the import and install times, the headwords, and the folded and skipped ones.
#
#   bench/import_real.sh [BUILD_DIR]      (default: build; a Release build gives the real figures)
#
# With VERBALON_REAL_APP=FOLDER the application folder is made there and kept (it must not exist
# yet), for benchmarks that look words up in it (bench/cli_lookups.sh).
#
# Run by hand, not by the test command: it needs the packages, which the project does not
# install. Peak memory comes from GNU time.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
tool=$build/bin/vrbx-tool
source bench/real_dicts.sh

scratch=$(mktemp -d)
if [ -n "${VERBALON_REAL_APP:-}" ]; then
  app=$VERBALON_REAL_APP
  mkdir "$app"
  trap 'rm -rf "$scratch"' EXIT
else
  app=$(mktemp -d)
  trap 'rm -rf "$app" "$scratch"' EXIT
fi
mkdir -p "$app/data"
cp "$build/resources/vrbx.pde" "$app/vrbx.pde"

# Seconds and peak resident megabytes of one command, its standard output to $scratch/out.
measure() {
  /usr/bin/time -f '%e %M' -o "$scratch/time" "$@" >"$scratch/out" 2>"$scratch/err" || {
    cat "$scratch/err" >&2
    exit 1
  }
  read -r seconds kilobytes <"$scratch/time"
  echo "$seconds $((kilobytes / 1024))"
}

value() { sed -n "s/^$1: //p" "$scratch/out"; }

printf '%-18s %9s %8s %9s %8s %10s %8s %8s\n' dictionary import_s peak_MB install_s peak_MB \
  headwords folded skipped
total_import=0
total_install=0
for name in "${sources[@]}"; do
  read -r import_s import_mb < <(measure "$tool" --app "$app" import "$dictd/$name.index")
  headwords=$(value headwords)
  folded=$(value folded)
  skipped=$(value skipped)
  read -r install_s install_mb < <(measure "$tool" --app "$app" install "$name.brd")
  printf '%-18s %9s %8s %9s %8s %10s %8s %8s\n' "$name" "$import_s" "$import_mb" "$install_s" \
    "$install_mb" "$headwords" "$folded" "$skipped"
  total_import=$(awk "BEGIN { print $total_import + $import_s }")
  total_install=$(awk "BEGIN { print $total_install + $install_s }")
done
words=$("$tool" cat "$app/vrbx.pde" items.dat | wc -l)
echo "all four: import ${total_import} s, install ${total_install} s, ${words} words in the index"
