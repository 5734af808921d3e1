#!/bin/bash
# The package as a host developer meets it: cpack's ZIP unpacked into a temporary folder, the
# example host configured with find_package(zol_ecd_api) and the MinGW-w64 toolchain, built, and
# run under Wine in the test bed beside the packaged DLL.
#   check_package.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(realpath "$1")
source=$(realpath "$2")
work=$(mktemp -d)
created_key=0
cleanup() {
    if [ "$created_key" = 1 ]; then
        "$build/wine-exec" reg delete 'HKLM\SOFTWARE\ZolSoundKit' /f >/dev/null 2>&1 || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G ZIP -B "$work/cpack" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
zip=$(ls "$work"/cpack/zol_ecd_api-*-win64.zip)
mkdir "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf "$zip")
prefix=$(ls -d "$work"/unpacked/zol_ecd_api-*-win64)
for f in bin/zol_ecd_api.dll bin/zolctl.exe lib/zol_ecd_api.lib lib/libzol_ecd_api.dll.a include/zol_ecd_api.h \
         lib/cmake/zol_ecd_api/zol_ecd_api-config.cmake lib/cmake/zol_ecd_api/zol_ecd_api-config-version.cmake \
         examples/host_c/main.c examples/host_c/CMakeLists.txt; do
    [ -f "$prefix/$f" ] || fail "the package lacks $f"
done
echo "package: $(basename "$zip"), $(cd "$prefix" && find . -type f | wc -l) files"

cmake -S "$source/examples/host_c" -B "$work/host" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$source/cmake/mingw-w64-x86_64.cmake" -DCMAKE_PREFIX_PATH="$prefix" >"$work/configure.log" 2>&1 ||
    { cat "$work/configure.log"; fail "configure the example host"; }
grep -q "zol_ecd_api" "$work/host/CMakeCache.txt" || fail "find_package did not record the package"
grep -q "^zol_ecd_api_DIR:PATH=$prefix/lib/cmake/zol_ecd_api" "$work/host/CMakeCache.txt" ||
    fail "find_package found another zol_ecd_api: $(grep '^zol_ecd_api_DIR' "$work/host/CMakeCache.txt")"
cmake --build "$work/host" >"$work/build.log" 2>&1 || { cat "$work/build.log"; fail "build the example host"; }
[ -f "$work/host/zol_ecd_api.dll" ] || fail "the DLL was not put beside the example host"
cmp -s "$work/host/zol_ecd_api.dll" "$prefix/bin/zol_ecd_api.dll" || fail "the example host got another DLL"

# Without the product key the host stops after the volume part; with it, it runs the settings.
if ! "$build/wine-exec" reg query 'HKLM\SOFTWARE\ZolSoundKit' >/dev/null 2>&1; then
    "$build/wine-exec" reg add 'HKLM\SOFTWARE\ZolSoundKit' /f >/dev/null 2>&1
    created_key=1
fi
output=$(cd "$work/host" && "$build/wine-exec" ./zol_host_c.exe) || fail "the example host exited with $?: $output"
echo "$output"
for line in "render volume: " "equaliser sample rate: 48000 Hz" "set 1 kHz to +3 dB: 1; band 6 gain 3.0 dB" \
            "restored: 1; band 6 gain 0.0 dB" "unknown property: -2"; do
    grep -qF "$line" <<<"$output" || fail "the example host did not print '$line'"
done

# The packaged console tool runs from the unpacked folder too.
help=$(cd "$prefix/bin" && "$build/wine-exec" ./zolctl.exe --help) || fail "packaged zolctl --help"
grep -q "usage: zolctl" <<<"$help" || fail "packaged zolctl printed no usage"
echo "package check passed"
