#!/usr/bin/env bash
# A column run on the primary key of a Paradox table, where every change moves its record
# (run by bench/run.sh, or alone):
#   bench/paradox_column.sh BUILD_DIR [RECORDS...]   (default: 100000 1000000)
# The table is keyed on an Alpha field filled with the numbers 1..N as text in random order
# ("1", "10", "100", ...); `zeros --width 10` rewrites every key as "0000000001", ..., which
# keeps the keys distinct but puts nearly every record somewhere else in the key order.
# Prints wall and cpu seconds, peak memory and cpu microseconds a record for each size: a run
# in n log n time keeps the last figure nearly flat.
set -euo pipefail
build=$(cd "$1" && pwd)
shift
sizes=${*:-100000 1000000}
here=$(cd "$(dirname "$0")" && pwd)
work=${QUILLORA_BENCH_DIR:-/tmp/quillora-bench}
mkdir -p "$work"
cli="$build/bin/quillora-cli"
if [ ! -x "$build/bin/bench_paradox" ]; then
  echo "== Paradox column run skipped: needs bin/bench_paradox (QUILLORA_BENCH=ON)"
  exit 0
fi
"$build/bin/bench_paradox" --empty-alpha-keyed "$work/pxa_vazio.db" 0 >/dev/null
printf 'Codigo=ID\nNome=NOME\nCidade=CIDADE\nValor=VALOR\nQtd=QTD\nNasc=NASC\nAtivo=ATIVO\n' > "$work/pxa.map"
echo "== column run (zeros) on the Alpha primary key of a Paradox table (wall s / cpu s / peak KiB)"
for n in $sizes; do
  src="$work/numerados_random_$n.dbf"
  [ -f "$src" ] && [ "$("$cli" info "$src" | sed -n 's/^Registros: //p')" = "$n" ] ||
    /usr/bin/python3 "$here/make_dbf.py" "$src" "$n" random
  rm -f "$work"/pxa.db "$work"/pxa.px
  cp "$work/pxa_vazio.db" "$work/pxa.db"
  cp "$work/pxa_vazio.px" "$work/pxa.px"
  "$cli" process --source "$src" --dest "$work/pxa.db" --map "$work/pxa.map" --operation Adicionar --locale pt_BR >/dev/null 2>&1
  /usr/bin/time -f "%e %U %S %M" -o "$work/pxa_time" \
    "$cli" column "$work/pxa.db" --column Codigo --operation zeros --width 10 --locale pt_BR >/dev/null 2>"$work/pxa_err" || {
    echo "column run failed:"; tail -5 "$work/pxa_err"; exit 1; }
  first=$("$cli" dump "$work/pxa.db" --locale pt_BR | sed -n '2p' | cut -d, -f1)
  awk -v n="$n" -v first="$first" '{ cpu = $2 + $3; printf "%d records: %.2f s wall, %.2f s cpu, %d KiB; %.2f us cpu a record; first key now %s\n", n, $1, cpu, $4, cpu * 1e6 / n, first }' "$work/pxa_time"
done
