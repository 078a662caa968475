#!/usr/bin/env bash
# Each column operation over a generated dBase table, through `quillora-cli column` and through
# the processing window (quillora-window-workbench), with time and peak memory of both.
#   bench/workbench.sh BUILD_DIR [RECORDS]
set -euo pipefail
build=$(cd "$1" && pwd)
records=${2:-1000000}
here=$(cd "$(dirname "$0")" && pwd)
work=${QUILLORA_BENCH_DIR:-/tmp/quillora-bench}/workbench
mkdir -p "$work"
cli="$build/bin/quillora-cli"
window="$build/bin/quillora-window-workbench"
base="$work/base-$records.dbf"
[ -f "$base" ] || /usr/bin/python3 "$here/make_dbf.py" "$base" "$records"

# operation, extra cli flags, window value
runs=(
  "zeros|--width 5|"
  "fill|--value Preenchido|Preenchido"
  "cut|--start 2 --count 3|"
  "sequence|--value 1|1"
  "recno||"
  "case|--upper|"
)
printf '%-9s %10s %10s %12s %12s %7s\n' operação "cli (s)" "janela (s)" "cli KiB" "janela KiB" "janela/cli"
for r in "${runs[@]}"; do
  IFS='|' read -r op flags value <<<"$r"
  cp "$base" "$work/t.dbf"
  start=$(date +%s.%N)
  /usr/bin/time -f %M -o "$work/mem" "$cli" column "$work/t.dbf" --column NOME --operation "$op" $flags --locale pt_BR >/dev/null 2>&1
  cli_mem=$(tail -1 "$work/mem")
  cli_s=$(echo "$(date +%s.%N) - $start" | bc)
  cp "$base" "$work/t.dbf"
  start=$(date +%s.%N)
  QT_QPA_PLATFORM=offscreen /usr/bin/time -f %M -o "$work/mem" "$window" "$work/t.dbf" NOME "$op" $value >/dev/null 2>&1
  win_mem=$(tail -1 "$work/mem")
  win_s=$(echo "$(date +%s.%N) - $start" | bc)
  printf '%-9s %10.2f %10.2f %12s %12s %7.2f\n' "$op" "$cli_s" "$win_s" "$cli_mem" "$win_mem" "$(echo "$win_s / $cli_s" | bc -l)"
done
