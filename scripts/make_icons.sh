#!/usr/bin/env bash
# Renders the program's icon (data/icons/quelvana.svg) into the PNG sizes that are committed
# beside it, for the desktop and the window. Needs rsvg-convert (Debian package librsvg2-bin);
# run again after changing the drawing.
set -euo pipefail
icons=$(cd "$(dirname "${BASH_SOURCE[0]}")/../data/icons" && pwd)
for size in 16 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" "$icons/quelvana.svg" -o "$icons/quelvana-$size.png"
done
