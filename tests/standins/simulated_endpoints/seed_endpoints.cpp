// Seeds (or removes) a SIMULATED kit headset's render and capture endpoints in the MMDevices tree
// of the current prefix, written the way Windows writes a USB headset's endpoints, so that the
// catalogue, status and installation have a supported device to work on where none is plugged in.
//   seed_endpoints add | remove | ids
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "apo_install/apo_info.h"
#include "apo_install/endpoint_catalogue.h"
#include "device_link/supported_devices.h"
#include "registry/registry.h"

namespace {

namespace reg = zol::registry;
namespace apo_install = zol::apo_install;

// Fixed ids, so that a demo can name them and a later "remove" finds them.
constexpr const wchar_t* kRenderId = L"{5eed0001-0a1b-4c20-8000-53494d554c41}";
constexpr const wchar_t* kCaptureId = L"{5eed0002-0a1b-4c20-8000-53494d554c41}";
// A former effect on the render endpoint, which installation must save and removal put back.
constexpr const wchar_t* kFormerStreamEffect = L"{5eedfeed-0000-4000-8000-53494d554c41}";

std::wstring hardwareId() {
    const zol::device_link::SupportedDevice first = zol::device_link::supportedDevice(0);
    wchar_t text[96];
    std::swprintf(text, 96, L"USB\\VID_%04X&PID_%04X&MI_00\\7&SIMULATED&0&0000", first.vendorId(), first.productId());
    return text;
}

// 8-byte header, then WAVEFORMATEXTENSIBLE: 48 kHz, 2 channels, 16 bit, front left/right.
std::vector<std::uint8_t> deviceFormat() {
    std::vector<std::uint8_t> v(8 + 40, 0);
    auto put16 = [&](size_t at, unsigned x) { v[at] = x & 0xFF, v[at + 1] = (x >> 8) & 0xFF; };
    auto put32 = [&](size_t at, unsigned long x) { for (int i = 0; i < 4; ++i) v[at + i] = (x >> (8 * i)) & 0xFF; };
    put16(8, 0xFFFE);
    put16(10, 2);
    put32(12, 48000);
    put32(16, 48000 * 4);
    put16(20, 4);
    put16(22, 16);
    put16(24, 22);
    put16(26, 16);
    put32(28, 0x3);
    return v;
}

void seed(const wchar_t* id, bool capture) {
    const std::wstring key = apo_install::endpointKeyPath(false, capture, id);
    const std::wstring properties = key + L"\\Properties";
    reg::createKey(properties);
    reg::writeDwordValue(key, L"DeviceState", 1);
    reg::writeStringValue(properties, apo_install::property::kDeviceDescription, L"ZolSoundKit USB headset (SIMULATED)");
    reg::writeStringValue(properties, apo_install::property::kEndpointName,
                          capture ? L"Headset Microphone (SIMULATED)" : L"Headset Earphone (SIMULATED)");
    reg::writeStringValue(properties, apo_install::property::kHardwareId, hardwareId());
    const std::vector<std::uint8_t> format = deviceFormat();
    reg::writeBinaryValue(properties, apo_install::property::kDeviceFormat, format.data(), static_cast<DWORD>(format.size()));
    if (!capture) {
        const std::wstring fx = key + L"\\FxProperties";
        reg::createKey(fx);
        reg::writeStringValue(fx, apo_install::kFxSlotValueNames[apo_install::kStreamSlot], kFormerStreamEffect);
    }
}

void deleteTree(const std::wstring& key) {
    if (!reg::keyExists(key)) return;
    for (const std::wstring& sub : reg::listSubkeys(key)) deleteTree(key + L"\\" + sub);
    reg::deleteKey(key);
}

void remove(const wchar_t* id, bool capture) { deleteTree(apo_install::endpointKeyPath(false, capture, id)); }

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring action = argc > 1 ? argv[1] : L"";
    try {
        if (action == L"add") {
            seed(kRenderId, false);
            seed(kCaptureId, true);
            std::printf("seeded SIMULATED headset endpoints (hardware id %ls):\n  render  %ls\n  capture %ls\n",
                        hardwareId().c_str(), kRenderId, kCaptureId);
            return 0;
        }
        if (action == L"remove") {
            remove(kRenderId, false);
            remove(kCaptureId, true);
            std::printf("removed the SIMULATED headset endpoints\n");
            return 0;
        }
        if (action == L"ids") {
            std::printf("%ls\n%ls\n", kRenderId, kCaptureId);
            return 0;
        }
    } catch (const reg::RegistryException& e) {
        std::fprintf(stderr, "seed_endpoints: %ls\n", e.message().c_str());
        return 1;
    }
    std::fprintf(stderr, "usage: seed_endpoints add | remove | ids\n");
    return 2;
}
