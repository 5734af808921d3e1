#!/bin/bash
# Runs every benchmark program under Wine in a fresh test bed and prints one table.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh
cmake --preset mingw64 >/dev/null
cmake --build --preset mingw64
testbed=build/testbed
tests/testbed/testbed.sh start "$testbed"
trap 'tests/testbed/testbed.sh stop "$testbed"' EXIT
rows=$(mktemp)
for bench in build/bin/bench_*.exe; do
    [ -e "$bench" ] || continue
    (cd build/bin && ../wine-exec "./$(basename "$bench")") | grep '^BENCH' >>"$rows"
done
echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(/usr/lib/wine/wine64 --version)"
echo
echo "| item | cost per item (ns) | platform floor (ns) | ratio | floor |"
echo "|---|---:|---:|---:|---|"
awk -F'\t' '{printf "| %s | %s | %s | %s | %s |\n", $2, $3, $4, $5, $6}' "$rows"
rm -f "$rows"
