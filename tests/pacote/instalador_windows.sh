#!/bin/sh
# The Windows installer as a user gets it, under Wine in a Wine prefix of its
# own: built by CPack from this tree, installed with /S for the user alone;
# its files, Start-menu shortcuts and Add/Remove Programs entry checked; the
# installed tolk-critica.exe run over the sample against the native program
# (same log, and the index written beside it); then removed with the
# uninstaller's /S, which must leave nothing of its own and nothing else.
#   instalador_windows.sh BUILD_DIR NATIVE_BIN SAMPLES_DIR
set -u
build=$(cd "$1" && pwd) native=$(cd "$2" && pwd) samples=$(cd "$3" && pwd)
for tool in cpack makensis wine wineboot wineserver winepath; do
  if ! command -v $tool >/dev/null 2>&1; then
    echo "SKIP: $tool não está instalado (pacotes nsis e wine; make windows os instala)"
    exit 77
  fi
done
work=$(mktemp -d "${TMPDIR:-/tmp}/tolk-instalador.XXXXXX")
export WINEPREFIX="$work/wine" WINEDEBUG=-all
# No offer to download runtimes, and no menu entries on the host for the
# shortcuts the installer makes.
export WINEDLLOVERRIDES="mscoree=d;mshtml=d;winemenubuilder.exe=d"
trap 'wineserver -k 2>/dev/null; chmod -R u+w "$work"; rm -rf "$work"' EXIT
trap 'exit 2' HUP INT TERM
. "$(dirname "$0")/comum.sh"
falhas=0 vistas=0
# The messages name Windows paths: printf, whose %s keeps the backslashes.
falha() {
  printf 'FALHA: %s\n' "$*"
  falhas=$((falhas + 1))
}
# pare MESSAGE: a failure the later steps cannot go on from.
pare() {
  printf 'FALHA: %s\n' "$*"
  exit 1
}
# passo MESSAGE: the step's line, when the step found nothing wrong.
passo() {
  [ $falhas -ne $vistas ] || printf '%s\n' "$*"
  vistas=$falhas
}
# janelas CMD...: CMD's output without the CR of Windows' line ends.
janelas() { "$@" 2>/dev/null | tr -d '\r'; }

referencia "$native" "$samples"

cpack -G NSIS --config "$build/CPackConfig.cmake" -B "$work/cpack" > "$work/cpack.log" 2>&1 || {
  cat "$work/cpack.log"
  pare "o CPack não fez o instalador"
}
versao=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
setup=$work/cpack/tolk-zav-$versao-setup.exe
[ -f "$setup" ] || pare "o CPack não deixou tolk-zav-$versao-setup.exe em $work/cpack: $(ls "$work/cpack")"
# What CPack put in the installer, as it laid it out before compressing.
conteudo=$(find "$work/cpack/_CPack_Packages" -path "*/NSIS/tolk-zav-$versao-setup" -type d)
[ -d "$conteudo" ] || pare "o CPack não deixou a árvore do instalador em $work/cpack/_CPack_Packages"
passo "instalador: ${setup##*/}, $(($(wc -c < "$setup") / 1024)) KiB"

inicio=$(date +%s)
wineboot --init >/dev/null 2>&1
wineserver -w
passo "prefixo do Wine novo em $(($(date +%s) - inicio)) s"

# instala: setup.exe /S, and where it went.
instala() {
  wine "$setup" /S > "$work/setup.out" 2>&1 || pare "setup.exe /S terminou com erro ($?): $(head -n 3 "$work/setup.out")"
  local_win=$(janelas wine cmd /c echo %LOCALAPPDATA%)
  appdata_win=$(janelas wine cmd /c echo %APPDATA%)
  pasta_win="$local_win\\Programs\\tolk-zav"
  pasta=$(janelas winepath -u "$pasta_win")
  menu=$(janelas winepath -u "$appdata_win\\Microsoft\\Windows\\Start Menu\\Programs")
  [ -d "$pasta" ] || pare "setup.exe /S não criou $pasta_win"
}
instala

# The installed folder holds what CPack laid out, the same bytes, and the
# uninstaller; among them what a run and the window need.
for f in tolk-critica.exe tolk-zav.exe tabelas.dbf anexos.dbf DadosOrb.DBF ZAVTolk.chm ajuda/index.htm Uninstall.exe; do
  [ -f "$pasta/$f" ] || falha "a instalação não traz $f"
done
diferencas=$(diff -r "$conteudo" "$pasta" 2>&1)
[ "$diferencas" = "Only in $pasta: Uninstall.exe" ] ||
  falha "a pasta instalada difere do conteúdo do instalador: $diferencas"
passo "instalado em $pasta_win: $(find "$pasta" -type f | wc -l) arquivos"

# The shortcuts in the user's Start menu, each to its file in the installed
# folder (the target is the link's one absolute Windows name).
for atalho in "TOLK ZAV.lnk:tolk-zav.exe" "Ajuda do TOLK ZAV.lnk:ZAVTolk.chm"; do
  lnk=$menu/${atalho%%:*} alvo="$pasta_win\\${atalho#*:}"
  if [ ! -f "$lnk" ]; then
    falha "não há o atalho ${lnk##*/} no menu Iniciar do usuário"
    continue
  fi
  destino=$(tr -c '[:print:]' '\n' < "$lnk" | grep '^[A-Z]:\\.*[^\\]$' | tail -n 1)
  [ "$destino" = "$alvo" ] || falha "${lnk##*/} leva a \"$destino\", não a \"$alvo\""
  [ -f "$(janelas winepath -u "$destino")" ] || falha "${lnk##*/}: \"$destino\" não existe"
done
passo "atalhos no menu Iniciar do usuário: TOLK ZAV e Ajuda do TOLK ZAV"

# The entry in the user's Add/Remove Programs.
chave='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\tolk-zav'
janelas wine reg query "$chave" > "$work/chave.txt"
valor() { sed -n "s/^ *$1 *REG_[A-Z_]* *//p" "$work/chave.txt"; }
confere() {
  [ "$(valor "$1")" = "$2" ] || falha "$chave: $1 é \"$(valor "$1")\", não \"$2\""
}
confere DisplayName "TOLK ZAV"
confere DisplayVersion "$versao"
confere Publisher "tolk-zav"
confere DisplayIcon "$pasta_win\\tolk-zav.exe"
confere InstallLocation "$pasta_win"
confere UninstallString "\"$pasta_win\\Uninstall.exe\""
confere QuietUninstallString "\"$pasta_win\\Uninstall.exe\" /S"
confere NoModify 0x1
confere NoRepair 0x1
kib=$(($(find "$pasta" -type f -exec cat {} + | wc -c) / 1024))
tamanho=$(valor EstimatedSize)
case $tamanho in
  0x[0-9a-f]*) tamanho=$((tamanho)) ;;
  *) tamanho=0 ;;
esac
if [ $((tamanho - kib)) -lt -2 ] || [ $((tamanho - kib)) -gt 2 ]; then
  falha "$chave: EstimatedSize é $tamanho KiB, a pasta tem $kib KiB"
fi
passo "Adicionar/Remover Programas do usuário: $(valor DisplayName) $(valor DisplayVersion), $tamanho KiB"

# The installed program over the sample, from the delivery's folder as the
# reference ran: the same log, and the same index in its own folder, which
# the user may write (not in the user's cache).
[ "$(janelas wine "$pasta/tolk-critica.exe" --version)" = "tolk-critica (tolk-zav) $versao" ] ||
  falha "tolk-critica.exe --version não diz a versão do instalador, $versao"
critica wine "$pasta/tolk-critica.exe" > "$work/instalado.log" 2>"$work/instalado.err" ||
  falha "a crítica do programa instalado terminou com erro: $(head -n 2 "$work/instalado.err")"
cmp -s "$work/referencia.log" "$work/instalado.log" || {
  diff "$work/referencia.log" "$work/instalado.log" | head -n 10
  falha "o log do tolk-critica.exe instalado difere do tolk-critica"
}
cmp -s "$work/referencia/bilhete.ntx" "$pasta/bilhete.ntx" ||
  falha "a pasta instalada não tem o bilhete.ntx da referência"
[ ! -e "$(janelas winepath -u "$local_win\\tolk-zav\\bilhete.ntx")" ] ||
  falha "o índice foi para a pasta de cache, e a pasta instalada é do usuário"
passo "tolk-critica.exe instalado: mesmo log, bilhete.ntx na pasta instalada"

# desinstala: the uninstaller with /S, as Add/Remove Programs runs it (it
# copies itself to %TEMP% and returns at once; the copy's end is Wine's).
desinstala() {
  wine "$pasta/Uninstall.exe" /S > "$work/uninstall.out" 2>&1 ||
    falha "Uninstall.exe /S terminou com erro ($?): $(head -n 3 "$work/uninstall.out")"
  wineserver -w
  for lnk in "TOLK ZAV.lnk" "Ajuda do TOLK ZAV.lnk"; do
    [ ! -e "$menu/$lnk" ] || falha "$1: o atalho $lnk ficou no menu Iniciar"
  done
  if wine reg query "$chave" >/dev/null 2>&1; then falha "$1: a chave $chave ficou no registro"; fi
}
desinstala "desinstalação"
[ ! -e "$pasta" ] || falha "a desinstalação deixou $pasta_win: $(find "$pasta" | head -n 5)"
passo "desinstalado: sem pasta, atalhos nem chave no registro"

# Installed again, with a file of the user's in the folder: the uninstaller
# removes its own and leaves the user's, with the folder.
instala
echo "minhas anotações" > "$pasta/notas.txt"
desinstala "desinstalação com um arquivo do usuário na pasta"
if [ ! -f "$pasta/notas.txt" ]; then
  falha "a desinstalação apagou notas.txt, arquivo do usuário na pasta instalada"
elif [ "$(cd "$pasta" && find . | sort | tr '\n' ' ')" != ". ./notas.txt " ]; then
  falha "a desinstalação deixou na pasta mais que o arquivo do usuário: $(cd "$pasta" && find . -type f | head -n 5)"
fi
passo "desinstalado de novo: ficou só o arquivo do usuário, notas.txt"
[ $falhas -eq 0 ]
