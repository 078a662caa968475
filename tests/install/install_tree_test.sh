#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks what a desktop will look for there.
# usage: install_tree_test.sh BUILD_DIR SAMPLES_DIR
set -uo pipefail
build=$1 samples=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0 missing_tools=()
fail() { echo "FALHA: $*"; failures=$((failures + 1)); }
have() { command -v "$1" >/dev/null || { missing_tools+=("$1"); return 1; }; }

cmake --install "$build" --prefix "$scratch/usr" >"$scratch/install.log" 2>&1 || { cat "$scratch/install.log"; exit 1; }
share=$scratch/usr/share

for f in bin/quillora bin/quillora-cli; do
  [ -x "$scratch/usr/$f" ] || fail "$f não foi instalado como executável"
done
for f in applications/org.quillora.Quillora.desktop metainfo/org.quillora.Quillora.metainfo.xml \
         mime/packages/quillora.xml icons/hicolor/scalable/apps/quillora.svg \
         man/man1/quillora.1.gz man/man1/quillora-cli.1.gz doc/quillora/LICENSE; do
  [ -s "$share/$f" ] || fail "falta share/$f"
done

# Every bitmap icon is a PNG of the size its folder names.
for n in 16 32 48 64 128 256; do
  png=$share/icons/hicolor/${n}x${n}/apps/quillora.png
  if [ ! -s "$png" ]; then fail "falta o ícone ${n}x${n}"; continue; fi
  size=$(python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); assert d[:8]==b"\x89PNG\r\n\x1a\n"; print("%dx%d" % struct.unpack(">II", d[16:24]))' "$png" 2>/dev/null)
  [ "$size" = "${n}x${n}" ] || fail "ícone ${n}x${n} tem tamanho '${size}'"
done

desktop=$share/applications/org.quillora.Quillora.desktop
grep -qx 'Exec=quillora %f' "$desktop" || fail "a entrada não passa o arquivo ao programa (Exec)"
grep -q '^MimeType=.*application/x-dbf;' "$desktop" || fail "a entrada não oferece application/x-dbf"
grep -q '^MimeType=.*application/x-paradox-table;' "$desktop" || fail "a entrada não oferece as tabelas Paradox"
grep -qx 'Icon=quillora' "$desktop" || fail "a entrada não usa o ícone instalado"
if have desktop-file-validate; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate recusou a entrada"
fi
if have appstreamcli; then
  appstreamcli validate --no-net --explain "$share/metainfo/org.quillora.Quillora.metainfo.xml" \
    || fail "appstreamcli recusou o metainfo"
  version=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$share/metainfo/org.quillora.Quillora.metainfo.xml")
  [ -n "$version" ] || fail "o metainfo não tem a versão"
fi
# The MIME file is read by the tool that builds the desktop's MIME cache.
if have xmllint; then
  xmllint --noout "$share/mime/packages/quillora.xml" || fail "quillora.xml não é XML válido"
fi
if have update-mime-database; then
  out=$(update-mime-database "$share/mime" 2>&1) || fail "update-mime-database falhou: $out"
  if grep -qi "error\|warning\|invalid" <<<"$out"; then fail "update-mime-database reclamou: $out"; fi
  [ -s "$share/mime/application/x-paradox-table.xml" ] || fail "o cache MIME não tem o tipo Paradox"
fi
# What a desktop (GIO) makes of real tables with the installed files beside the system's: each
# is recognised by its contents and offered to Quillora; a SQLite file named .db is left alone.
if [ -d "$samples" ] && have update-desktop-database && have gio; then
  update-desktop-database "$share/applications" || fail "update-desktop-database falhou"
  python3 -c 'import sqlite3,sys; c=sqlite3.connect(sys.argv[1]); c.execute("create table t(x)"); c.commit()' \
    "$scratch/outro.db"
  content_type() {
    PATH="$scratch/usr/bin:$PATH" XDG_DATA_DIRS="$share:/usr/share" XDG_DATA_HOME="$scratch/none" \
      gio info -a standard::content-type "$1" | sed -n 's/.*standard::content-type: //p'
  }
  offered_to() {
    PATH="$scratch/usr/bin:$PATH" XDG_DATA_DIRS="$share:/usr/share" XDG_DATA_HOME="$scratch/none" gio mime "$1" 2>&1
  }
  for pair in "paradox/pyparadox/test.db application/x-paradox-table" \
              "dbase/olemb-dbfread/people.dbf application/x-dbf"; do
    file=$samples/${pair%% *} type=${pair##* }
    got=$(content_type "$file")
    [ "$got" = "$type" ] || fail "$file foi reconhecido como '$got', não $type"
    grep -q "org.quillora.Quillora.desktop" <<<"$(offered_to "$type")" || fail "$type não é oferecido ao Quillora: $(offered_to "$type")"
  done
  got=$(content_type "$scratch/outro.db")
  [ "$got" != application/x-paradox-table ] || fail "um arquivo SQLite .db foi tomado por tabela Paradox"
fi
if have man; then
  for page in quillora quillora-cli; do
    warnings=$(MANWIDTH=80 man --warnings -l "$share/man/man1/$page.1.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man $page avisa: $warnings"
    MANWIDTH=80 man -l "$share/man/man1/$page.1.gz" 2>/dev/null | grep -q "STATUS DE SAÍDA" \
      || fail "man $page não mostra a página instalada"
  done
fi

# The installed programs run from where they were put.
cli=$scratch/usr/bin/quillora-cli
out=$("$cli" --version) || fail "quillora-cli --version saiu com erro"
[[ "$out" =~ ^quillora-cli\ [0-9]+\.[0-9]+ ]] || fail "quillora-cli --version: '$out'"
out=$("$scratch/usr/bin/quillora" --version) || fail "quillora --version saiu com erro"
[[ "$out" =~ ^quillora\ [0-9]+\.[0-9]+ ]] || fail "quillora --version: '$out'"
sample=$samples/dbase/olemb-dbfread/people.dbf
if [ -f "$sample" ]; then
  out=$("$cli" info "$sample" 2>&1) || fail "quillora-cli info saiu com erro: $out"
  grep -q "NAME" <<<"$out" || fail "quillora-cli info não lista os campos de people.dbf: $out"
  grep -q "BIRTHDATE" <<<"$out" || fail "quillora-cli info não lista os campos de people.dbf: $out"
else
  missing_tools+=("as amostras ($samples)")
fi

if [ "$failures" -gt 0 ]; then echo "$failures falha(s)"; exit 1; fi
if [ ${#missing_tools[@]} -gt 0 ]; then
  echo "SKIP: faltam ${missing_tools[*]} (./quillora test instala os programas; as amostras ficam em ../shared/samples)"
  exit 77
fi
echo "instalação conferida em $scratch"
