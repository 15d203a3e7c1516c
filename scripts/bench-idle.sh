#!/bin/bash
# Idle CPU of the real program: bar hidden, and preview open on a resting
# pointer. Usage: scripts/bench-idle.sh [build-dir] (default: build-bench, the
# benchmarks' release build, which it builds). Needs Xvfb and xdotool. Prints
# the two figures in percent of one core, as root also for an ordinary user
# (ZX_BENCH_USER, default nobody), for whom the engine's sandbox is on.
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
chmod 711 "$work"   # the ordinary user reaches its own folders below
. "$root/scripts/xvfb.sh"
zx_start_xvfb 1024x768x24
app_pid=
stop_app() {
    if [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null; then
        for _ in $(seq 50); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
        kill -9 "$app_pid" 2>/dev/null || true
    fi
    app_pid=
}
cleanup() {
    stop_app
    zx_stop_xvfb
    rm -rf "$work"
}
trap cleanup EXIT

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

# Runs the program as user $1 (root's own run, or an ordinary user's with the
# engine's sandbox on) in a clean environment, as a session starts it, and
# prints its two figures.
run_as() {
    local user=$1 home=$work/home-$1 runtime=$work/runtime-$1 as=()
    mkdir -m 700 "$home" "$runtime"
    if [ "$user" != "$(id -un)" ]; then
        chown "$user": "$home" "$runtime"
        as=(setpriv --reuid="$(id -u "$user")" --regid="$(id -g "$user")" --init-groups --)
    fi
    xdotool mousemove 500 500
    "${as[@]}" env -i DISPLAY="$DISPLAY" HOME="$home" XDG_RUNTIME_DIR="$runtime" USER="$user" LOGNAME="$user" \
        PATH=/usr/local/bin:/usr/bin:/bin LANG="${LANG:-C.UTF-8}" QT_QPA_PLATFORM=xcb \
        "$program" >"$work/out-$user.log" 2>&1 &
    app_pid=$!

    # The bar exists once the splash is gone; give the engine time to settle.
    for _ in $(seq 600); do
        xdotool search --name '^Form1$' >/dev/null 2>&1 && break
        kill -0 $app_pid 2>/dev/null || { echo "program ended early" >&2; cat "$work/out-$user.log" >&2; exit 1; }
        sleep 0.1
    done
    sleep 10

    local hidden preview
    hidden=$(measure)
    xdotool mousemove 300 0
    sleep 1
    xdotool mousemove 120 30   # cell 0
    sleep 3
    if ! xdotool search --onlyvisible --name '^Popup Form$' >/dev/null 2>&1; then
        echo "the preview did not open" >&2; exit 1
    fi
    sleep 5
    preview=$(measure)
    echo "$user: hidden bar, pointer still:      $hidden % of one core over ${seconds} s"
    echo "$user: preview open, pointer resting:  $preview % of one core over ${seconds} s"
    echo "$user: processes: $(ps --ppid $app_pid -o comm= | sort | uniq -c | tr -s ' ' | tr '\n' ';')"
    stop_app
    # The next run starts only when every engine process of this one is gone.
    for _ in $(seq 100); do pgrep -u "$user" -x QtWebEngineProc >/dev/null || break; sleep 0.1; done
}

run_as "$(id -un)"
[ "$(id -u)" -eq 0 ] && run_as "${ZX_BENCH_USER:-nobody}"
exit 0
