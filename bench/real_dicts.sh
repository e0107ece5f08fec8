# The four Debian dictd dictionaries the benchmarks run on, for scripts to source: sets dictd
# and sources, and ends the sourcing script (status 0, with a note) when one is not installed.
dictd=/usr/share/dictd
sources=(mueller7 freedict-eng-rus english-german gcide)

for name in "${sources[@]}"; do
  if [ ! -e "$dictd/$name.index" ]; then
    echo "skipped: $dictd/$name.index is missing (apt-get install mueller7-dict" \
      "dict-freedict-eng-rus dict-de-en dict-gcide)"
    exit 0
  fi
done
