#!/bin/bash
# Idle CPU of the real program: bar hidden, and preview open on a resting
# pointer. Usage: scripts/bench-idle.sh [build-dir] (default: build-bench, the
# benchmarks' release build, which it builds). Needs Xvfb and xdotool. Prints
# the two figures in percent of one core.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -eq 0 ]; then
    build=$root/build-bench
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DZX_SANITIZE=OFF -DZX_TESTS=ON -DZX_BENCH=ON >/dev/null
    cmake --build "$build" --target zeltrix -j"$(nproc)" >/dev/null
else
    build=$1
fi
program=$build/src/app/zeltrix
seconds=${ZX_BENCH_SECONDS:-60}
[ -x "$program" ] || { echo "no program at $program" >&2; exit 1; }
for tool in Xvfb xdotool; do command -v $tool >/dev/null || { echo "needs $tool" >&2; exit 1; }; done

work=$(mktemp -d /tmp/zx-bench-idle.XXXXXX)
chmod 700 "$work"
. "$root/scripts/xvfb.sh"
zx_start_xvfb 1024x768x24
app_pid=
cleanup() {
    if [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null; then
        sleep 2
        kill -9 "$app_pid" 2>/dev/null || true
    fi
    zx_stop_xvfb
    rm -rf "$work"
}
trap cleanup EXIT
xdotool mousemove 500 500

XDG_RUNTIME_DIR=$work QT_QPA_PLATFORM=xcb "$program" >"$work/out.log" 2>&1 &
app_pid=$!

# The bar exists once the splash is gone; give the engine time to settle.
for _ in $(seq 600); do
    xdotool search --name '^Form1$' >/dev/null 2>&1 && break
    kill -0 $app_pid 2>/dev/null || { echo "program ended early" >&2; cat "$work/out.log" >&2; exit 1; }
    sleep 0.1
done
sleep 10

hz=$(getconf CLK_TCK)
measure() {
    local t0 t1 s0 s1
    t0=$("$root/bench/idle/tree_ticks.sh" $app_pid); s0=$(date +%s.%N)
    sleep "$seconds"
    t1=$("$root/bench/idle/tree_ticks.sh" $app_pid); s1=$(date +%s.%N)
    [ -n "$t0" ] && [ -n "$t1" ] || { echo "could not read the program's CPU time" >&2; exit 1; }
    awk -v a="$t0" -v b="$t1" -v s="$s0" -v e="$s1" -v hz="$hz" \
        'BEGIN { printf "%.2f", (b - a) / hz / (e - s) * 100 }'
}

hidden=$(measure)
echo "hidden bar, pointer still:      $hidden % of one core over ${seconds} s"

xdotool mousemove 300 0
sleep 1
xdotool mousemove 120 30   # cell 0
sleep 3
if ! xdotool search --onlyvisible --name '^Popup Form$' >/dev/null 2>&1; then
    echo "the preview did not open" >&2; exit 1
fi
sleep 5
preview=$(measure)
echo "preview open, pointer resting:  $preview % of one core over ${seconds} s"
echo "processes: $(ps --ppid $app_pid -o comm= | sort | uniq -c | tr -s ' ' | tr '\n' ';')"
