#!/bin/bash
# Everything the tests need, from a fresh Debian machine: packages, build, test bed, all suites.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh
cmake --preset mingw64
cmake --build --preset mingw64
ctest --preset mingw64 "$@"
# The crash-recovery count of the lifecycle_crashes entry, when it ran, and any change it tried again.
sed -n '/^install: .* recovered/,/^\[/p' build/Testing/Temporary/LastTest.log | grep -v '^\[' || true
