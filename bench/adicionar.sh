#!/usr/bin/env bash
# "Adicionar" of a large table, dBase to dBase (run by bench/run.sh, or alone):
#   bench/adicionar.sh BUILD_DIR [RECORDS]
# Needs a build with -DQUILLORA_BENCH=ON (bin/quillora-window-process), hyperfine and shapelib.
set -euo pipefail
build=$(cd "$1" && pwd)
records=${2:-1000000}
here=$(cd "$(dirname "$0")" && pwd)
work=${QUILLORA_BENCH_DIR:-/tmp/quillora-bench}
mkdir -p "$work"
cli="$build/bin/quillora-cli"

count() { "$cli" info "$1" | sed -n 's/^Registros: //p'; }
table="$work/clientes.dbf"
if [ ! -f "$table" ] || [ "$(count "$table")" != "$records" ]; then
  echo "== generating $records records in $table"
  /usr/bin/python3 "$here/make_dbf.py" "$table" "$records"
fi

# "Adicionar", dBase to dBase: quillora-cli process and the main window's run (progress window
# painting, offscreen) against shapelib's dbfcat appending the same records. Source and
# destination have the same fields, so dbfcat takes them; dbfcat adds ".dbf" to the names.
window="$build/bin/quillora-window-process"
if [ ! -x "$window" ] || ! command -v dbfcat >/dev/null; then
  echo "== Adicionar skipped: needs $window (QUILLORA_BENCH=ON) and dbfcat (shapelib)"
else
  empty="$work/adicionar_vazio.dbf"
  dest="$work/adicionar_destino.dbf"
  map="$work/adicionar.map"
  rm -f "$empty"
  /usr/bin/python3 "$here/make_dbf.py" "$empty" 0
  printf 'NOME=NOME\nCIDADE=CIDADE\nVALOR=VALOR\nQTD=QTD\nNASC=NASC\nATIVO=ATIVO\n' > "$map"
  export QT_QPA_PLATFORM=offscreen
  if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    XDG_RUNTIME_DIR=$(mktemp -d)
    export XDG_RUNTIME_DIR
  fi
  echo "== Adicionar of $records records, dBase to dBase: quillora-cli process, the window's run, dbfcat"
  hyperfine --runs 3 --export-markdown "$work/adicionar.md" --export-json "$work/adicionar.json" --prepare "cp $empty $dest" \
    -n "quillora-cli process" "$cli process --source $table --dest $dest --map $map --operation Adicionar --locale pt_BR 2>/dev/null" \
    -n "window run" "$window --source $table --dest $dest --map $map --operation Adicionar 2>/dev/null" \
    -n "dbfcat" "dbfcat ${table%.dbf} ${dest%.dbf}"
  "$here/hyperfine_ratio.py" "$work/adicionar.json" "quillora-cli/dbfcat" "quillora-cli process" dbfcat
  "$here/hyperfine_ratio.py" "$work/adicionar.json" "window/dbfcat" "window run" dbfcat
  # Every record arrived (the last run was dbfcat's; check ours once more).
  cp "$empty" "$dest"
  "$window" --source "$table" --dest "$dest" --map "$map" --operation Adicionar
  echo "records in the destination after the window's run: $(count "$dest")"
  # Memory stays flat: peak memory at a tenth of the records and at all of them.
  small="$work/clientes_10pct.dbf"
  [ -f "$small" ] && [ "$(count "$small")" = $((records / 10)) ] || /usr/bin/python3 "$here/make_dbf.py" "$small" $((records / 10))
  for src in "$small" "$table"; do
    n=$(count "$src")
    cp "$empty" "$dest"
    cli_kib=$(/usr/bin/time -f %M "$cli" process --source "$src" --dest "$dest" --map "$map" --operation Adicionar 2>&1 >/dev/null | tail -1)
    cp "$empty" "$dest"
    win_kib=$(/usr/bin/time -f %M "$window" --source "$src" --dest "$dest" --map "$map" 2>&1 >/dev/null | tail -1)
    cp "$empty" "$dest"
    cat_kib=$(/usr/bin/time -f %M dbfcat "${src%.dbf}" "${dest%.dbf}" 2>&1 >/dev/null | tail -1)
    echo "peak memory (KiB) for $n records: quillora-cli process $cli_kib, window run $win_kib, dbfcat $cat_kib"
  done
fi
