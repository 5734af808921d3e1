/* A minimal host of zol_ecd_api.dll in C: reads the default endpoints' volume and mute, opens
 * the effect settings, boosts one equaliser band and puts it back, and logs through the
 * library's debug channel. Link it with zol_ecd_api.lib (find_package(zol_ecd_api)). */
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "zol_ecd_api.h"

static int productKeyExists(void) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\ZolSoundKit", 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
        return 0;
    RegCloseKey(key);
    return 1;
}

int main(void) {
    /* The two decorated exports are looked up by name; every other export is linked directly. */
    zol_dbgw_fn dbgw = (zol_dbgw_fn)(void*)GetProcAddress(GetModuleHandleW(L"zol_ecd_api.dll"), ZOL_DBGW_EXPORT_NAME);
    DeviceInfo info;
    EqGainBlock gains, saved;
    int result;

    if (dbgw == NULL) {
        printf("zol_ecd_api.dll lacks %s\n", ZOL_DBGW_EXPORT_NAME);
        return 1;
    }
    dbgw(L"[brisol]:host_c example started");
    printf("elevated: %d\n", _IsRunningAsAdmin());
    printf("render volume: %d %%, muted: %d\n", _getVolum(0, 0), _GetMasterMute(0));
    printf("capture volume: %d %%, muted: %d\n", _getVolum(1, 0), _GetMasterMute(1));

    /* The settings need the product key, which init creates when the kit is installed. */
    if (!productKeyExists()) {
        printf("settings: the kit is not installed (no product key)\n");
        return 0;
    }
    memset(&info, 0, sizeof info);
    if (getDeviceInfo(0, &info) != 1) {
        printf("getDeviceInfo failed\n");
        return 1;
    }
    printf("equaliser sample rate: %d Hz\n", (int)info.effect.sampleRate);
    saved = info.eqGains;
    gains = saved;
    gains.gains[5] = 3; /* band 6, 1 kHz: +3 dB */
    result = setDeviceProperty(&info, ZOL_PROPERTY_EQ_GAINS, (const unsigned char*)&gains);
    printf("set 1 kHz to +3 dB: %d; band 6 gain %.1f dB, b0 %.4f\n", result, info.effect.bands[5].gain,
           info.effect.coefficients[5].b0);
    result = setDeviceProperty(&info, ZOL_PROPERTY_EQ_GAINS, (const unsigned char*)&saved);
    printf("restored: %d; band 6 gain %.1f dB\n", result, info.effect.bands[5].gain);
    printf("unknown property: %d\n", setDeviceProperty(&info, 9, (const unsigned char*)&gains));
    releaseDeviceInfo(&info);
    return 0;
}
