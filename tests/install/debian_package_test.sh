#!/usr/bin/env bash
# Builds the Debian package from the build folder, then checks its files and dependencies and
# runs the programs it carries, unpacked into a scratch root.
# usage: debian_package_test.sh BUILD_DIR SAMPLES_DIR
set -uo pipefail
build=$1 samples=$2
for tool in cpack dpkg-deb dpkg-shlibdeps; do
  command -v "$tool" >/dev/null || { echo "SKIP: falta $tool (pacote dpkg-dev; ./quillora test o instala)"; exit 77; }
done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FALHA: $*"; failures=$((failures + 1)); }

(cd "$build" && cpack -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1) || { cat "$scratch/cpack.log"; exit 1; }
debs=("$scratch"/out/quillora_*.deb)
[ -f "${debs[0]}" ] || { echo "FALHA: cpack não gerou quillora_*.deb"; cat "$scratch/cpack.log"; exit 1; }
deb=${debs[0]}

contents=$(dpkg-deb --contents "$deb")
for f in ./usr/bin/quillora ./usr/bin/quillora-cli ./usr/share/applications/org.quillora.Quillora.desktop \
         ./usr/share/metainfo/org.quillora.Quillora.metainfo.xml ./usr/share/mime/packages/quillora.xml \
         ./usr/share/icons/hicolor/48x48/apps/quillora.png ./usr/share/icons/hicolor/scalable/apps/quillora.svg \
         ./usr/share/man/man1/quillora.1.gz ./usr/share/man/man1/quillora-cli.1.gz ./usr/share/doc/quillora/copyright; do
  grep -q " $f\$" <<<"$contents" || fail "o pacote não tem $f"
done
# Nothing of the build but what is installed.
if grep -qE '_test|/tests?/|\.a$' <<<"$contents"; then fail "o pacote leva arquivos de teste: $contents"; fi

[ "$(dpkg-deb -f "$deb" Package)" = quillora ] || fail "nome do pacote"
depends=$(dpkg-deb -f "$deb" Depends)
# The package names alone, one a line (versions and alternatives dropped).
depends_names=$(sed 's/ *([^)]*)//g; s/ *| */\n/g; s/, */\n/g' <<<"$depends")
for lib in libqt6core6 libqt6gui6 libqt6widgets6 libc6 libstdc++6 fonts-dejavu-core; do
  grep -qxF "$lib" <<<"$depends_names" || fail "Depends não tem $lib: $depends"
done
# Each library a program of the package links belongs to a package that Depends names.
dpkg-deb -x "$deb" "$scratch/root"
for program in quillora quillora-cli; do
  for lib in $(readelf -d "$scratch/root/usr/bin/$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
    path=$(ldconfig -p | awk -v l="$lib" '$1 == l {print $NF; exit}')
    owner=$(dpkg -S "$(readlink -f "$path")" 2>/dev/null | head -1 | cut -d: -f1)
    [ -n "$owner" ] || owner=$(dpkg -S "$path" 2>/dev/null | head -1 | cut -d: -f1)
    if [ -z "$owner" ]; then fail "$program usa $lib, de nenhum pacote instalado"; continue; fi
    grep -qxF "$owner" <<<"$depends_names" || fail "$program usa $lib ($owner), que o pacote não exige: $depends"
  done
done

out=$("$scratch/root/usr/bin/quillora-cli" --version) || fail "quillora-cli --version do pacote saiu com erro"
[[ "$out" == "quillora-cli $(dpkg-deb -f "$deb" Version)" ]] || fail "versão: '$out' e o pacote diz $(dpkg-deb -f "$deb" Version)"
out=$("$scratch/root/usr/bin/quillora" --version) || fail "quillora --version do pacote saiu com erro"
if [ -f "$samples/paradox/pyparadox/test.db" ]; then
  out=$("$scratch/root/usr/bin/quillora-cli" info "$samples/paradox/pyparadox/test.db" 2>&1) \
    || fail "quillora-cli info do pacote numa tabela Paradox: $out"
  grep -q "^Formato: Paradox" <<<"$out" || fail "quillora-cli info do pacote: $out"
else
  echo "(sem as amostras em $samples: info não foi conferido)"
fi

if [ "$failures" -gt 0 ]; then echo "$failures falha(s)"; exit 1; fi
echo "pacote conferido: $(basename "$deb"), Depends: $depends"
