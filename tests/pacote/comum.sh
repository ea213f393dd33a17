# Sourced by the tests of the installed program. Unless the test made its
# own $work, a temporary folder removed at the end; falha records a failure
# in $failed, which the test exits with.
#   como_usuario HOME CMD...   runs CMD as a user who cannot write where root
#                              can (nobody under root, else the caller), with
#                              HOME as its home, XDG_CACHE_HOME as the caller
#                              set it, a plain PATH, the working folder kept
#   do_usuario DIR...          gives DIR and what is in it to that user
#   critica PROGRAMA [ARG...]  runs PROGRAMA over the sample in $work/entrega
#                              (the working folder), at a fixed date
#   referencia BIN SAMPLES     the sample delivery in $work/entrega, the user's
#                              $work/casa, and the build's program's log over it
#                              in $work/referencia.log, made in a program
#                              folder of its own, $work/referencia
if [ -z "${work:-}" ]; then
  work=$(mktemp -d "${TMPDIR:-/tmp}/tolk-pacote.XXXXXX")
  trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
fi
failed=0
falha() {
  echo "FALHA: $*"
  failed=1
}

if [ "$(id -u)" -eq 0 ]; then
  como_usuario() {
    home=$1
    shift
    setpriv --reuid=nobody --regid=nogroup --clear-groups \
      env -i HOME="$home" PATH=/usr/bin:/bin ${XDG_CACHE_HOME:+XDG_CACHE_HOME="$XDG_CACHE_HOME"} "$@"
  }
  do_usuario() { chown -R nobody:nogroup "$@"; }
else
  como_usuario() {
    home=$1
    shift
    env -i HOME="$home" PATH=/usr/bin:/bin ${XDG_CACHE_HOME:+XDG_CACHE_HOME="$XDG_CACHE_HOME"} "$@"
  }
  do_usuario() { :; }
fi

critica() {
  "$@" --riscos riscos.dbf --sinistros sinistros.dbf --agora "2026-12-09 10:00:00" --locale pt_BR
}

referencia() {
  chmod 755 "$work"
  mkdir "$work/referencia" "$work/casa" "$work/entrega"
  for f in tabelas.dbf anexos.dbf DadosOrb.DBF; do cp "$1/$f" "$work/referencia/"; done
  cp "$2/riscos.dbf" "$2/sinistros.dbf" "$work/entrega/"
  do_usuario "$work/casa" "$work/entrega"
  cd "$work/entrega" || exit 1
  critica "$1/tolk-critica" --pasta "$work/referencia" > "$work/referencia.log" 2>/dev/null
  [ -s "$work/referencia.log" ] || {
    echo "FALHA: $1/tolk-critica não escreveu o log da amostra"
    exit 1
  }
}
