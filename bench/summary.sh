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
  sed -nE "s#.*$2.*#\\1#p" "$logs/$1" | tail -1
}
row() {  # WORK NOW GOAL
  printf '| %-74s | %-36s | %-30s |\n' "$1" "${2:-—}" "$3"
}

dump=$(pick dump.log '^ratio dump/pgdbf: ([0-9.]+)')
dump_cpu=$(pick dump.log '^ratio dump/pgdbf: .*CPU.*ratio ([0-9.]+)\)')
adic=$(pick adicionar.log '^ratio quillora-cli/dbfcat: ([0-9.]+)')
adic_cpu=$(pick adicionar.log '^ratio quillora-cli/dbfcat: .*CPU.*ratio ([0-9.]+)\)')
adic_win=$(pick adicionar.log '^ratio window/dbfcat: ([0-9.]+)')
unkeyed=$(pick paradox.log 'increasing order.*unkeyed[^(]*\(([0-9.]+)x\)')
keyed=$(pick paradox.log 'increasing order.*[^n]keyed[^(]*\(([0-9.]+)x\)')
keyed_random=$(pick paradox.log 'random order.*[^n]keyed[^(]*\(([0-9.]+)x\)')
upd=$(pick atualizar_comparar.log '^ratio to Adicionar: Atualizar ([0-9.]+)')
cmp=$(pick atualizar_comparar.log '^ratio to Adicionar: Atualizar [0-9.]+, Comparar ([0-9.]+)')
upd_cpu=$(pick atualizar_comparar.log '^CPU ratio to Adicionar: Atualizar ([0-9.]+)')
cmp_cpu=$(pick atualizar_comparar.log '^CPU ratio to Adicionar: Atualizar [0-9.]+, Comparar ([0-9.]+)')
upd_all=$(pick atualizar_comparar.log '^every record rewritten: Atualizar ([0-9.]+)')
upd_all_cpu=$(pick atualizar_comparar.log '^every record rewritten: Atualizar [0-9.]+ \(CPU ([0-9.]+)\)')
col_min=$(pick workbench.log '^ratio janela/cli: ([0-9.]+)')
col_max=$(pick workbench.log '^ratio janela/cli: [0-9.]+ a ([0-9.]+)')
col_cpu_min=$(pick workbench.log '^CPU ratio janela/cli: ([0-9.]+)')
col_cpu_max=$(pick workbench.log '^CPU ratio janela/cli: [0-9.]+ a ([0-9.]+)')
check=$(pick check.log '([0-9]+\.[0-9]+)x')

both() { [ -n "$1" ] && [ -n "$2" ] && echo "$1 / $2"; }
range() { [ -n "$1" ] && [ -n "$2" ] && { [ "$1" = "$2" ] && echo "$1" || echo "$1-$2"; }; }
# "wall (CPU c)" where the CPU ratio is known.
cpu() { [ -n "$1" ] && echo "$1${2:+ (CPU $2)}"; }

echo
echo "== summary: our time over the other run's (wall clock of the best run; CPU user + system in brackets)"
row "work" "now" "goal"
row "---" "---" "---"
row '`quillora-cli dump` against pgdbf' "$(cpu "$dump" "$dump_cpu")" "at most 0.6"
row '"Adicionar" dBase to dBase against dbfcat' "$(cpu "$adic" "$adic_cpu")${adic_win:+, janela $adic_win}" "at most 0.2"
row '"Adicionar" into unkeyed Paradox (pxlib made it) against dBase' "$unkeyed" "at most 1.5"
row '"Adicionar" into keyed Paradox, increasing keys, against dBase' "$keyed" "at most 2"
row '"Adicionar" into keyed Paradox, random keys, against dBase' "$keyed_random" "at most 4"
row '"Atualizar" / "Comparar", as many records each side, against "Adicionar"' "$(cpu "$(both "$upd" "$cmp")" "$(both "$upd_cpu" "$cmp_cpu")")" "at most 1.5"
row '"Atualizar" with every record rewritten, against "Adicionar"' "$(cpu "$upd_all" "$upd_all_cpu")" "(beside the row above)"
row 'column run in the processing window against `quillora-cli column`' "$(cpu "$(range "$col_min" "$col_max")" "$(range "$col_cpu_min" "$col_cpu_max")")" "at most 1.1, start-up included"
row '`quillora-cli check` of a whole family against `dump`' "$check" "at most 3"
