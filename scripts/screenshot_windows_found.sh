# Sourced by the screenshot scripts: finding the tool's windows on the X
# server and taking their pictures into $OUT.
#   WINDOW_WAIT  tenths of a second to wait for a window (100)
#   SHOT_PAUSE   seconds to let a window settle before its picture (0.6)

CAPTION='^Exportar e importar datos entre Dolvarin y DAE$'

# The id of the first visible window whose name matches.
window_named() {
  for _ in $(seq "${WINDOW_WAIT:-100}"); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1 || true)
    if [ -n "$id" ]; then echo "$id"; return 0; fi
    sleep 0.1
  done
  echo "no aparece la ventana $1" >&2
  return 1
}
shot() {  # window, file
  sleep "${SHOT_PAUSE:-0.6}"
  import -window "$1" "$OUT/$2"
  echo "$OUT/$2"
}
