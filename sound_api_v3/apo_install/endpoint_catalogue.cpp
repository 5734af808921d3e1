#include "apo_install/endpoint_catalogue.h"

#include <windows.h>

#include <mmdeviceapi.h>
#include <objbase.h>
#include <propidl.h>
#include <wrl/client.h>

#include <cwchar>

#include "apo_install/bluetooth_search.h"
#include "log/debug_log.h"
#include "registry/registry_read.h"

namespace zol::apo_install {
namespace {

using Microsoft::WRL::ComPtr;
namespace reg = zol::registry;

// PKEY_AudioEndpoint_GUID, spelled out so that no translation unit has to own the GUID symbols.
const PROPERTYKEY kEndpointGuidKey = {{0x1da5d803, 0xd492, 0x4edd, {0x8c, 0x23, 0xe0, 0xc0, 0xff, 0xee, 0x7f, 0x0e}},
                                      4};

constexpr std::uint16_t kWaveFormatExtensible = 0xFFFE;

std::uint16_t le16(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}
std::uint32_t le32(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    return static_cast<std::uint32_t>(bytes[offset]) | static_cast<std::uint32_t>(bytes[offset + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[offset + 2]) << 16 | static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
}

std::wstring lowerCase(const std::wstring& text) {
    std::wstring lower = text;
    if (!lower.empty() && CharLowerBuffW(lower.data(), static_cast<DWORD>(lower.size())) != lower.size())
        return text;
    return lower;
}

std::wstring formatIds(const wchar_t* format, std::uint32_t first, std::uint32_t second) {
    wchar_t text[64] = {};
    std::swprintf(text, sizeof text / sizeof text[0], format, static_cast<unsigned>(first),
                  static_cast<unsigned>(second));
    return text;
}

// The first property of the two that the key holds; reading the second raises when neither is there.
std::wstring readFirstOf(const std::wstring& key, const wchar_t* first, const wchar_t* second) {
    return reg::readStringValue(key, reg::valueExists(key, first) ? first : second);
}

}  // namespace

std::wstring treeKeyPath(bool previousOs) { return previousOs ? kPreviousOsTreeKey : kCurrentTreeKey; }

std::wstring flowKeyPath(bool previousOs, std::uint8_t flow) {
    return treeKeyPath(previousOs) + (flow != kRenderFlow ? L"\\Capture" : L"\\Render");
}

std::wstring endpointKeyPath(bool previousOs, bool capture, const std::wstring& endpointId) {
    return flowKeyPath(previousOs, capture ? kCaptureFlow : kRenderFlow) + L"\\" + endpointId;
}

std::wstring propertiesKeyPath(const std::wstring& endpointKey) { return endpointKey + L"\\Properties"; }
std::wstring fxPropertiesKeyPath(const std::wstring& endpointKey) { return endpointKey + L"\\FxProperties"; }

std::vector<EndpointMatch> findUsbEndpoints(std::uint16_t vendorId, std::uint16_t productId, std::uint8_t flow) {
    const std::wstring pattern = formatIds(L"vid_%.4x&pid_%.4x", vendorId, productId);
    const std::wstring flowKey = flowKeyPath(false, flow);
    std::vector<EndpointMatch> matches;
    if (!reg::keyExists(flowKey)) return matches;
    for (const std::wstring& id : reg::listSubkeys(flowKey)) {
        const std::wstring endpointKey = flowKey + L"\\" + id;
        if (!reg::keyExists(endpointKey)) continue;
        const std::wstring properties = propertiesKeyPath(endpointKey);
        std::wstring hardwareId;
        try {
            if (reg::valueExists(properties, property::kHardwareId))
                hardwareId = reg::readStringValue(properties, property::kHardwareId);
            else if (reg::valueExists(properties, property::kHardwareIdFallback))
                hardwareId = reg::readStringValue(properties, property::kHardwareIdFallback);
            else
                continue;
        } catch (const reg::RegistryException& e) {
            // Some other device's odd endpoint: it cannot be ours, and must not stop the search.
            log::trace(L"%s", e.message().c_str());
            continue;
        }
        if (lowerCase(hardwareId).find(pattern) != std::wstring::npos) matches.push_back({0, id});
    }
    return matches;
}

bool matchesBluetoothDevice(std::uint32_t word0, std::uint32_t word1, std::uint32_t word2,
                            const std::wstring& hardwareId, const std::wstring& endpointName) {
    if (hardwareId.find(L"BTHENUM\\") == std::wstring::npos && hardwareId.find(L"BTHHFENUM\\") == std::wstring::npos)
        return false;
    const std::wstring wanted = endpointName.substr(0, endpointName.find(L" Hands-Free"));

    const std::uint64_t company = static_cast<std::uint64_t>(word0 & 0xFFFFFFu) << 24;
    const std::uint64_t lowest = company | (word1 & 0xFFFFFFu);
    const std::uint64_t highest = company | (word2 & 0xFFFFFFu);
    bool matched = false;
    searchBluetoothDevices([&](const std::wstring& name, std::uint64_t address) {
        if (name != wanted) return false;
        matched = address >= lowest && address <= highest;
        return true;  // only the first device of that name counts
    });
    return matched;
}

std::wstring getEndpointKeyPath(const std::wstring& endpointId) {
    for (bool capture : {false, true}) {
        std::wstring path = endpointKeyPath(false, capture, endpointId);
        if (reg::keyExists(path)) return path;
    }
    return std::wstring();
}

std::wstring getDefaultEndpointGuid(std::uint8_t flow) {
    ComPtr<IMMDeviceEnumerator> enumerator;
    if (FAILED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, IID_PPV_ARGS(&enumerator))))
        return std::wstring();
    ComPtr<IMMDevice> device;
    if (FAILED(enumerator->GetDefaultAudioEndpoint(static_cast<EDataFlow>(flow), eMultimedia, &device)))
        return std::wstring();
    ComPtr<IPropertyStore> store;
    if (FAILED(device->OpenPropertyStore(STGM_READ, &store))) return std::wstring();
    PROPVARIANT value;
    PropVariantInit(&value);
    std::wstring guid;
    if (SUCCEEDED(store->GetValue(kEndpointGuidKey, &value)) && value.vt == VT_LPWSTR && value.pwszVal != nullptr)
        guid = value.pwszVal;
    PropVariantClear(&value);
    return guid;
}

bool isSameGuid(const std::wstring& first, const std::wstring& second) {
    CLSID a{};
    CLSID b{};
    return SUCCEEDED(CLSIDFromString(first.c_str(), &a)) && SUCCEEDED(CLSIDFromString(second.c_str(), &b)) &&
           IsEqualGUID(a, b);
}

DeviceFormat parseDeviceFormat(const std::vector<std::uint8_t>& value) {
    DeviceFormat format;
    if (value.size() < 26) return format;
    const std::uint16_t formatTag = le16(value, 8);
    format.channelCount = le16(value, 10);
    format.sampleRate = le32(value, 12);
    if (value.size() >= 32 && formatTag == kWaveFormatExtensible) format.channelMask = le32(value, 28);
    return format;
}

EndpointProperties readEndpointProperties(const std::wstring& endpointKey, const std::wstring& endpointId) {
    const std::wstring properties = propertiesKeyPath(endpointKey);
    EndpointProperties read;
    read.endpointId = endpointId;
    read.deviceDescription = reg::readStringValue(properties, property::kDeviceDescription);
    read.endpointName = readFirstOf(properties, property::kEndpointName, property::kEndpointNameFallback);
    read.hardwareId = readFirstOf(properties, property::kHardwareId, property::kHardwareIdFallback);

    if (reg::valueExists(properties, property::kDeviceFormat)) {
        const DeviceFormat format = parseDeviceFormat(reg::readBinaryValue(properties, property::kDeviceFormat));
        read.channelCount = format.channelCount;
        read.sampleRate = format.sampleRate;
        read.channelMask = format.channelMask;
    }
    if (read.channelMask == 0 && reg::valueExists(properties, property::kPhysicalSpeakers))
        read.channelMask = reg::readDwordValue(properties, property::kPhysicalSpeakers);

    const std::wstring effects = fxPropertiesKeyPath(endpointKey);
    if (reg::keyExists(effects) && reg::valueExists(effects, property::kDisableSystemEffects))
        read.systemEffectsDisabled = reg::readDwordValue(effects, property::kDisableSystemEffects) != 0;
    return read;
}

}  // namespace zol::apo_install
