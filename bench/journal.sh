#!/usr/bin/env bash
# What the rollback journal costs: "Adicionar" and "Atualizar" of RECORDS records through
# quillora-cli, with the journal and with it switched off (QUILLORA_NO_JOURNAL=1, for
# benchmarks only):
#   bench/journal.sh BUILD_DIR [RECORDS]
# Goals: "Adicionar" at most 5% slower with the journal, "Atualizar" at most 30%.
set -euo pipefail
build=$(cd "$1" && pwd)
records=${2:-1000000}
here=$(cd "$(dirname "$0")" && pwd)
work=${QUILLORA_BENCH_DIR:-/tmp/quillora-bench}
mkdir -p "$work"
cli="$build/bin/quillora-cli"

count() { "$cli" info "$1" | sed -n 's/^Registros: //p'; }
source="$work/clientes.dbf"
if [ ! -f "$source" ] || [ "$(count "$source")" != "$records" ]; then
  echo "== generating $records records in $source"
  /usr/bin/python3 "$here/make_dbf.py" "$source" "$records"
fi
empty="$work/jr_vazio.dbf"
rm -f "$empty"
/usr/bin/python3 "$here/make_dbf.py" "$empty" 0
dest="$work/jr_destino.dbf"
addmap="$work/jr_adicionar.map"
printf 'NOME=NOME\nCIDADE=CIDADE\nVALOR=VALOR\nQTD=QTD\nNASC=NASC\nATIVO=ATIVO\n' > "$addmap"
updmap="$work/jr_atualizar.map"
printf 'CIDADE=CIDADE\nVALOR=VALOR\nQTD=QTD\nNASC=NASC\nATIVO=ATIVO\n' > "$updmap"
export XDG_STATE_HOME="$work/state"

echo "== Adicionar of $records records into an empty table: journal vs none"
hyperfine --runs 3 --export-markdown "$work/journal_adicionar.md" \
  --prepare "cp $empty $dest; rm -f $dest.quillora-journal" -n "com diário" \
  "$cli process --source $source --dest $dest --map $addmap --operation Adicionar --locale pt_BR" \
  --prepare "cp $empty $dest; rm -f $dest.quillora-journal" -n "sem diário" \
  "QUILLORA_NO_JOURNAL=1 $cli process --source $source --dest $dest --map $addmap --operation Adicionar --locale pt_BR"

echo "== Atualizar of $records x $records records keyed on NOME: journal vs none"
hyperfine --runs 3 --export-markdown "$work/journal_atualizar.md" \
  --prepare "cp $source $dest; rm -f $dest.quillora-journal" -n "com diário" \
  "$cli update --source $source --dest $dest --map $updmap --source-key NOME --dest-key NOME --locale pt_BR" \
  --prepare "cp $source $dest; rm -f $dest.quillora-journal" -n "sem diário" \
  "QUILLORA_NO_JOURNAL=1 $cli update --source $source --dest $dest --map $updmap --source-key NOME --dest-key NOME --locale pt_BR"
