# Sourced: starts an Xvfb on a free display and exports DISPLAY; the server
# ends with the calling shell.
zx_start_xvfb() {
  local size=${1:-1280x1024x24} n
  for n in $(seq 90 130); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] && continue
    Xvfb :$n -screen 0 "$size" -nolisten tcp >/dev/null 2>&1 &
    ZX_XVFB_PID=$!
    for _ in $(seq 50); do
      [ -e /tmp/.X11-unix/X$n ] && break
      sleep 0.1
    done
    if kill -0 "$ZX_XVFB_PID" 2>/dev/null; then
      export DISPLAY=:$n
      trap 'kill $ZX_XVFB_PID 2>/dev/null' EXIT
      return 0
    fi
  done
  echo "Could not start Xvfb" >&2
  return 1
}
