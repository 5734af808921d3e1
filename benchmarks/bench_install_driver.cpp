// The installation driver's per-endpoint work (find, load, install or remove, system-effects
// switch) over N seeded endpoints of one USB device, without the audio service restart, which
// costs the same whatever N is. The cost per endpoint should not grow with N.
#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "apo_install/endpoint_catalogue.h"
#include "apo_install/install_driver.h"
#include "bench_report.h"

namespace {

// A vendor/product pair no real device of the prefix has.
constexpr std::uint16_t kVendor = 0x0A1B;
constexpr std::uint16_t kProduct = 0x7E57;
constexpr int kRounds = 11;
const wchar_t* const kProductKey = L"SOFTWARE\\ZolSoundKit";

void setString(HKEY key, const wchar_t* name, const std::wstring& text) {
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

std::wstring freshGuid() {
    GUID guid{};
    CoCreateGuid(&guid);
    wchar_t text[64] = {};
    StringFromGUID2(guid, text, 64);
    return text;
}

std::wstring relative(const std::wstring& fullPath) {
    return fullPath.substr(std::wstring(L"HKEY_LOCAL_MACHINE\\").size());
}

// N render endpoints of the device, as Windows lays them out (no "FxProperties" yet).
std::vector<std::wstring> seed(int count) {
    std::vector<std::wstring> keys;
    for (int i = 0; i < count; ++i) {
        const std::wstring key = relative(zol::apo_install::endpointKeyPath(false, false, freshGuid()));
        HKEY properties = nullptr;
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, (key + L"\\Properties").c_str(), 0, nullptr, 0,
                        KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &properties, nullptr);
        setString(properties, zol::apo_install::property::kDeviceDescription, L"Zol Headset");
        setString(properties, zol::apo_install::property::kEndpointName, L"Speakers " + std::to_wstring(i));
        setString(properties, zol::apo_install::property::kHardwareId, L"{1}.USB\\VID_0A1B&PID_7E57&MI_00\\7&1&0&0000");
        RegCloseKey(properties);
        keys.push_back(key);
    }
    return keys;
}

void remove(const std::vector<std::wstring>& keys) {
    for (const std::wstring& key : keys) RegDeleteTreeW(HKEY_LOCAL_MACHINE, key.c_str()), RegDeleteKeyExW(
        HKEY_LOCAL_MACHINE, key.c_str(), KEY_WOW64_64KEY, 0);
}

// ns per endpoint of an install pass plus a removal pass over `count` freshly seeded endpoints.
// One sample times `passes` pairs together, so samples of both sizes last alike (about as long as
// the load bursts of a shared machine); interference only ever adds, so the fastest of
// `samples` is the cost.
double perEndpoint(int count, int passes, int samples) {
    const std::vector<std::wstring> keys = seed(count);
    bool ok = true;
    auto pass = [&] {
        ok = ok && zol::apo_install::applyEffectToUsbDevice(zol::apo_install::kRenderFlow, true, kVendor, kProduct) == count;
        ok = ok && zol::apo_install::applyEffectToUsbDevice(zol::apo_install::kRenderFlow, false, kVendor, kProduct) == count;
    };
    pass();  // the first pass also creates what later ones reuse: not timed, for either size
    std::vector<double> times;
    for (int s = 0; s < samples; ++s) times.push_back(zol::bench::nsPerCall(pass, passes, 1));
    remove(keys);
    if (!ok) std::fprintf(stderr, "pass over %d endpoints did not change every endpoint\n", count);
    return *std::min_element(times.begin(), times.end()) / count;
}

}  // namespace

int main() {
    HKEY existing = nullptr;
    const bool hadProductKey =
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProductKey, 0, KEY_READ | KEY_WOW64_64KEY, &existing) == ERROR_SUCCESS;
    if (existing) RegCloseKey(existing);
    // Backup files would land in the current directory; these endpoints have none to back up.
    // Rounds alternate (10, 100), (100, 10), ... so load shifts touch both sizes alike.
    std::vector<double> ten, hundred;
    perEndpoint(10, 1, 1);  // warm-up
    for (int r = 0; r < kRounds; ++r) {
        if (r % 2 == 0) ten.push_back(perEndpoint(10, 10, 5));
        hundred.push_back(perEndpoint(100, 1, 5));
        if (r % 2 == 1) ten.push_back(perEndpoint(10, 10, 5));
    }
    const zol::bench::Comparison growth = zol::bench::summarize(hundred, ten);
    zol::bench::report("install+remove pass, per endpoint, N = 10", growth.floorNs, "no floor");
    zol::bench::report("install+remove pass, per endpoint, N = 100", growth.subjectNs, "no floor");
    zol::bench::report("per endpoint, N = 100 against N = 10", growth, "N = 10 (ratio 1 = linear)");
    if (!hadProductKey) RegDeleteTreeW(HKEY_LOCAL_MACHINE, kProductKey), RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kProductKey,
                                                                                       KEY_WOW64_64KEY, 0);
    return 0;
}
