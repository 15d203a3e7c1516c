# Sourced: starts an Xvfb on a display it picks itself and exports DISPLAY;
# the server ends with the calling shell. A caller that sets an exit trap of
# its own afterwards calls zx_stop_xvfb from it.
zx_stop_xvfb() {
  if [ -n "${ZX_XVFB_PID:-}" ]; then kill "$ZX_XVFB_PID" 2>/dev/null || true; fi
  ZX_XVFB_PID=
}
zx_start_xvfb() {
  local size=${1:-1280x1024x24} out n
  out=$(mktemp)
  # -displayfd: the server chooses a free display and writes its number.
  # -noreset: a reset when the last client leaves would drop clients that
  # connect meanwhile.
  Xvfb -displayfd 3 -screen 0 "$size" -nolisten tcp -noreset 3>"$out" >/dev/null 2>&1 &
  ZX_XVFB_PID=$!
  for _ in $(seq 150); do
    n=$(head -n1 "$out" 2>/dev/null)
    [ -n "$n" ] && break
    kill -0 "$ZX_XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$out"
  if [ -z "$n" ]; then
    echo "Could not start Xvfb" >&2
    return 1
  fi
  export DISPLAY=:$n
  trap zx_stop_xvfb EXIT
}
