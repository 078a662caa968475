#!/usr/bin/env bash
# The table of speed ratios, read from the logs bench/run.sh keeps of each benchmark:
#   bench/summary.sh LOG_DIR
# Every ratio is our time over the other run's time (wall clock, the best of the runs each
# benchmark makes); "—" where a benchmark did not run or printed no figure.
set -uo pipefail
logs=$1

# The first number matched by an extended regular expression's last group in a log.
pick() {  # LOG REGEX
  [ -f "$logs/$1" ] || return 0
  sed -nE "s/.*$2.*/\\1/p" "$logs/$1" | tail -1
}
row() {  # WORK NOW GOAL
  printf '| %-78s | %-22s | %-28s |\n' "$1" "${2:-—}" "$3"
}

dump=$(pick dump.log 'ratio dump/pgdbf: ([0-9.]+)')
adic=$(pick adicionar.log 'ratio quillora-cli/dbfcat: ([0-9.]+)')
adic_win=$(pick adicionar.log 'ratio window/dbfcat: ([0-9.]+)')
unkeyed=$(pick paradox.log 'increasing order.*unkeyed[^(]*\(([0-9.]+)x\)')
keyed=$(pick paradox.log 'increasing order.*[^n]keyed[^(]*\(([0-9.]+)x\)')
keyed_random=$(pick paradox.log 'random order.*[^n]keyed[^(]*\(([0-9.]+)x\)')
upd=$(pick atualizar_comparar.log 'ratio to Adicionar: Atualizar ([0-9.]+)')
cmp=$(pick atualizar_comparar.log 'ratio to Adicionar: Atualizar [0-9.]+, Comparar ([0-9.]+)')
col_min=$(pick workbench.log 'ratio janela/cli: ([0-9.]+)')
col_max=$(pick workbench.log 'ratio janela/cli: [0-9.]+ a ([0-9.]+)')
check=$(pick check.log '([0-9]+\.[0-9]+)x')

both() { [ -n "$1" ] && [ -n "$2" ] && echo "$1 / $2"; }
range() { [ -n "$1" ] && [ -n "$2" ] && { [ "$1" = "$2" ] && echo "$1" || echo "$1-$2"; }; }
with_window() { [ -n "$1" ] && echo "$1${2:+ (janela $2)}"; }

echo
echo "== summary: our time over the other run's (wall clock, best run)"
row "work" "now" "goal"
row "---" "---" "---"
row '`quillora-cli dump` against pgdbf' "$dump" "at most 0.6"
row '"Adicionar" dBase to dBase against dbfcat' "$(with_window "$adic" "$adic_win")" "at most 0.2"
row '"Adicionar" into unkeyed Paradox (pxlib made it) against dBase' "$unkeyed" "at most 1.5"
row '"Adicionar" into keyed Paradox, increasing keys, against dBase' "$keyed" "at most 2"
row '"Adicionar" into keyed Paradox, random keys, against dBase' "$keyed_random" "at most 4"
row '"Atualizar" / "Comparar" 1M x 1M against "Adicionar"' "$(both "$upd" "$cmp")" "at most 1.5"
row 'column run in the processing window against `quillora-cli column`' "$(range "$col_min" "$col_max")" "at most 1.1, start-up included"
row '`quillora-cli check` of a whole family against `dump`' "$check" "at most 3"
