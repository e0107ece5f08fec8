#!/bin/sh
# Renders the program's icon verbalon.svg into the PNG sizes of the desktop's icon theme with
# rsvg-convert (librsvg2-bin); the output is committed beside this script, so a build needs
# neither.
set -eu
cd "$(dirname "$0")"
for size in 16 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" -o "verbalon-$size.png" verbalon.svg
done
