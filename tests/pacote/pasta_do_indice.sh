#!/bin/sh
# Where a run writes bilhete.ntx: in the program folder when the user may
# write there; else in the user's cache folder, $XDG_CACHE_HOME/tolk-zav or
# ~/.cache/tolk-zav. The log and the index are the same bytes wherever it goes.
#   pasta_do_indice.sh BIN_DIR SAMPLES_DIR
set -u
bin=$(cd "$1" && pwd) samples=$(cd "$2" && pwd)
. "$(dirname "$0")/comum.sh"

# The build's program, and a copy of it in a program folder of the user's.
referencia "$bin" "$samples"
mkdir "$work/programa"
cp "$bin/tolk-critica" "$bin/tabelas.dbf" "$bin/anexos.dbf" "$bin/DadosOrb.DBF" "$work/programa/"
do_usuario "$work/programa"

# caso NOME INDICE: runs the copy as the user; the log must be the
# reference's, INDICE the reference's index, and no index elsewhere.
caso() {
  nome=$1 indice=$2
  critica como_usuario "$work/casa" "$work/programa/tolk-critica" > "$work/$nome.log" 2>"$work/$nome.err" ||
    falha "$nome: a crítica terminou com erro: $(head -n 2 "$work/$nome.err")"
  cmp -s "$work/referencia.log" "$work/$nome.log" || falha "$nome: o log difere do da referência"
  cmp -s "$work/referencia/bilhete.ntx" "$indice" || falha "$nome: $indice não é o índice da referência"
  for outro in "$work/programa/bilhete.ntx" "$work/casa/.cache/tolk-zav/bilhete.ntx" \
               "$work/casa/xdg/tolk-zav/bilhete.ntx"; do
    [ "$outro" = "$indice" ] || [ ! -e "$outro" ] || falha "$nome: índice também em $outro"
  done
  rm -rf "$work/programa/bilhete.ntx" "$work/casa/.cache" "$work/casa/xdg"
  echo "$nome: índice em ${indice#"$work/"}"
}

chmod 555 "$work/programa"
XDG_CACHE_HOME=$work/casa/xdg caso somente-leitura-xdg "$work/casa/xdg/tolk-zav/bilhete.ntx"
unset XDG_CACHE_HOME
caso somente-leitura "$work/casa/.cache/tolk-zav/bilhete.ntx"
chmod 755 "$work/programa"
caso gravavel "$work/programa/bilhete.ntx"
exit $failed
