#!/usr/bin/env bash
# Benchmarks, run on demand (./quillora bench). Each prints figures measured in one run.
#   bench/run.sh BUILD_DIR [RECORDS]
set -euo pipefail
build=$(cd "$1" && pwd)
records=${2:-1000000}
here=$(cd "$(dirname "$0")" && pwd)
work=${QUILLORA_BENCH_DIR:-/tmp/quillora-bench}
mkdir -p "$work"
# Each benchmark's output is kept here too; bench/summary.sh reads the figures back at the end.
logs="$work/logs"
rm -rf "$logs"
mkdir -p "$logs"
cli="$build/bin/quillora-cli"

table="$work/clientes.dbf"
if [ ! -f "$table" ] || [ "$(stat -c %s "$table")" -lt $((records * 78 + 226)) ]; then
  echo "== generating $records records in $table"
  /usr/bin/python3 "$here/make_dbf.py" "$table" "$records"
fi

{
echo "== dump: quillora-cli dump vs pgdbf on $records records"
hyperfine --warmup 1 --runs 5 --export-markdown "$work/dump.md" --export-json "$work/dump.json" \
  -n "quillora-cli dump" "$cli dump --locale pt_BR $table > /dev/null" \
  -n pgdbf "pgdbf $table > /dev/null"
"$here/hyperfine_ratio.py" "$work/dump.json" "dump/pgdbf" "quillora-cli dump" pgdbf
echo "peak memory (KiB), quillora-cli dump: $(/usr/bin/time -f %M "$cli" dump --locale pt_BR "$table" 2>&1 >/dev/null | tail -1)"
echo "peak memory (KiB), pgdbf:             $(/usr/bin/time -f %M pgdbf "$table" 2>&1 >/dev/null | tail -1)"
} | tee "$logs/dump.log"

# Benchmarks of the engine's formats (built with QUILLORA_BENCH=ON) run when present.
for b in "$build"/bin/bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" "$work"
done

# "Adicionar" through quillora-cli process and the main window against dbfcat.
"$here/adicionar.sh" "$build" "$records" | tee "$logs/adicionar.log" || echo "== adicionar.sh failed"

# "Adicionar" into unkeyed and keyed Paradox tables against the same run into dBase.
"$here/paradox_adicionar.sh" "$build" "$records" | tee "$logs/paradox.log" || echo "== paradox_adicionar.sh failed"

# A column run on a Paradox primary key, at two sizes (its cost must grow as n log n).
"$here/paradox_column.sh" "$build" $((records / 10)) "$records" | tee "$logs/paradox_column.log" \
  || echo "== paradox_column.sh failed"

# "Atualizar" and "Comparar" against "Adicionar", with and without an .ndx on the key.
"$here/atualizar_comparar.sh" "$build" "$records" | tee "$logs/atualizar_comparar.log" || echo "== atualizar_comparar.sh failed"

# The six column operations through quillora-cli column and through the processing window.
"$here/workbench.sh" "$build" "$records" | tee "$logs/workbench.log" || echo "== workbench.sh failed"

# What the rollback journal costs "Adicionar" and "Atualizar".
"$here/journal.sh" "$build" "$records" || echo "== journal.sh failed"

# `quillora-cli check` of a whole family against `dump`, where that benchmark exists.
if [ -x "$here/check.sh" ]; then
  "$here/check.sh" "$build" "$records" | tee "$logs/check.log" || echo "== check.sh failed"
fi

# Every row of the speed table with its ratio and goal.
"$here/summary.sh" "$logs"
