#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz and runs one of them.
#   scripts/fuzz.sh <fuzz_uri|fuzz_response|fuzz_cookie|fuzz_cookie_jar|fuzz_location|fuzz_transfer_coding> [seconds, default 600]
# The run works on a copy of the target's corpus in build-fuzz/corpus/<target>;
# crashes land in build-fuzz/artifacts/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."

target=${1:?usage: scripts/fuzz.sh <target> [seconds]}
seconds=${2:-600}
build=build-fuzz
mkdir -p "$build"

CC=${CC:-clang} CXX=${CXX:-clang++} cmake -S . -B "$build" -DZX_FUZZ=ON -DZX_SANITIZE=ON -DZX_BENCH=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$build/configure.log" 2>&1 || { cat "$build/configure.log"; exit 1; }
cmake --build "$build" --target "$target" -j2

work="$build/corpus/$target"
artifacts="$build/artifacts/$target"
mkdir -p "$work" "$artifacts"
cp -n tests/fuzz/corpus/"$target"/* "$work"/ 2>/dev/null || true

"$build/tests/fuzz/$target" "$work" -max_total_time="$seconds" -max_len=4096 -rss_limit_mb=2048 \
    -artifact_prefix="$artifacts/" -print_final_stats=1
