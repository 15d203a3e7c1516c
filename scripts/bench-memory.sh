#!/bin/sh
# Memory of the program's 24 HTML views showing images: builds bench_memory
# without sanitizers and runs it on an X server (a private Xvfb when DISPLAY
# is unset). Arguments go to bench_memory (--flags "...", --settle ms).
#   BUILD_DIR  build directory to use (default: build-bench)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-bench}

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZX_SANITIZE=OFF -DZX_TESTS=OFF -DZX_BENCH=ON >/dev/null
fi
cmake --build "$build" --target bench_memory -j2 >/dev/null

xvfb_pid=
cleanup() { if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi; }
trap cleanup EXIT INT TERM
if [ -z "${DISPLAY:-}" ]; then
    display=90
    while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do display=$((display + 1)); done
    Xvfb ":$display" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$display"
    i=0
    until [ -e "/tmp/.X11-unix/X$display" ]; do
        i=$((i + 1))
        if [ "$i" -gt 50 ]; then echo "Xvfb did not start on $DISPLAY" >&2; exit 1; fi
        sleep 0.1
    done
fi
unset QT_QPA_PLATFORM
"$build/bench/memory/bench_memory" "$@" 2>/dev/null
