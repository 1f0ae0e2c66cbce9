#!/usr/bin/env bash
# Renders kelvark.svg into the PNG icons of icons/, which are committed so that
# neither the build nor the window needs an SVG renderer. Run it after changing
# the SVG (rsvg-convert is in Debian's librsvg2-bin) and commit the PNGs with it.
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 32 48 64 128 256; do
    rsvg-convert --width "$size" --height "$size" --output "icons/kelvark-$size.png" kelvark.svg
done
