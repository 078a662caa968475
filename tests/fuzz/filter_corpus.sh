#!/usr/bin/env bash
# Builds the seed corpus of fuzz_filter: one condition per file, covering every kind of token.
#   tests/fuzz/filter_corpus.sh OUT_DIR
set -euo pipefail
out=$1
mkdir -p "$out"
n=0
while IFS= read -r line; do
  n=$((n + 1))
  printf '%s' "$line" > "$out/seed_$n"
done <<'CONDITIONS'
NOME = 'ABC'
NOME = 'AB*' OR NOME <> 'O''Brien'
NOME = 'O'Brien' AND IDADE >= -5
NOT (IDADE > 25 AND IDADE <= 30) OR VALOR < 1,5
VALOR IN (1,5, 2, -0,25E+3)
NASC = '01/02/2000' OR NASC IS NULL
ATIVO = Verdadeiro AND NOT ATIVO = falso
ATIVO
[NOME COMPLETO] LIKE '%Bia_' OR OBS LIKE 'no*'
/* comentário */ IDADE IS NOT NULL
GRANDE = 1099511627776 AND PRECO <> 1,5
HORA < '11:00' OR QUANDO > '01/01/2001 07:00'
FOTO IS NULL
NOME = NULL OR NULL <> IDADE
UPPER(NOME) = 'X'
IDADE + 1 = 2
IDADE IN ()
NOME = "x"
[NOME
'abc' = NOME
CONDITIONS
