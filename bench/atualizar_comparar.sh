#!/usr/bin/env bash
# "Atualizar" and "Comparar" of a large source against a destination of as many records, keyed
# on NOME, through quillora-cli, beside "Adicionar" of the same table:
#   bench/atualizar_comparar.sh BUILD_DIR [RECORDS]
# Goal: each run at most three times the time of "Adicionar", and peak memory flat (the same
# at a tenth of the records as at all of them). Needs GNU time (/usr/bin/time).
set -euo pipefail
build=$(cd "$1" && pwd)
records=${2:-1000000}
here=$(cd "$(dirname "$0")" && pwd)
work=${QUILLORA_BENCH_DIR:-/tmp/quillora-bench}
mkdir -p "$work"
cli="$build/bin/quillora-cli"

count() { "$cli" info "$1" | sed -n 's/^Registros: //p'; }
generate() {  # PATH N: a table of N records, unless it is there already
  if [ ! -f "$1" ] || [ "$(count "$1")" != "$2" ]; then
    echo "== generating $2 records in $1"
    /usr/bin/python3 "$here/make_dbf.py" "$1" "$2"
  fi
}

source="$work/clientes.dbf"
small="$work/clientes_10pct.dbf"
empty="$work/ac_vazio.dbf"
dest="$work/ac_destino.dbf"
pristine="$work/ac_destino_original.dbf"
generate "$source" "$records"
generate "$small" $((records / 10))
rm -f "$empty"
/usr/bin/python3 "$here/make_dbf.py" "$empty" 0
# The destination holds the same keys and the same values: Atualizar finds nothing to write.
cp "$source" "$pristine"
# And one where every record's QTD differs, so that Atualizar rewrites every record.
changed="$work/ac_destino_alterado.dbf"
/usr/bin/python3 - "$source" "$changed" <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
count, hlen, rlen = struct.unpack("<IHH", data[4:12])
at = 1 + 30 + 20 + 12  # QTD, after the deletion flag, NOME, CIDADE and VALOR
for i in range(count):
    o = hlen + i * rlen + at
    data[o:o + 6] = str((int(data[o:o + 6]) + 1) % 1000).rjust(6).encode("ascii")
open(sys.argv[2], "wb").write(data)
PY

map="$work/ac.map"
printf 'CIDADE=CIDADE\nVALOR=VALOR\nQTD=QTD\nNASC=NASC\nATIVO=ATIVO\n' > "$map"
addmap="$work/ac_adicionar.map"
printf 'NOME=NOME\nCIDADE=CIDADE\nVALOR=VALOR\nQTD=QTD\nNASC=NASC\nATIVO=ATIVO\n' > "$addmap"
list="$work/ac_divergencias.txt"
keys="--source-key NOME --dest-key NOME --locale pt_BR"

# An .ndx on NOME beside the destination, for the runs with an index on disk; written here, from
# the format's published layout, so that no Quillora code makes the fixture.
ndx_writer="$work/ac_write_ndx.py"
cat > "$ndx_writer" <<'PY'
import struct, sys
dbf, ndx, field = sys.argv[1], sys.argv[2], sys.argv[3]
with open(dbf, "rb") as f:
    head = f.read(32)
    count, hlen, rlen = struct.unpack("<IHH", head[4:12])
    offset, length, pos = None, None, 1
    while True:
        d = f.read(32)
        if d[0] == 0x0D:
            break
        if d[:11].split(b"\0")[0].decode("ascii") == field:
            offset, length = pos, d[16]
        pos += d[16]
    f.seek(hlen)
    keys = []
    for i in range(count):
        rec = f.read(rlen)
        keys.append((rec[offset:offset + length], i + 1))
keys.sort()
group = 8 + (length + 3) // 4 * 4
per = (512 - 8) // group
blocks = []
def node(groups, extra=None):
    b = struct.pack("<I", len(groups)) + b"".join(
        struct.pack("<II", c, r) + k.ljust(group - 8, b"\0") for c, r, k in groups)
    if extra is not None:
        b += struct.pack("<I", extra)
    blocks.append(b.ljust(512, b"\0"))
    return len(blocks)
level = []
for i in range(0, len(keys), per):
    chunk = keys[i:i + per]
    level.append((node([(0, r, k) for k, r in chunk]), chunk[-1][0]))
while len(level) > 1:
    up, i, fan = [], 0, per + 1
    while i < len(level):
        kids = level[i:i + fan]
        if len(level) - (i + fan) == 1:
            kids = level[i:i + fan - 1]
        i += len(kids)
        up.append((node([(c, 0, k) for c, k in kids[:-1]], kids[-1][0]), kids[-1][1]))
    level = up
root = level[0][0] if level else node([])
header = struct.pack("<IIIHHHHHBB", root, len(blocks) + 1, 0, length, per, 0, group, 0, 0, 0)
with open(ndx, "wb") as out:
    out.write((header + field.lower().encode("ascii") + b"\0").ljust(512, b"\0"))
    for b in blocks:
        out.write(b)
PY
pristine_ndx="${pristine%.dbf}.ndx"
dest_ndx="${dest%.dbf}.ndx"
/usr/bin/python3 "$ndx_writer" "$pristine" "$pristine_ndx" NOME

# Seconds of wall time, peak KiB and CPU seconds (user + system) of one run: "seconds kib cpu".
measure() { /usr/bin/time -f '%e %M %U %S' "$@" 2>&1 >/dev/null | tail -1 | awk '{print $1, $2, $3 + $4}'; }
# The best of three runs of an operation, each on a fresh copy of its destination.
best_of_three() {  # LABEL DEST_TEMPLATE WITH_INDEX(0|1) COMMAND...
  local label=$1 template=$2 indexed=$3 best="" best_cpu=""
  shift 3
  for _ in 1 2 3; do
    cp "$template" "$dest"
    rm -f "$dest_ndx"
    [ "$indexed" = 1 ] && cp "$pristine_ndx" "$dest_ndx"
    local s cpu
    read -r s _ cpu < <(measure "$@")
    if [ -z "$best" ] || awk "BEGIN{exit !($s < $best)}"; then best=$s; fi
    if [ -z "$best_cpu" ] || awk "BEGIN{exit !($cpu < $best_cpu)}"; then best_cpu=$cpu; fi
  done
  echo "$label: ${best} s, CPU ${best_cpu} s (best of 3)"
  eval "${label}_s=$best"
  eval "${label}_cpu=$best_cpu"
}

echo "== $records records: Adicionar (into an empty table), Atualizar and Comparar (against $records), no index on disk"
best_of_three Adicionar "$empty" 0 "$cli" process --source "$source" --dest "$dest" --map "$addmap" --operation Adicionar --locale pt_BR
best_of_three Atualizar "$pristine" 0 "$cli" update --source "$source" --dest "$dest" --map "$map" $keys
best_of_three Comparar "$pristine" 0 "$cli" compare --source "$source" --dest "$dest" --map "$map" $keys --out "$list"
best_of_three AtualizarTodos "$changed" 0 "$cli" update --source "$source" --dest "$dest" --map "$map" $keys
echo "== the same with an .ndx on NOME beside the destination"
best_of_three AtualizarNdx "$pristine" 1 "$cli" update --source "$source" --dest "$dest" --map "$map" $keys
best_of_three CompararNdx "$pristine" 1 "$cli" compare --source "$source" --dest "$dest" --map "$map" $keys --out "$list"
awk "BEGIN{printf \"ratio to Adicionar: Atualizar %.2f, Comparar %.2f; with the .ndx: Atualizar %.2f, Comparar %.2f (goal: at most 1.5)\\n\", \
  $Atualizar_s/$Adicionar_s, $Comparar_s/$Adicionar_s, $AtualizarNdx_s/$Adicionar_s, $CompararNdx_s/$Adicionar_s}"
awk "BEGIN{printf \"CPU ratio to Adicionar: Atualizar %.2f, Comparar %.2f; with the .ndx: Atualizar %.2f, Comparar %.2f\\n\", \
  $Atualizar_cpu/$Adicionar_cpu, $Comparar_cpu/$Adicionar_cpu, $AtualizarNdx_cpu/$Adicionar_cpu, $CompararNdx_cpu/$Adicionar_cpu}"
awk "BEGIN{printf \"every record rewritten: Atualizar %.2f (CPU %.2f) of Adicionar\\n\", $AtualizarTodos_s/$Adicionar_s, $AtualizarTodos_cpu/$Adicionar_cpu}"
"$cli" info "$dest" | grep -A1 '^Índices' | tail -1 | sed 's/^/index on the destination after the last run: /'

# Every record was paired: the list holds its three header lines only.
cp "$pristine" "$dest"
rm -f "$dest_ndx"
"$cli" compare --source "$source" --dest "$dest" --map "$map" $keys --out "$list" 2>/dev/null
echo "divergence list lines (3 = header only, every pair equal): $(wc -l < "$list")"

for src in "$small" "$source"; do
  n=$(count "$src")
  rm -f "$dest_ndx"
  cp "$empty" "$dest"
  add_kib=$(/usr/bin/time -f %M "$cli" process --source "$src" --dest "$dest" --map "$addmap" --operation Adicionar 2>&1 >/dev/null | tail -1)
  cp "$src" "$dest"
  upd_kib=$(/usr/bin/time -f %M "$cli" update --source "$src" --dest "$dest" --map "$map" $keys 2>&1 >/dev/null | tail -1)
  cp "$src" "$dest"
  cmp_kib=$(/usr/bin/time -f %M "$cli" compare --source "$src" --dest "$dest" --map "$map" $keys --out "$list" 2>&1 >/dev/null | tail -1)
  echo "peak memory (KiB) for $n records: Adicionar $add_kib, Atualizar $upd_kib, Comparar $cmp_kib"
done
