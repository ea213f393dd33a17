#!/bin/sh
# tolk-critica.exe under Wine against the native tolk-critica, in one command:
#   bench/windows/run.sh [BUILD] [WIN_BUILD]     (defaults "build", "build-win")
#
# Over the delivery of bench-janela (1,000,000 risks and 200,000 claims,
# tickets in random order; generated into BUILD/bench-janela/entrega/ when
# missing), each round runs the native program and then the Windows one,
# each in its own program folder, and times the whole process from start to
# exit. Wine is started once before the rounds, so that its own start-up
# (wineserver, the prefix) is not counted; each round still pays for
# starting a Windows process. Prints each round, the medians and the ratio
# against its goal (1.5). Not a test: figures, no verdict.
#
# Environment: TOLK_BENCH_RUNS the number of rounds (5).
set -eu

BUILD=${1:-build}
WIN_BUILD=${2:-build-win}
RUNS=${TOLK_BENCH_RUNS:-5}
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
OUT=$BUILD/bench-windows

for f in "$BUILD/bin/tolk-gerar" "$BUILD/bin/tolk-critica" "$WIN_BUILD/bin/tolk-critica.exe"; do
  if [ ! -e "$f" ]; then
    echo "bench-windows: $f is missing: build first (make windows)" >&2
    exit 1
  fi
done

dir=$BUILD/bench-janela/entrega
stamp="tolk-gerar --registros 1000000 --ordem aleatoria --semente 1"
if [ ! -f "$dir/riscos.dbf" ] || [ "$(cat "$dir/stamp" 2>/dev/null)" != "$stamp" ]; then
  echo "== generating 1000000 risks and 200000 claims, tickets in random order"
  mkdir -p "$dir"
  "$BUILD/bin/tolk-gerar" --registros 1000000 --ordem aleatoria --semente 1 --saida "$dir" >/dev/null
  echo "$stamp" >"$dir/stamp"
fi
for side in linux windows; do
  mkdir -p "$OUT/$side"
  bin=$BUILD/bin
  [ $side = windows ] && bin=$WIN_BUILD/bin
  for f in tabelas.dbf anexos.dbf DadosOrb.DBF; do cp "$bin/$f" "$OUT/$side/"; done
done

now() { date +%s%N; }
# Wine's server and prefix, up before the first round and kept until the last.
"$ROOT/tools/wine-run" "$WIN_BUILD/bin/tolk-critica.exe" --help >/dev/null 2>&1 || true
sync
: >"$OUT/linux.times"
: >"$OUT/windows.times"
echo "round  linux (s)  windows (s)"
i=1
while [ "$i" -le "$RUNS" ]; do
  s=$(now)
  "$BUILD/bin/tolk-critica" --locale pt_BR --agora "2026-12-08 00:00:00" --pasta "$OUT/linux/" --riscos "$dir/riscos.dbf" \
    --sinistros "$dir/sinistros.dbf" >"$OUT/linux.log" 2>/dev/null || true
  m=$(now)
  "$ROOT/tools/wine-run" "$WIN_BUILD/bin/tolk-critica.exe" --locale pt_BR --agora "2026-12-08 00:00:00" \
    --pasta "$OUT/windows/" \
    --riscos "$dir/riscos.dbf" --sinistros "$dir/sinistros.dbf" >"$OUT/windows.log" 2>/dev/null || true
  e=$(now)
  l=$(awk -v ns=$((m - s)) 'BEGIN { printf "%.3f", ns / 1e9 }')
  w=$(awk -v ns=$((e - m)) 'BEGIN { printf "%.3f", ns / 1e9 }')
  echo "$l" >>"$OUT/linux.times"
  echo "$w" >>"$OUT/windows.times"
  printf "%5d  %9s  %11s\n" "$i" "$l" "$w"
  i=$((i + 1))
done
median() { sort -n "$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ml=$(median "$OUT/linux.times")
mw=$(median "$OUT/windows.times")
echo "median linux $ml s, windows under Wine $mw s: ratio $(awk -v a="$mw" -v b="$ml" 'BEGIN { printf "%.2f", a / b }') (goal: at most 1.5)"
if ! cmp -s "$OUT/linux.log" "$OUT/windows.log"; then
  echo "bench-windows: the two logs differ " >&2
fi
