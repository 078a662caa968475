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
export QT_QPA_PLATFORM=offscreen
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
# One run on a fresh copy of the table: "wall-seconds cpu-seconds peak-KiB".
timed() {
  cp "$base" "$work/t.dbf"
  local start end
  start=$(date +%s.%N)
  /usr/bin/time -f '%U %S %M' -o "$work/mem" "$@" >/dev/null 2>&1
  end=$(date +%s.%N)
  read -r user sys kib < <(tail -1 "$work/mem")
  echo "$(echo "$end - $start" | bc) $(echo "$user + $sys" | bc) $kib"
}
# The best of three runs (by wall time; start-up included).
best() {
  local best="" r
  for _ in 1 2 3; do
    r=$(timed "$@")
    if [ -z "$best" ] || awk "BEGIN{exit !(${r%% *} < ${best%% *})}"; then best=$r; fi
  done
  echo "$best"
}
printf '%-9s %10s %10s %10s %10s %12s %12s %7s\n' operação "cli (s)" "janela (s)" "cli CPU" "janela CPU" \
  "cli KiB" "janela KiB" "janela/cli"
ratios=()
cpu_ratios=()
for r in "${runs[@]}"; do
  IFS='|' read -r op flags value <<<"$r"
  # shellcheck disable=SC2086
  read -r cli_s cli_cpu cli_mem < <(best "$cli" column "$work/t.dbf" --column NOME --operation "$op" $flags --locale pt_BR)
  # shellcheck disable=SC2086
  read -r win_s win_cpu win_mem < <(best "$window" "$work/t.dbf" NOME "$op" $value)
  ratio=$(echo "$win_s / $cli_s" | bc -l)
  ratios+=("$ratio")
  cpu_ratios+=("$(echo "$win_cpu / $cli_cpu" | bc -l)")
  printf '%-9s %10.2f %10.2f %10.2f %10.2f %12s %12s %7.2f\n' "$op" "$cli_s" "$win_s" "$cli_cpu" "$win_cpu" \
    "$cli_mem" "$win_mem" "$ratio"
done
printf '%s\n' "${ratios[@]}" | sort -g | awk 'NR==1{lo=$1} {hi=$1} END{printf "ratio janela/cli: %.2f a %.2f (best of 3 runs each, wall clock, start-up included)\n", lo, hi}'
printf '%s\n' "${cpu_ratios[@]}" | sort -g | awk 'NR==1{lo=$1} {hi=$1} END{printf "CPU ratio janela/cli: %.2f a %.2f (user + system of the same runs)\n", lo, hi}'
