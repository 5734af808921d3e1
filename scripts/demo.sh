#!/bin/bash
# The main job: on a fresh Debian machine, install what is needed, build, start the Wine test bed
# and walk through the kit on a SIMULATED headset (none is plugged in here):
#   status -> install -> EQ change and plot -> settings in the shared section -> firmware update
#   -> uninstall -> status, showing the endpoints are back as they were.
# Everything runs in the test bed's throw-away Wine prefix (build/testbed), never a user's own.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh
cmake --preset mingw64 >/dev/null
cmake --build --preset mingw64 --target zol_ecd_api zolctl zol_ecd_api_sim seed_endpoints \
    $(grep -qs zol_standin_effect_library build/Makefile && echo zol_standin_effect_library zol_standin_service) >/dev/null

out=build/demo
mkdir -p "$out"
testbed=build/testbed
tests/testbed/testbed.sh start "$testbed"
seeded=0
finish() {
    if [ "$seeded" = 1 ]; then (cd build/bin && ../wine-exec ./seed_endpoints.exe remove >/dev/null 2>&1) || true; fi
    tests/testbed/testbed.sh stop "$testbed"
}
trap finish EXIT

bold=$(tput bold 2>/dev/null || true)
plain=$(tput sgr0 2>/dev/null || true)
step() { echo; echo "${bold}== $*${plain}"; }
zolctl() {
    echo "${bold}\$ zolctl $*${plain}"
    (cd build/bin && ../wine-exec ./zolctl.exe "$@")
}
# The two SIMULATED endpoints' blocks of "zolctl status".
simulated_endpoints() { (cd build/bin && ../wine-exec ./zolctl.exe status) | grep -A5 'SIMULATED)$' || true; }

step "The library: $(ls -l build/bin/zol_ecd_api.dll | awk '{print $5}') bytes, $(x86_64-w64-mingw32-objdump -p build/bin/zol_ecd_api.dll | sed -n '/Ordinal\/Name Pointer/,/^$/p' | grep -c '^\s*\[ *[0-9]*\] ') exports, system DLL imports only"
x86_64-w64-mingw32-objdump -p build/bin/zol_ecd_api.dll | grep 'DLL Name' | sed 's/^\s*/  /'

step "A SIMULATED headset: its render and capture endpoints seeded into the test prefix's MMDevices tree"
(cd build/bin && ../wine-exec ./seed_endpoints.exe add)
seeded=1

step "Status before installation"
zolctl status
simulated_endpoints >"$out/endpoints-before.txt"

step "Install: init puts the effect on the supported endpoints"
# Wine has no Windows audio service and no effect library: the test stand-ins take their place
# (a service program registered as "AudioSrv", and "ZolSoundAPO.dll" beside zolctl.exe).
if ! build/wine-exec sc query AudioSrv >/dev/null 2>&1; then
    service=$(build/wine-exec winepath -w "$PWD/build/bin/zol_standin_service.exe" 2>/dev/null | tr -d '\r')
    build/wine-exec sc create AudioSrv binPath= "$service --name AudioSrv" >/dev/null 2>&1
    build/wine-exec sc start AudioSrv >/dev/null 2>&1 || true
    echo "(SIMULATED audio service: the stand-in service program registered as AudioSrv)"
fi
zolctl install
step "Status after installation"
zolctl status

step "EQ change: +6 dB at 1 kHz, -3 dB at 8 kHz, +2 dB at 60 Hz"
zolctl eq set 1k=6 8k=-3 60=2
step "The equaliser's response, computed from the coefficients the library stored"
zolctl eq plot --out demo_eq.svg
mv build/bin/demo_eq.svg "$out/eq.svg"
echo "SVG: $out/eq.svg"

step "The settings as the audio effect sees them: the shared section"
zolctl eq show --section

step "Master volume and mute of the default endpoints (Wine's own: it keeps neither a level nor a mute change)"
zolctl volume render
zolctl volume capture
zolctl mute capture

step "Headset link on the SIMULATED headset (the demo build zol_ecd_api_sim.dll)"
zolctl --dll zol_ecd_api_sim.dll devices
head -c 20000 /dev/urandom >build/bin/demo_fw.bin
zolctl --dll zol_ecd_api_sim.dll fw update demo_fw.bin
rm -f build/bin/demo_fw.bin

step "Uninstall: unInit restores every endpoint's former effects and deletes the product's values"
zolctl uninstall

step "Status after removal"
zolctl status
simulated_endpoints >"$out/endpoints-after.txt"
if diff -u "$out/endpoints-before.txt" "$out/endpoints-after.txt"; then
    echo "${bold}The SIMULATED endpoints' effects are back as they were.${plain}"
    echo "(By design removal keeps what installation added beside the five effect slots of an"
    echo " FxProperties key that existed before: its processing-mode values and the enabled"
    echo " system-effects switch; and a capture endpoint's device interface path.)"
else
    echo "${bold}The SIMULATED endpoints differ from before (see the diff above).${plain}"
    exit 1
fi
