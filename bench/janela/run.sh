#!/bin/sh
# A run in the window against a run of tolk-critica, in one command:
#   bench/janela/run.sh [BUILD]            (BUILD: the build folder, default "build")
#
# Over a delivery of 1,000,000 risks and 200,000 claims whose tickets come in
# no order, as real deliveries do (tolk-gerar --ordem aleatoria), bench_janela
# times round by round the window's run, from the click on "Criticar" to the
# final box, and the tolk-critica process, and prints each round, the medians
# and the ratio of the two against its goal. The delivery stays in
# BUILD/bench-janela/entrega/ (about 80 MB) and is reused by the next run; the
# program folder BUILD/bench-janela/programa/ holds the shipped dictionary and
# figures and receives bilhete.ntx (about 40 MB).
#
# Environment: TOLK_BENCH_RUNS the number of rounds (5).
set -eu

BUILD=${1:-build}
BIN=$BUILD/bin
OUT=$BUILD/bench-janela
RUNS=${TOLK_BENCH_RUNS:-5}

for exe in tolk-gerar tolk-critica bench_janela tabelas.dbf anexos.dbf DadosOrb.DBF; do
  if [ ! -e "$BIN/$exe" ]; then
    echo "bench-janela: $BIN/$exe is missing: build first (make build)" >&2
    exit 1
  fi
done

dir=$OUT/entrega
stamp="tolk-gerar --registros 1000000 --ordem aleatoria --semente 1"
if [ ! -f "$dir/riscos.dbf" ] || [ ! -f "$dir/sinistros.dbf" ] || [ "$(cat "$dir/stamp" 2>/dev/null)" != "$stamp" ]; then
  echo "== generating 1000000 risks and 200000 claims, tickets in random order"
  mkdir -p "$dir"
  rm -f "$dir/stamp"
  s=$(date +%s%N)
  "$BIN/tolk-gerar" --registros 1000000 --ordem aleatoria --semente 1 --saida "$dir" > /dev/null
  e=$(date +%s%N)
  echo "   generated in $(awk -v ns=$((e - s)) 'BEGIN { printf "%.1f", ns / 1e9 }') s"
  echo "$stamp" > "$dir/stamp"
fi

# The program folder: the shipped dictionary and figures; both runs write
# bilhete.ntx here, one after the other.
mkdir -p "$OUT/programa"
for f in tabelas.dbf anexos.dbf DadosOrb.DBF; do cp "$BIN/$f" "$OUT/programa/$f"; done

# Written data still on its way to the disk would compete with the runs.
sync
"$BIN/bench_janela" --riscos "$dir/riscos.dbf" --sinistros "$dir/sinistros.dbf" --pasta "$OUT/programa/" \
  --critica "$BIN/tolk-critica" --runs "$RUNS"
