#!/usr/bin/env bash
# Runs one fuzz target for a few seconds on a seed corpus built from the sample files.
#   run_brief.sh FUZZER SAMPLES_DIR CORPUS_DIR SECONDS
set -euo pipefail
fuzzer=$1 samples=$2 corpus=$3 seconds=$4
here=$(cd "$(dirname "$0")" && pwd)
if [ ! -d "$samples" ]; then
  echo "samples folder $samples is absent: fuzz run skipped"
  exit 0
fi
rm -rf "$corpus"
mkdir -p "$corpus"
case "$(basename "$fuzzer")" in
  fuzz_dbase) "$here/dbase_corpus.sh" "$samples/dbase" "$corpus" ;;
  fuzz_filter) "$here/filter_corpus.sh" "$corpus" ;;
  fuzz_paradox_*)
    # The Paradox corpus script makes one folder per reader: db, mb, px.
    "$here/paradox_corpus.sh" "$samples/paradox" "$corpus.all"
    part=$(basename "$fuzzer"); part=${part#fuzz_paradox_}
    cp -r "$corpus.all/$part/." "$corpus/"
    rm -rf "$corpus.all"
    ;;
esac
exec "$fuzzer" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 "$corpus"
