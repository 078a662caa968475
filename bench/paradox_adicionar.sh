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

# One run: copies the empty destination (and its .PX), appends, prints "wall cpu peak_kib"
# (cpu = user + system seconds, steadier than wall time on a shared machine).
run() {
  local src=$1 empty=$2 map=$3 dest="$work/px_destino.${2##*.}"
  rm -f "$work"/px_destino.*
  cp "$empty" "$dest"
  [ -f "${empty%.*}.px" ] && cp "${empty%.*}.px" "$work/px_destino.px"
  /usr/bin/time -f "%e %U %S %M" -o "$work/px_time" \
    "$cli" process --source "$src" --dest "$dest" --map "$map" --operation Adicionar --locale pt_BR >/dev/null 2>&1
  awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }' "$work/px_time"
}
ratio() { /usr/bin/python3 -c "print('%.2f' % ($1 / $2))"; }
echo "== Adicionar of $records records into Paradox, against the same run into dBase (wall s / cpu s / peak KiB)"
for order in increasing random; do
  src="$work/numerados_$order.dbf"
  read -r dbf dbfcpu dbfkib < <(run "$src" "$work/px_vazio.dbf" "$work/px_dbf.map")
  read -r unkeyed unkeyedcpu unkeyedkib < <(run "$src" "$work/px_unkeyed.db" "$work/px.map")
  read -r keyed keyedcpu keyedkib < <(run "$src" "$work/px_keyed.db" "$work/px.map")
  printf 'keys in %s order: dBase %.2f s; unkeyed Paradox %.2f s (%sx); keyed Paradox %.2f s (%sx)\n' \
    "$order" "$dbf" "$unkeyed" "$(ratio "$unkeyed" "$dbf")" "$keyed" "$(ratio "$keyed" "$dbf")"
  printf '  cpu: dBase %s s %s KiB; unkeyed %s s (%sx) %s KiB; keyed %s s (%sx) %s KiB\n' \
    "$dbfcpu" "$dbfkib" "$unkeyedcpu" "$(ratio "$unkeyedcpu" "$dbfcpu")" "$unkeyedkib" \
    "$keyedcpu" "$(ratio "$keyedcpu" "$dbfcpu")" "$keyedkib"
done
