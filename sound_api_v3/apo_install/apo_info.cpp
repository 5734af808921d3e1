#include "apo_install/apo_info.h"

#include <objbase.h>

#include <cwchar>

#include "apo_install/endpoint_catalogue.h"
#include "common/windows_version.h"
#include "log/debug_log.h"
#include "registry/registry_read.h"

namespace zol::apo_install {
namespace {

namespace reg = zol::registry;

// Values that, next to slot 0 or 1, show an endpoint already uses the newer effect slots.
constexpr const wchar_t* kNewerSlotValues[] = {
    L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},13",
    L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},14",
    L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},15",
};

// DEVICE_STATE_NOTPRESENT of the endpoint's "DeviceState".
constexpr std::uint32_t kDeviceStateNotPresent = 0x4;

}  // namespace

const GUID StreamEffectApoClsid = {0x7E473820, 0x7159, 0x4426, {0xA7, 0xD7, 0x12, 0x3D, 0xD7, 0xEB, 0x69, 0x7D}};
const GUID EndpointEffectApoClsid = {0xD2C675CA, 0x6F7D, 0x446C, {0xBE, 0x57, 0x29, 0x62, 0x24, 0xC1, 0x34, 0xA6}};

bool isEffectClass(const std::wstring& registration) {
    CLSID clsid{};
    if (FAILED(CLSIDFromString(registration.c_str(), &clsid))) return false;
    return IsEqualGUID(clsid, StreamEffectApoClsid) || IsEqualGUID(clsid, EndpointEffectApoClsid);
}

bool needsLiteralMark(const std::wstring& text) {
    return text.empty() || text == kMarkerNoKey || text == kMarkerNoValue;
}

std::wstring childApoStoreKeyPath(const std::wstring& endpointId) {
    return std::wstring(kChildApoStoreKey) + L"\\" + endpointId;
}

std::wstring backupFileName(const std::wstring& endpointName, const std::wstring& deviceDescription) {
    std::wstring name = L"backup_" + endpointName + L"_" + deviceDescription;
    for (wchar_t& c : name)
        if (std::wcschr(L"<>:\"/\\|?*", c) != nullptr && c != L'\0') c = L'_';
    return name + L".reg";
}

bool EndpointRecord::matchesDevice(std::uint32_t word0, std::uint32_t word1, std::uint32_t word2) const {
    if (!isBluetoothEntry(word0)) {
        wchar_t pattern[64] = {};
        std::swprintf(pattern, sizeof pattern / sizeof pattern[0], L"VID_%.4X&PID_%.4X", static_cast<unsigned>(word0),
                      static_cast<unsigned>(word1));
        return hardwareId.find(pattern) != std::wstring::npos;
    }
    return matchesBluetoothDevice(word0, word1, word2, hardwareId, endpointName);
}

std::wstring EndpointRecord::endpointKey() const { return endpointKeyPath(previousOs, isCaptureEndpoint, endpointId); }
std::wstring EndpointRecord::fxPropertiesKey() const { return fxPropertiesKeyPath(endpointKey()); }
std::wstring EndpointRecord::propertiesKey() const { return propertiesKeyPath(endpointKey()); }

std::wstring EndpointRecord::findBluetoothEndpoint(std::uint32_t word0, std::uint32_t word1, std::uint32_t word2,
                                                  bool previousOsTree, std::uint8_t flow) {
    previousOs = previousOsTree;
    const std::wstring flowKey = flowKeyPath(previousOsTree, flow);
    for (const std::wstring& id : reg::listSubkeys(flowKey)) {
        const std::wstring endpoint = flowKey + L"\\" + id;
        if (!reg::keyExists(endpoint)) continue;
        const std::wstring properties = propertiesKeyPath(endpoint);
        if (!reg::valueExists(properties, property::kEndpointName) ||
            !reg::valueExists(properties, property::kHardwareIdFallback))
            continue;
        std::wstring name;
        std::wstring hardware;
        try {
            name = reg::readStringValue(properties, property::kEndpointName);
            hardware = reg::readStringValue(properties, property::kHardwareIdFallback);
        } catch (const reg::RegistryException& e) {
            log::trace(L"%s", e.message().c_str());
            continue;
        }
        if (matchesBluetoothDevice(word0, word1, word2, hardware, name)) return id;
    }
    return std::wstring();
}

bool EndpointRecord::load(const std::wstring& id, const std::wstring& defaultEndpointGuid) {
    log::trace(L"load(%s)", id.c_str());
    for (bool capture : {false, true}) {
        const std::wstring key = endpointKeyPath(previousOs, capture, id);
        if (!reg::keyExists(key)) continue;
        isCaptureEndpoint = capture;
        return fill(key, id, defaultEndpointGuid, Reading::Load);
    }
    return false;
}

bool EndpointRecord::reload(const std::wstring& id, const std::wstring& defaultEndpointGuid) {
    std::wstring key = endpointKeyPath(false, false, id);
    isCaptureEndpoint = !reg::keyExists(key);
    if (isCaptureEndpoint) key = endpointKeyPath(false, true, id);
    if (reg::readDwordValue(key, L"DeviceState") & kDeviceStateNotPresent) return false;
    return fill(key, id, defaultEndpointGuid, Reading::Reload);
}

bool EndpointRecord::fill(const std::wstring& key, const std::wstring& id, const std::wstring& defaultEndpointGuid,
                         Reading reading) {
    const bool logging = reading == Reading::Load;
    const EndpointProperties read = readEndpointProperties(key, id);
    endpointId = read.endpointId;
    deviceDescription = read.deviceDescription;
    endpointName = read.endpointName;
    hardwareId = read.hardwareId;
    channelCount = read.channelCount;
    sampleRate = read.sampleRate;
    channelMask = read.channelMask;
    systemEffectsDisabled = read.systemEffectsDisabled;
    isDefault = false;
    if (reading == Reading::Reload) {
        const std::wstring defaultGuid = defaultEndpointGuid.empty()
                                             ? getDefaultEndpointGuid(isCaptureEndpoint ? kCaptureFlow : kRenderFlow)
                                             : defaultEndpointGuid;
        isDefault = isSameGuid(id, defaultGuid);
    }

    installed = false;
    literalSlots = 0;
    version = L"0";
    preMixChild.clear();
    postMixChild.clear();
    loadedOptions = InstallOptions{true, !isCaptureEndpoint, true, !isCaptureEndpoint, 0, false};

    const std::wstring effects = fxPropertiesKeyPath(key);
    if (!reg::keyExists(effects)) {
        if (logging) log::trace(L":FxProperties NOT exist");
        orgGuid.fill(kMarkerNoKey);
        return true;
    }

    std::array<bool, kFxSlotCount> present{};
    std::array<bool, kFxSlotCount> holdsEffect{};
    for (std::size_t i = 0; i < kFxSlotCount; ++i) {
        present[i] = reg::valueExists(effects, kFxSlotValueNames[i]);
        orgGuid[i] = present[i] ? reg::readStringValue(effects, kFxSlotValueNames[i]) : kMarkerNoValue;
        if (present[i] && needsLiteralMark(orgGuid[i])) literalSlots |= 1u << i;
        if (logging) log::trace(L":orgGuid[%d]=%s", static_cast<int>(i), orgGuid[i].c_str());
    }
    bool anyEffect = false;
    for (std::size_t i = 0; i < kFxSlotCount; ++i) {
        holdsEffect[i] = present[i] && isEffectClass(orgGuid[i]);
        anyEffect = anyEffect || holdsEffect[i];
    }

    if (!anyEffect) {
        if (!common::isWindowsVersionAtLeast(6, 3)) return true;
        bool newerSlots = present[kStreamSlot] || present[kModeSlot] || present[kEndpointSlot];
        for (const wchar_t* name : kNewerSlotValues) newerSlots = newerSlots || reg::valueExists(effects, name);
        if ((present[kPreMixSlot] || present[kPostMixSlot]) && !newerSlots) {
            loadedOptions.slotStyle = 0;
            return true;
        }
        loadedOptions.slotStyle = reg::valueExists(propertiesKeyPath(key), property::kSlotStyleHint) ? 1 : 2;
        return true;
    }

    if (logging) log::trace(L":drv is installed");
    installed = true;

    const std::wstring store = childApoStoreKeyPath(id);
    if (!reg::keyExists(store)) {
        // The oldest layout: one child, kept as a value named after the endpoint.
        if (reading == Reading::Reload && reg::valueExists(kChildApoStoreKey, id)) {
            const std::wstring child = reg::readStringValue(kChildApoStoreKey, id);
            for (std::size_t i = 0; i < kFxSlotCount; ++i) {
                if (!holdsEffect[i]) continue;
                orgGuid[i] = child;
                (i == kPreMixSlot || i == kStreamSlot ? preMixChild : postMixChild) = child;
                break;
            }
        }
        return true;
    }

    if (reg::valueExists(store, kStoreVersionValue)) {
        version = reg::readStringValue(store, kStoreVersionValue);
        if (version != kCurrentStoreVersion)
            throw reg::RegistryException(L"Unsupported version of APO installation detected!");
    } else {
        version = L"1";
    }
    std::array<bool, kFxSlotCount> saved{};
    literalSlots = 0;
    for (std::size_t i = 0; i < kFxSlotCount; ++i) {
        saved[i] = reg::valueExists(store, kFxSlotValueNames[i]);
        if (saved[i]) orgGuid[i] = reg::readStringValue(store, kFxSlotValueNames[i]);
    }
    if (reg::valueExists(store, kLiteralSlotsValue)) literalSlots = reg::readDwordValue(store, kLiteralSlotsValue);

    if (version == L"1") {
        const bool mixSlots = saved[kPreMixSlot];
        preMixChild = orgGuid[mixSlots ? kPreMixSlot : kStreamSlot];
        postMixChild = orgGuid[mixSlots ? kPostMixSlot : kModeSlot];
        return true;
    }

    if (reg::valueExists(store, kPreMixChildValue)) preMixChild = reg::readStringValue(store, kPreMixChildValue);
    if (reg::valueExists(store, kPostMixChildValue)) postMixChild = reg::readStringValue(store, kPostMixChildValue);
    loadedOptions.preMixSlot = holdsEffect[kPreMixSlot] || holdsEffect[kStreamSlot];
    loadedOptions.postMixSlot = holdsEffect[kPostMixSlot] || holdsEffect[kModeSlot] || holdsEffect[kEndpointSlot];
    if (preMixChild.empty()) loadedOptions.keepPreMixChild = false;
    if (postMixChild.empty()) loadedOptions.keepPostMixChild = false;
    if (holdsEffect[kPreMixSlot] || holdsEffect[kPostMixSlot])
        loadedOptions.slotStyle = 0;
    else if (holdsEffect[kEndpointSlot])
        loadedOptions.slotStyle = 2;
    else
        loadedOptions.slotStyle = 1;
    if (reg::valueExists(store, kAllowSilentBufferModificationValue))
        loadedOptions.allowSilentBufferModification =
            reg::readStringValue(store, kAllowSilentBufferModificationValue) != L"false";
    return true;
}

}  // namespace zol::apo_install
