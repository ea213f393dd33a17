#!/bin/sh
# The Debian package as a user gets it: built by CPack from this tree,
# checked by lintian, unpacked, and run as a user who cannot write in the
# program folder. The log must be the build's program's, and the index must
# go to that user's ~/.cache/tolk-zav.
#   pacote_deb.sh BUILD_DIR SAMPLES_DIR
set -u
build=$(cd "$1" && pwd) samples=$(cd "$2" && pwd)
for tool in cpack dpkg-deb dpkg-shlibdeps file; do
  if ! command -v $tool >/dev/null 2>&1; then
    echo "SKIP: $tool não está instalado (pacotes dpkg-dev e file; make test os instala)"
    exit 77
  fi
done
. "$(dirname "$0")/comum.sh"
referencia "$build/bin" "$samples"

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/cpack" > "$work/cpack.log" 2>&1 || {
  cat "$work/cpack.log"
  echo "FALHA: o CPack não fez o pacote"
  exit 1
}
deb=$(ls "$work"/cpack/tolk-zav_*_amd64.deb 2>/dev/null)
[ -f "$deb" ] || {
  echo "FALHA: o CPack não deixou tolk-zav_<versão>_amd64.deb em $work/cpack"
  exit 1
}
versao=$(dpkg-deb -f "$deb" Version)
echo "pacote: ${deb##*/}, versão $versao, depende de: $(dpkg-deb -f "$deb" Depends)"
case "$(dpkg-deb -f "$deb" Depends)" in
  *libqt6widgets6*libstdc++6* | *libstdc++6*libqt6widgets6*) ;;
  *) falha "as dependências não vieram das bibliotecas dos programas" ;;
esac

if command -v lintian >/dev/null 2>&1; then
  lintian --fail-on error "$deb" > "$work/lintian.log" 2>&1 || {
    cat "$work/lintian.log"
    falha "o lintian acusa erros"
  }
  echo "lintian: $(grep -c '^E:' "$work/lintian.log") erros, $(grep -c '^W:' "$work/lintian.log") avisos"
else
  echo "lintian não está instalado: o pacote não foi conferido por ele"
fi

raiz=$work/raiz
dpkg-deb -x "$deb" "$raiz"
for f in usr/bin/tolk-critica usr/bin/tolk-zav usr/lib/tolk-zav/tabelas.dbf \
         usr/lib/tolk-zav/ajuda/index.htm usr/share/applications/tolk-zav.desktop \
         usr/share/icons/hicolor/48x48/apps/tolk-zav.png usr/share/man/man1/tolk-critica.1.gz \
         usr/share/man/man1/tolk-zav.1.gz usr/share/doc/tolk-zav/copyright; do
  [ -e "$raiz/$f" ] || falha "o pacote não traz /$f"
done
chmod -R a-w "$raiz/usr/lib/tolk-zav"

[ "$(como_usuario "$work/casa" "$raiz/usr/bin/tolk-critica" --version)" = "tolk-critica (tolk-zav) $versao" ] ||
  falha "tolk-critica --version não diz a versão do pacote, $versao"
critica como_usuario "$work/casa" "$raiz/usr/bin/tolk-critica" > "$work/pacote.log" 2>"$work/pacote.err" ||
  falha "a crítica terminou com erro: $(head -n 2 "$work/pacote.err")"
cmp -s "$work/referencia.log" "$work/pacote.log" || falha "o log difere do programa da compilação"
cmp -s "$work/referencia/bilhete.ntx" "$work/casa/.cache/tolk-zav/bilhete.ntx" ||
  falha "o índice não está em ~/.cache/tolk-zav/bilhete.ntx do usuário"
[ ! -e "$raiz/usr/lib/tolk-zav/bilhete.ntx" ] || falha "o índice foi gravado na pasta do programa"
[ $failed -ne 0 ] || echo "tolk-critica do pacote: mesmo log, índice em ~/.cache/tolk-zav/"
exit $failed
