#!/bin/sh
# tolk-critica.exe under Wine against the native tolk-critica, over the same
# deliveries with the same options: standard output, standard error's first
# line, the exit code and bilhete.ntx must be the same
# bytes. Each program runs in a program folder of its own (a copy of its
# build's), where it writes its bilhete.ntx.
#   compara_windows.sh NATIVE_BIN WINDOWS_BIN SAMPLES_DIR WINDOWS_TESTS
set -u
native=$1 windows=$2 samples=$3 tests=$4
wine_run="$(dirname "$0")/../../tools/wine-run"
work=$(mktemp -d "${TMPDIR:-/tmp}/tolk-compara.XXXXXX")
trap 'rm -rf "$work"' EXIT
failed=0

for side in native windows; do
  mkdir -p "$work/$side"
  eval bin=\$$side
  cp "$bin/tabelas.dbf" "$bin/anexos.dbf" "$bin/DadosOrb.DBF" "$work/$side/"
done

# The deliveries: the sample; generated ones, valid and with many findings,
# in ascending and in random order; names with accents and blanks; and runs
# that end with an error.
d=$work/entregas
mkdir -p "$d/amostra" "$d/limpa" "$d/achados" "$d/nomes ção" "$d/vazia"
cp "$samples/riscos.dbf" "$samples/sinistros.dbf" "$d/amostra/"
"$native/tolk-gerar" --registros 20000 --taxa 0 --saida "$d/limpa" >/dev/null
"$native/tolk-gerar" --registros 30000 --taxa 0.02 --ordem aleatoria --semente 7 \
  --saida "$d/achados" >/dev/null
cp "$samples/riscos.dbf" "$d/nomes ção/riscos ã.dbf"
cp "$samples/sinistros.dbf" "$d/nomes ção/sinistros ç.dbf"
printf 'not a table\n' > "$d/vazia/texto.dbf"
head -c 300 "$samples/sinistros.dbf" > "$d/vazia/cortado.dbf"

agora="2026-12-08 16:40:35"
# run NAME ARG...: both programs with the same arguments.
run() {
  name=$1
  shift
  for side in native windows; do
    out=$work/$side.out err=$work/$side.err
    rm -f "$work/$side/bilhete.ntx"
    if [ $side = native ]; then
      "$native/tolk-critica" --pasta "$work/$side/" --agora "$agora" "$@" >"$out" 2>"$err"
    else
      "$wine_run" "$windows/tolk-critica.exe" --pasta "$work/$side/" --agora "$agora" "$@" \
        >"$out" 2>"$err"
    fi
    echo $? > "$work/$side.status"
  done
  problems=""
  cmp -s "$work/native.out" "$work/windows.out" || problems="$problems standard-output"
  [ "$(head -n 1 "$work/native.err")" = "$(head -n 1 "$work/windows.err")" ] ||
    problems="$problems standard-error"
  cmp -s "$work/native.status" "$work/windows.status" || problems="$problems exit-code"
  if [ -f "$work/native/bilhete.ntx" ] || [ -f "$work/windows/bilhete.ntx" ]; then
    cmp -s "$work/native/bilhete.ntx" "$work/windows/bilhete.ntx" || problems="$problems bilhete.ntx"
  fi
  if [ -n "$problems" ]; then
    echo "DIFFERENT $name:$problems"
    diff "$work/native.err" "$work/windows.err" | head -n 6
    diff "$work/native.out" "$work/windows.out" | head -n 10
    failed=1
  else
    ntx=""
    [ -f "$work/native/bilhete.ntx" ] && ntx=", bilhete.ntx of $(wc -c < "$work/native/bilhete.ntx") bytes"
    echo "same      $name (exit $(cat "$work/native.status")$ntx)"
    cmp -s "$work/native.err" "$work/windows.err" || echo "          (standard error differs after its first line)"
  fi
}

run "amostra pt_BR" --locale pt_BR --riscos "$d/amostra/riscos.dbf" --sinistros "$d/amostra/sinistros.dbf"
run "amostra en_US" --locale en_US --riscos "$d/amostra/riscos.dbf" --sinistros "$d/amostra/sinistros.dbf"
run "limpa" --locale pt_BR --riscos "$d/limpa/riscos.dbf" --sinistros "$d/limpa/sinistros.dbf"
run "achados, aleatória" --locale pt_BR --riscos "$d/achados/riscos.dbf" \
  --sinistros "$d/achados/sinistros.dbf"
run "nomes com acentos" --locale pt_BR --riscos "$d/nomes ção/riscos ã.dbf" \
  --sinistros "$d/nomes ção/sinistros ç.dbf"
run "só riscos" --locale pt_BR --riscos "$d/amostra/riscos.dbf"
run "caixas trocadas" --locale pt_BR --riscos "$d/amostra/sinistros.dbf" \
  --sinistros "$d/amostra/riscos.dbf"
run "sinistros ausente" --locale pt_BR --riscos "$d/amostra/riscos.dbf" --sinistros "$d/falta.dbf"
run "riscos não é dBASE" --locale pt_BR --riscos "$d/vazia/texto.dbf" \
  --sinistros "$d/amostra/sinistros.dbf"
run "sinistros cortado" --locale pt_BR --riscos "$d/amostra/riscos.dbf" \
  --sinistros "$d/vazia/cortado.dbf"
run "pasta" --locale pt_BR --riscos "$d/amostra/riscos.dbf" --sinistros "$d/amostra"
run "opção desconhecida" --nada
# The CSV of the findings in place of the log.
run "detalhes" --locale pt_BR --riscos "$d/achados/riscos.dbf" --sinistros "$d/achados/sinistros.dbf" \
  --detalhes -

# A table held by another program with no sharing: the run fails at once
# with the open error, as the native run does on a file held with flock.
held=$d/amostra/riscos.dbf
for side in native windows; do
  fifo=$work/$side.fifo
  mkfifo "$fifo"
  if [ $side = native ]; then
    flock -x "$held" sh -c 'echo pronto; cat >/dev/null' <"$fifo" >"$work/$side.holder" &
  else
    "$wine_run" "$tests/segura_arquivo.exe" "$held" <"$fifo" >"$work/$side.holder" &
  fi
  exec 9>"$fifo"
  for _ in $(seq 100); do grep -q pronto "$work/$side.holder" 2>/dev/null && break; sleep 0.1; done
  start=$(date +%s)
  if [ $side = native ]; then
    "$native/tolk-critica" --pasta "$work/$side/" --riscos "$held" --sinistros "$d/amostra/sinistros.dbf" \
      >/dev/null 2>"$work/$side.err"
  else
    "$wine_run" "$windows/tolk-critica.exe" --pasta "$work/$side/" --riscos "$held" \
      --sinistros "$d/amostra/sinistros.dbf" >/dev/null 2>"$work/$side.err"
  fi
  echo $? > "$work/$side.status"
  echo $(($(date +%s) - start)) > "$work/$side.seconds"
  exec 9>&-
  wait
done
if [ "$(head -n 1 "$work/windows.err")" = "TXQSmartDBF.InternalOpen: Open error \"$held\"" ] &&
   [ "$(head -n 1 "$work/native.err")" = "$(head -n 1 "$work/windows.err")" ] &&
   [ "$(cat "$work/windows.status")" = 1 ] && [ "$(cat "$work/windows.seconds")" -le 5 ]; then
  echo "same      arquivo em uso por outro programa (exit 1, in $(cat "$work/windows.seconds")s)"
else
  echo "DIFFERENT arquivo em uso por outro programa"
  cat "$work/native.err" "$work/windows.err"
  failed=1
fi
exit $failed
