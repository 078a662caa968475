#!/usr/bin/env bash
# "Adicionar" into Paradox tables against the same run into dBase (run by bench/run.sh, or alone):
#   bench/paradox_adicionar.sh BUILD_DIR [RECORDS]
# The source is a dBase table with an ID numbering its records, in increasing or random order.
# Destinations: an empty unkeyed Paradox table made by pxlib, an empty table keyed on its ID
# (made by bench_paradox, since pxlib writes no keyed tables), and an empty dBase table.
set -euo pipefail
build=$(cd "$1" && pwd)
records=${2:-1000000}
here=$(cd "$(dirname "$0")" && pwd)
work=${QUILLORA_BENCH_DIR:-/tmp/quillora-bench}
mkdir -p "$work"
cli="$build/bin/quillora-cli"
if [ ! -x "$build/bin/paradox_pxlib_bench" ] || [ ! -x "$build/bin/bench_paradox" ]; then
  echo "== Paradox Adicionar skipped: needs bin/paradox_pxlib_bench and bin/bench_paradox (QUILLORA_BENCH=ON, pxlib)"
  exit 0
fi
for order in increasing random; do
  src="$work/numerados_$order.dbf"
  [ -f "$src" ] && [ "$("$cli" info "$src" | sed -n 's/^Registros: //p')" = "$records" ] ||
    /usr/bin/python3 "$here/make_dbf.py" "$src" "$records" "$order"
done
/usr/bin/python3 "$here/make_dbf.py" "$work/px_vazio.dbf" 0 increasing
rm -f "$work"/px_unkeyed.* "$work"/px_keyed.*
"$build/bin/paradox_pxlib_bench" append "$work/px_unkeyed.db" 0 >/dev/null
"$build/bin/bench_paradox" --append-keyed "$work/px_keyed.db" 0 >/dev/null
printf 'Id=ID\nNome=NOME\nCidade=CIDADE\nValor=VALOR\nQtd=QTD\nNasc=NASC\nAtivo=ATIVO\n' > "$work/px.map"
printf 'ID=ID\nNOME=NOME\nCIDADE=CIDADE\nVALOR=VALOR\nQTD=QTD\nNASC=NASC\nATIVO=ATIVO\n' > "$work/px_dbf.map"

# One run: copies the empty destination (and its .PX), appends, prints the seconds.
run() {
  local src=$1 empty=$2 map=$3 dest="$work/px_destino.${2##*.}"
  rm -f "$work"/px_destino.*
  cp "$empty" "$dest"
  [ -f "${empty%.*}.px" ] && cp "${empty%.*}.px" "$work/px_destino.px"
  local start end
  start=$(date +%s.%N)
  "$cli" process --source "$src" --dest "$dest" --map "$map" --operation Adicionar --locale pt_BR 2>/dev/null
  end=$(date +%s.%N)
  /usr/bin/python3 -c "print($end - $start)"
}
echo "== Adicionar of $records records into Paradox, against the same run into dBase"
for order in increasing random; do
  src="$work/numerados_$order.dbf"
  dbf=$(run "$src" "$work/px_vazio.dbf" "$work/px_dbf.map")
  unkeyed=$(run "$src" "$work/px_unkeyed.db" "$work/px.map")
  keyed=$(run "$src" "$work/px_keyed.db" "$work/px.map")
  printf 'keys in %s order: dBase %.2f s; unkeyed Paradox %.2f s (%.2fx); keyed Paradox %.2f s (%.2fx)\n' \
    "$order" "$dbf" "$unkeyed" "$(/usr/bin/python3 -c "print($unkeyed / $dbf)")" "$keyed" "$(/usr/bin/python3 -c "print($keyed / $dbf)")"
done
