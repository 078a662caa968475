#!/usr/bin/env bash
# Every option and subcommand that a program's --help lists is described in its manual page.
# usage: man_pages_test.sh BIN_DIR MAN_DIR
set -uo pipefail
bin=$1 man=$2
failures=0
fail() { echo "FALHA: $*"; failures=$((failures + 1)); }

# The page's text as a reader sees the option names: roff writes a dash as "\-".
page_text() { sed 's/\\-/-/g; s/\\f[BIRP]//g' "$1"; }

check_program() {
  local program=$1 page=$man/$1.1 help text options
  help=$("$bin/$program" --help) || { fail "$program --help saiu com erro"; return; }
  [ -s "$page" ] || { fail "falta a página $page"; return; }
  text=$(page_text "$page")
  options=$(grep -oE '(^|[^[:alnum:]-])--?[a-z][a-z-]*' <<<"$help" | grep -oE -- '--?[a-z][a-z-]*' | sort -u)
  [ "$(wc -l <<<"$options")" -ge "$2" ] || fail "$program --help listou poucas opções: $options"
  for option in $options; do
    grep -qE -- "(^|[^[:alnum:]-])${option}([^[:alnum:]-]|$)" <<<"$text" || fail "$program: $option está no --help e não na página de manual"
  done
  for section in "SINOPSE" "DESCRIÇÃO" "OPÇÕES" "STATUS DE SAÍDA" "EXEMPLOS"; do
    grep -qx "\.SH $section" "$page" || fail "$program: a página não tem a seção $section"
  done
}

check_program quillora 2
check_program quillora-cli 20

# Each subcommand heads an entry of the COMMANDS section.
help=$("$bin/quillora-cli" --help)
commands=$(sed -n '/^Comandos:/,/^Opções/p' <<<"$help" | grep -oE '^  [a-z]+ ' | tr -d ' ')
[ "$(wc -l <<<"$commands")" -ge 7 ] || fail "quillora-cli --help listou poucos comandos: $commands"
section=$(page_text "$man/quillora-cli.1" | sed -n '/^\.SH COMANDOS/,/^\.SH OPÇÕES/p')
for command in $commands; do
  grep -qE "^\.BI? \"?$command( |\"|$)" <<<"$section" || fail "quillora-cli: o comando $command não tem entrada na página"
done
# The exit codes the programs document.
for code in 0 1 2; do
  page_text "$man/quillora-cli.1" | sed -n '/^\.SH STATUS DE SAÍDA/,/^\.SH /p' | grep -qx "\.B $code" \
    || fail "quillora-cli: a página não descreve a saída $code"
done

if [ "$failures" -gt 0 ]; then echo "$failures falha(s)"; exit 1; fi
echo "páginas de manual conferidas"
