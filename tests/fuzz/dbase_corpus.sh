#!/usr/bin/env bash
# Builds the seed corpus of fuzz_dbase from the dBase samples: each .dbf alone, and each .dbf
# with its .dbt after the "\n--dbt--\n" marker and its .mdx after "\n--mdx--\n" where it has them.
#   tests/fuzz/dbase_corpus.sh SAMPLES_DIR/dbase OUT_DIR
set -euo pipefail
src=$1
out=$2
mkdir -p "$out"
find "$src" -type f \( -iname '*.dbf' \) | while read -r f; do
  name=$(basename "$(dirname "$f")")_$(basename "$f")
  cp "$f" "$out/$name"
  base=$(basename "${f%.*}")
  memo=$(find "$(dirname "$f")" -maxdepth 1 -iname "$base.dbt" | head -1)
  index=$(find "$(dirname "$f")" -maxdepth 1 -iname "$base.mdx" | head -1)
  if [ -n "$memo" ]; then
    { cat "$f"; printf '\n--dbt--\n'; cat "$memo"; } > "$out/$name+dbt"
  fi
  if [ -n "$index" ]; then
    {
      cat "$f"
      if [ -n "$memo" ]; then printf '\n--dbt--\n'; cat "$memo"; fi
      printf '\n--mdx--\n'; cat "$index"
    } > "$out/$name+mdx"
  fi
done
