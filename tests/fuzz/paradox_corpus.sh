#!/usr/bin/env bash
# Builds the seed corpora of the Paradox fuzz targets from the samples:
#   OUT_DIR/db  every .DB;  OUT_DIR/px  every .PX;  OUT_DIR/mb  every .MB, prefixed with the
#   descriptor of the first blob of its table that lives in the .MB.
#   tests/fuzz/paradox_corpus.sh SAMPLES_DIR/paradox OUT_DIR
set -euo pipefail
src=$1
out=$2
mkdir -p "$out/db" "$out/px" "$out/mb"
find "$src" -type f -iname '*.db' | while read -r f; do
  cp "$f" "$out/db/$(basename "$(dirname "$f")")_$(basename "$f")"
done
find "$src" -type f -iname '*.px' | while read -r f; do
  cp "$f" "$out/px/$(basename "$(dirname "$f")")_$(basename "$f")"
done
find "$src" -type f -iname '*.mb' | while read -r f; do
  name=$(basename "$(dirname "$f")")_$(basename "$f")
  # Descriptors that point at the usual first blob places: a single blob at 4096 and slot 63
  # of a suballocated block at 4096.
  { printf '\xff\x10\x00\x00\x00\x10\x00\x00'; cat "$f"; } > "$out/mb/$name.single"
  { printf '\x3f\x10\x00\x00\x10\x00\x00\x00'; cat "$f"; } > "$out/mb/$name.slot"
done
