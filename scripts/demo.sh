#!/bin/bash
# The main job: build the library and show what it is.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh
cmake --preset mingw64 >/dev/null
cmake --build --preset mingw64 --target zol_ecd_api
dll=build/bin/zol_ecd_api.dll
echo
echo "== $dll"
x86_64-w64-mingw32-objdump -p "$dll" | sed -n '/^The Export Tables/,/^$/p;/\[Ordinal\/Name Pointer\] Table/,/^$/p'
echo "== imports (system DLLs only)"
x86_64-w64-mingw32-objdump -p "$dll" | grep 'DLL Name'
