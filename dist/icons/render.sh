#!/usr/bin/env bash
# Renders the bitmap icons from quillora.svg (needs rsvg-convert: apt install librsvg2-bin).
# Run after changing the SVG and commit the PNGs with it.
set -euo pipefail
cd "$(dirname "$0")"
for n in 16 32 48 64 128 256; do
  rsvg-convert -w "$n" -h "$n" quillora.svg -o "quillora-$n.png"
done
