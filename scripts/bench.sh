#!/bin/bash
# Runs every benchmark of the project under Wine in a fresh test bed and prints one table: the
# cost of each measured item and its ratio to the platform floor it is compared with: the median
# of per-round ratios, item and floor measured in alternating rounds, and the spread of those
# ratios (half their interquartile range).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh
cmake --preset mingw64 >/dev/null
cmake --build --preset mingw64 >/dev/null

# Every benchmark declared in benchmarks/CMakeLists.txt must have been built: none is skipped.
declared=$(sed -n 's/^zol_add_benchmark(\([A-Za-z0-9_]*\).*/\1/p' benchmarks/CMakeLists.txt)
for name in $declared; do
    [ -f "build/bin/bench_$name.exe" ] || { echo "bench.sh: bench_$name.exe was not built" >&2; exit 1; }
done

# A test bed of its own, so the benchmarks can run while the test suite runs beside them.
testbed=$PWD/build/benchbed
tests/testbed/testbed.sh start "$testbed"
rows=$(mktemp)
trap 'tests/testbed/testbed.sh stop "$testbed"; rm -f "$rows"' EXIT
for name in $declared; do
    output=$(cd build/bin && . "$testbed/env" && /usr/lib/wine/wine64 "./bench_$name.exe") || { echo "bench.sh: bench_$name.exe failed" >&2; echo "$output" >&2; exit 1; }
    grep '^BENCH' <<<"$output" | tr -d '\r' | sed "s/^BENCH/$name/" >>"$rows" ||
        { echo "bench.sh: bench_$name.exe reported nothing" >&2; exit 1; }
done

# Crash consistency: each lifecycle pass killed at every registry change it makes, then recovered.
crash=$(cd build/bin && . "$testbed/env" && /usr/lib/wine/wine64 ./test_lifecycle.exe --gtest_color=no --gtest_filter='LifecycleCrashes.*') ||
    { echo "bench.sh: the crash-recovery run failed" >&2; echo "$crash" >&2; exit 1; }

echo "Taken $(date -u '+%Y-%m-%d %H:%M UTC') on $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(free -g | awk '/^Mem:/{print $2}') GiB, $(/usr/lib/wine/wine64 --version) on $(. /etc/os-release && echo "$PRETTY_NAME")"
echo
echo "| benchmark | item | cost per item (ns) | platform floor (ns) | ratio | spread | floor |"
echo "|---|---|---:|---:|---:|---:|---|"
awk -F'\t' '{printf "| %s | %s | %s | %s | %s | %s | %s |\n", $1, $2, $3, $4, $5, $6, $7}' "$rows"
echo
grep -m1 '^install: ' <<<"$crash"
