#!/bin/bash
# import_lib.sh OBJDUMP DLLTOOL DLL LIB: a COFF import library for DLL, made from the names its
# export table lists (the platform's own DLLs stand in for the SDK's import libraries).
set -euo pipefail
objdump=$1 dlltool=$2 dll=$3 lib=$4
def=${lib%.lib}.def
{
    echo "LIBRARY $(basename "$dll")"
    echo "EXPORTS"
    "$objdump" -p "$dll" | awk '/\[Ordinal\/Name Pointer\] Table/ { on = 1; next } on && NF == 0 { on = 0 } on { print "    " $NF }'
} >"$def"
"$dlltool" -m i386:x86-64 -d "$def" -l "$lib"
