// Seeds (or removes) a SIMULATED kit headset's render and capture endpoints in the MMDevices tree,
// written the way Windows writes a USB headset's, for zolctl's tests and the demo:
//   seed_endpoints add | remove
#include <windows.h>

#include <cstdio>
#include <string>

#include "apo_install/apo_info.h"
#include "apo_install/endpoint_catalogue.h"
#include "registry/registry.h"

namespace {

namespace reg = zol::registry;
namespace apo = zol::apo_install;

// Fixed ids, so that a demo can name them and a later "remove" finds them; the kit's first headset.
constexpr const wchar_t* kIds[] = {L"{5eed0001-0a1b-4c20-8000-53494d554c41}", L"{5eed0002-0a1b-4c20-8000-53494d554c41}"};
constexpr const wchar_t* kHardwareId = L"USB\\VID_0A1B&PID_00C2&MI_00\\7&SIMULATED&0&0000";
// 8-byte header, then WAVEFORMATEXTENSIBLE: 48 kHz, 2 channels, 16 bit, front left/right.
constexpr unsigned char kDeviceFormat[48] = {0, 0, 0, 0, 0, 0, 0, 0, 0xFE, 0xFF, 2, 0, 0x80, 0xBB, 0, 0,
                                             0, 0xEE, 2, 0, 4, 0, 16, 0, 22, 0, 16, 0, 3, 0, 0, 0};

void seed(bool capture) {
    const std::wstring key = apo::endpointKeyPath(false, capture, kIds[capture]);
    const std::wstring properties = apo::propertiesKeyPath(key), fx = apo::fxPropertiesKeyPath(key);
    reg::createKey(properties);
    reg::writeDwordValue(key, L"DeviceState", 1);
    reg::writeStringValue(properties, apo::property::kDeviceDescription, L"ZolSoundKit USB headset (SIMULATED)");
    reg::writeStringValue(properties, apo::property::kEndpointName, capture ? L"Headset Microphone (SIMULATED)" : L"Headset Earphone (SIMULATED)");
    reg::writeStringValue(properties, apo::property::kHardwareId, kHardwareId);
    reg::writeBinaryValue(properties, apo::property::kDeviceFormat, kDeviceFormat, sizeof kDeviceFormat);
    if (capture) return;
    // A former effect on the render endpoint, which installation must save and removal put back.
    reg::createKey(fx);
    reg::writeStringValue(fx, apo::kFxSlotValueNames[apo::kStreamSlot], L"{5eedfeed-0000-4000-8000-53494d554c41}");
}

void deleteTree(const std::wstring& key) {
    if (!reg::keyExists(key)) return;
    for (const std::wstring& sub : reg::listSubkeys(key)) deleteTree(key + L"\\" + sub);
    reg::deleteKey(key);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring action = argc > 1 ? argv[1] : L"";
    try {
        if (action == L"add") {
            seed(false), seed(true);
            std::printf("seeded SIMULATED headset endpoints (hardware id %ls):\n  render  %ls\n  capture %ls\n", kHardwareId, kIds[0], kIds[1]);
        } else if (action == L"remove") {
            for (bool capture : {false, true}) deleteTree(apo::endpointKeyPath(false, capture, kIds[capture]));
            std::printf("removed the SIMULATED headset endpoints\n");
        } else {
            return std::fprintf(stderr, "usage: seed_endpoints add | remove\n"), 2;
        }
    } catch (const reg::RegistryException& e) {
        return std::fprintf(stderr, "seed_endpoints: %ls\n", e.message().c_str()), 1;
    }
    return 0;
}
