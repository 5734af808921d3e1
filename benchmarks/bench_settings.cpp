// Effect settings: the equaliser, the slider path (property 3) and the settings load, each
// against the platform calls it cannot avoid, measured alternately in the same run.
#include <windows.h>

#include <audioclient.h>
#include <endpointvolume.h>
#include <mmdeviceapi.h>
#include <objbase.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "bench_report.h"
#include "common/product_key.h"
#include "settings/device_info.h"
#include "settings/equalizer.h"
#include "zol_ecd_api.h"

namespace {

using namespace zol::settings;

HKEY productKey(REGSAM access) {
    HKEY key = nullptr;
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\ZolSoundKit", 0, access | KEY_WOW64_64KEY, &key);
    return key;
}

// One Core Audio read as the platform requires it, without the library.
void rawEndpointRead(EDataFlow flow, bool mute) {
    static const CLSID kEnumerator = {0xBCDE0395, 0xE52F, 0x467C, {0x8E, 0x3D, 0xC4, 0x57, 0x92, 0x91, 0x69, 0x2E}};
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return;
    IMMDeviceEnumerator* enumerator = nullptr;
    IMMDevice* device = nullptr;
    IAudioEndpointVolume* volume = nullptr;
    IAudioClient* client = nullptr;
    if (SUCCEEDED(CoCreateInstance(kEnumerator, nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                                   reinterpret_cast<void**>(&enumerator))) &&
        SUCCEEDED(enumerator->GetDefaultAudioEndpoint(flow, eMultimedia, &device)) &&
        SUCCEEDED(device->Activate(__uuidof(IAudioEndpointVolume), CLSCTX_ALL, nullptr,
                                   reinterpret_cast<void**>(&volume))) &&
        SUCCEEDED(device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, reinterpret_cast<void**>(&client)))) {
        float level;
        BOOL muted;
        if (mute)
            volume->GetMute(&muted);
        else
            volume->GetMasterVolumeLevelScalar(&level);
    }
    if (client) client->Release();
    if (volume) volume->Release();
    if (device) device->Release();
    if (enumerator) enumerator->Release();
    CoUninitialize();
}

}  // namespace

int main() {
    HKEY created = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\ZolSoundKit", 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                    nullptr, &created, nullptr);
    RegCloseKey(created);

    DeviceInfo info;
    getDeviceInfo(0, &info);  // creates the three values and opens the section

    // --- applyEqGains, ten bands ---
    {
        std::int8_t gains[10] = {3, -2, 0, 6, -12, 12, 1, -1, 4, -6};
        DeviceInfo scratch = info;
        const double ns = zol::bench::nsPerCall([&] { applyEqGains(scratch, gains); }, 20000);
        zol::bench::report("applyEqGains (10 bands)", ns, "pure computation");
    }

    // --- setDeviceProperty(3) ---
    {
        unsigned char gains[32] = {2, 0, -3 & 0xFF, 0, 5};
        unsigned char copy[575];
        // Every change takes the cross-process settings lock: one wait and one release.
        HANDLE lock = CreateMutexW(nullptr, FALSE, nullptr);
        auto lockRound = [lock] {
            WaitForSingleObject(lock, INFINITE);
            ReleaseMutex(lock);
        };
        auto slider = [&] {
            gains[0] ^= 1;
            setDeviceProperty(&info, 3, gains);
        };
        HKEY key = productKey(KEY_SET_VALUE);
        auto bareFloor = [&] {
            RegSetValueExW(key, kEqGainValue, 0, REG_BINARY, gains, 32);
            RegSetValueExW(key, kEffectValue, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&info.effect), 575);
            std::memcpy(copy, &info.effect, 575);
        };
        zol::bench::report("setDeviceProperty(3)", zol::bench::compare(slider, bareFloor, 5, 61),
                           "2 RegSetValueExW (32 + 575 bytes) on an open key + 575-byte copy");
        RegCloseKey(key);
        // The registry layer opens and closes its key around every operation, by contract.
        auto perOperationFloor = [&] {
            lockRound();
            HKEY k = productKey(KEY_SET_VALUE);
            RegSetValueExW(k, kEqGainValue, 0, REG_BINARY, gains, 32);
            RegCloseKey(k);
            k = productKey(KEY_SET_VALUE);
            RegSetValueExW(k, kEffectValue, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&info.effect), 575);
            RegCloseKey(k);
            std::memcpy(copy, &info.effect, 575);
        };
        zol::bench::report("setDeviceProperty(3)", zol::bench::compare(slider, perOperationFloor, 5, 61),
                           "the same with open + close of the key around each write, + lock wait and release");
        CloseHandle(lock);
    }

    // --- getDeviceInfo ---
    {
        const wchar_t* values[] = {kControlValue, kEffectValue, kEqGainValue};
        unsigned char buffer[575];
        auto load = [&] { getDeviceInfo(0, &info); };
        HANDLE lock = CreateMutexW(nullptr, FALSE, nullptr);
        auto floor = [&] {
            WaitForSingleObject(lock, INFINITE);
            ReleaseMutex(lock);
            // Registry: existence test and read of each value, each with its own key open.
            for (const wchar_t* value : values) {
                HKEY k = productKey(KEY_QUERY_VALUE);
                RegQueryValueExW(k, value, nullptr, nullptr, nullptr, nullptr);
                RegCloseKey(k);
                k = productKey(KEY_QUERY_VALUE);
                DWORD size = sizeof buffer;
                RegQueryValueExW(k, value, nullptr, nullptr, buffer, &size);
                RegCloseKey(k);
            }
            // Seven Core Audio reads: five volumes, two mutes.
            rawEndpointRead(eCapture, false);
            rawEndpointRead(eRender, false);
            rawEndpointRead(eCapture, false);
            rawEndpointRead(eCapture, true);
            rawEndpointRead(eRender, false);
            rawEndpointRead(eRender, false);
            rawEndpointRead(eRender, true);
        };
        zol::bench::report("getDeviceInfo", zol::bench::compare(load, floor, 1, 61),
                           "lock wait and release + 3 value tests + 3 reads (key opened for each) + 7 Core Audio reads");
        CloseHandle(lock);
    }

    releaseDeviceInfo(&info);
    HKEY key = productKey(KEY_SET_VALUE);
    for (const wchar_t* value : {kControlValue, kEffectValue, kEqGainValue}) RegDeleteValueW(key, value);
    RegCloseKey(key);
    return 0;
}
