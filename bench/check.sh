#!/usr/bin/env bash
# "check" of a dBase table with a production .mdx against "dump" of the same table (run by
# bench/run.sh, or alone):  bench/check.sh BUILD_DIR [RECORDS]
# The table comes from make_dbf.py; its .mdx (tags ID, NOME and UPPER(CIDADE)+NOME) starts empty
# and is filled by "quillora-cli repair", which finds every record missing from it. Times are CPU
# time (user + system), which the load of other programs does not inflate.
set -euo pipefail
build=$(cd "$1" && pwd)
records=${2:-1000000}
here=$(cd "$(dirname "$0")" && pwd)
work=${QUILLORA_BENCH_DIR:-/tmp/quillora-bench}
mkdir -p "$work"
cli="$build/bin/quillora-cli"
table="$work/verificar_$records.dbf"
mdx="${table%.dbf}.mdx"
if [ ! -f "$table" ] || [ ! -f "$mdx" ]; then
  rm -f "$table" "$mdx"
  /usr/bin/python3 "$here/make_dbf.py" "$table" "$records" random
  /usr/bin/python3 - "$table" "$mdx" <<'PY'
import struct, sys
table, mdx = sys.argv[1], sys.argv[2]
tags = [("ID", "ID", "N", 12), ("NOME", "NOME", "C", 30), ("CIDNOME", "UPPER(CIDADE)+NOME", "C", 50)]
pages_per_tag = 4  # a header block and one empty leaf block
f = bytearray((4 + len(tags) * pages_per_tag) * 512)
f[0:4] = bytes([2, 26, 1, 1])
base = table.rsplit("/", 1)[-1].rsplit(".", 1)[0].upper().encode()[:15]
f[4:4 + len(base)] = base
struct.pack_into("<HHBBBxH", f, 20, 2, 1024, 1, 0x30, 0x20, len(tags))
f[31] = 0x1B
struct.pack_into("<I", f, 32, len(f) // 512)
f[529] = 1
for i, (name, expr, kind, length) in enumerate(tags):
    header = 4 + i * pages_per_tag
    e = 544 + i * 32
    struct.pack_into("<I", f, e, header)
    f[e + 4:e + 4 + len(name)] = name.encode()
    f[e + 15] = 0x00 if "(" in expr else 0x10
    f[e + 17] = i + 2 if i + 1 < len(tags) else 0
    f[e + 18] = i
    f[e + 19] = 2
    f[e + 20] = ord(kind)
    h = header * 512
    item = 4 + (length + 3) // 4 * 4
    struct.pack_into("<II", f, h, header + 2, 2)
    f[h + 8] = 0x10
    f[h + 9] = ord(kind)
    f[h + 11] = 0x1B
    struct.pack_into("<HHHH", f, h + 12, length, (1024 - 8) // item, 0, item)
    f[h + 24:h + 24 + len(expr)] = expr.encode()
    struct.pack_into("<II", f, h + 248, header + 2, header + 2)
open(mdx, "wb").write(f)
with open(table, "r+b") as t:  # the production index flag
    t.seek(28)
    t.write(b"\x01")
PY
  "$cli" repair "$table" >/dev/null
fi

# CPU seconds (user + system) of one command, its output thrown away.
cpu() {
  local times="$work/verificar.time"
  /usr/bin/time -o "$times" -f "%U %S" "$@" >/dev/null 2>&1 || true
  awk '{print $1 + $2}' "$times"
}
echo "== check of $records records with an .mdx of 3 tags, against dump of the same table"
"$cli" check "$table" >/dev/null || { echo "check found faults in $table"; "$cli" check "$table" | head -5; exit 1; }
check=$(cpu "$cli" check "$table")
dump=$(cpu "$cli" dump "$table")
printf 'check %.2f s; dump %.2f s; check/dump %.2fx (CPU time)\n' "$check" "$dump" \
  "$(/usr/bin/python3 -c "print($check / max($dump, 0.001))")"
