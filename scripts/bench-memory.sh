#!/bin/sh
# Memory of the real program: builds the release program and bench_memory,
# then runs them on a private 1920 x 1080 Xvfb (all twenty cells fit). The
# program loads twenty images from nginx on loopback and opens its preview;
# bench_memory prints the PSS of the program and its engine processes.
# Arguments go to bench_memory (--detail: the largest mappings per process).
#   BUILD_DIR  build directory to use (default: build-bench)
# Shared library pages count part to every process that maps them: measure
# while no other program runs the engine (bench_memory says when one did).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-bench}
for tool in Xvfb xdotool nginx; do
    command -v $tool >/dev/null || [ -x /usr/sbin/$tool ] || { echo "needs $tool" >&2; exit 1; }
done

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DZX_SANITIZE=OFF -DZX_TESTS=ON -DZX_BENCH=ON >/dev/null
cmake --build "$build" --target zeltrix bench_memory -j2 >/dev/null

. "$root/scripts/xvfb.sh"
zx_start_xvfb 1920x1080x24

"$build/bench/memory/bench_memory" "$build/src/app/zeltrix" "$@"
