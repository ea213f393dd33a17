#!/bin/sh
# Photographs the window after a run over the sample delivery: a virtual
# screen without a window manager, so the window's client area sits at its
# position, 227,132, and is cut out as it is.
#
# tests/gui/janela_tela.sh BUILD_DIR [OUTPUT]   (default OUTPUT: docs/janela.png)
set -eu
build=$(cd "${1:?uso: janela_tela.sh BUILD_DIR [SAIDA]}" && pwd)
out=${2:-docs/janela.png}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The delivery and the program folder in a short path of their own, as a
# user's would be; the run writes its index file there.
entrega="${TMPDIR:-/tmp}/entrega"
mkdir -p "$entrega" "$work/programa"
cp "$build/samples/riscos.dbf" "$build/samples/sinistros.dbf" "$entrega/"
cp "$build/bin/tabelas.dbf" "$build/bin/anexos.dbf" "$build/bin/DadosOrb.DBF" "$work/programa/"

xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" sh -c '
  "$1" "$2/riscos.dbf" "$2/sinistros.dbf" "$3/programa" > "$3/saida" &
  pid=$!
  n=0
  until grep -q pronto "$3/saida"; do
    n=$((n + 1)); [ $n -lt 300 ] || { kill $pid; exit 1; }
    sleep 0.1
  done
  import -window root "$3/tela.png"
  kill $pid
' sh "$build/tests/janela_tela" "$entrega" "$work"
convert "$work/tela.png" -crop 651x483+227+132 +repage "$out"
rm -rf "$entrega"
echo "$out"
