// The FxProperties edit of one endpoint: install (slot 16), uninstall (17), reinstall (18), and
// the system-effects switch.
//
// install saves what the endpoint had (child-effect store, then a .reg file) before it changes
// anything, so a failure part-way leaves the former registrations recoverable; uninstall writes
// the saved texts back and removes the store entries of the endpoint.
#include "apo_install/fx_properties.h"

#include <windows.h>

#include <string>
#include <vector>

#include "apo_install/endpoint_catalogue.h"
#include "common/guid_text.h"
#include "common/unique_handle.h"
#include "common/windows_version.h"
#include "log/debug_log.h"
#include "registry/backup_file.h"
#include "registry/permissions.h"
#include "registry/registry.h"

namespace zol::apo_install {
namespace {

namespace reg = zol::registry;

bool isMarker(const std::wstring& text) { return text == kMarkerNoKey || text == kMarkerNoValue; }

// Creates "FxProperties"; when even an administrator may not create it, repairs the endpoint
// key's owner and DACL once and tries again (a second refusal passes out).
void createFxProperties(const std::wstring& endpointKey, const std::wstring& fxKey) {
    try {
        reg::createKey(fxKey);
    } catch (const reg::RegistryException&) {
        reg::takeKeyOwnership(endpointKey);
        reg::ensureKeyWritable(endpointKey);
        reg::createKey(fxKey);
    }
}

// Whether an existing file was written for another endpoint (it does not name this one's key).
bool heldByOtherEndpoint(const std::wstring& file, const std::wstring& endpointId) {
    common::unique_file_handle in(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!in) return false;
    std::string head(4096, '\0');
    DWORD read = 0;
    if (!ReadFile(in.get(), head.data(), static_cast<DWORD>(head.size()), &read, nullptr)) return false;
    head.resize(read);
    const std::string id(endpointId.begin(), endpointId.end());  // a GUID text: ASCII
    return head.find(id) == std::string::npos;
}

// Endpoints of one device can share name and description: the second one gets its id added to
// the name instead of replacing the first one's file.
std::wstring backupFilePath(const DeviceAPOInfo& record) {
    const std::wstring shared = backupFileName(record.endpointName, record.deviceDescription);
    if (!heldByOtherEndpoint(shared, record.endpointId)) return shared;
    return backupFileName(record.endpointName, record.deviceDescription + L"_" + record.endpointId);
}

// The file is a copy for the user; removal relies on the store. A file that cannot be written
// (too long a name, a read-only old file) is logged and skipped, never a reason to stop.
void exportBackup(const DeviceAPOInfo& record, const std::wstring& fx, const std::vector<std::wstring>& names) {
    try {
        reg::exportValuesToRegFile(fx, names, backupFilePath(record));
    } catch (const reg::RegistryException& e) {
        log::trace(L"%s", e.message().c_str());
    }
}

}  // namespace

std::wstring DeviceAPOInfo::getDeviceDescription() const { return deviceDescription; }
std::wstring DeviceAPOInfo::getEndpointName() const { return endpointName; }
std::wstring DeviceAPOInfo::getEndpointId() const { return endpointId; }
std::wstring DeviceAPOInfo::getDisplayText() const {
    return deviceDescription + L" " + endpointName + L" " + endpointId;
}
std::uint32_t DeviceAPOInfo::getChannelCount() const { return channelCount; }
std::uint32_t DeviceAPOInfo::getSampleRate() const { return sampleRate; }
std::uint32_t DeviceAPOInfo::getChannelMask() const { return channelMask; }
bool DeviceAPOInfo::isCapture() const { return isCaptureEndpoint; }
bool DeviceAPOInfo::isInstalled() const { return installed; }

bool DeviceAPOInfo::matchesDevice(std::uint32_t word0, std::uint32_t word1, std::uint32_t word2) const {
    return EndpointRecord::matchesDevice(word0, word1, word2);
}
bool DeviceAPOInfo::isOutdated() const { return installed && version != kCurrentStoreVersion; }
bool DeviceAPOInfo::hasPendingChange() const { return installed && loadedOptions != appliedOptions; }
bool DeviceAPOInfo::hasNoEffects() const {
    return !installed && orgGuid[kPreMixSlot] == kMarkerNoKey && (literalSlots & 1u) == 0;
}
bool DeviceAPOInfo::isSystemEffectsDisabled() const { return systemEffectsDisabled; }
bool DeviceAPOInfo::isDefaultEndpoint() const { return isDefault; }


std::wstring captureDeviceInterfacePath(const std::wstring& endpointId) {
    return L"\\\\?\\SWD#MMDEVAPI#{0.0.1.00000000}." + endpointId + L"#{2eef81be-33fa-4800-9670-1cd474972c3f}";
}

std::pair<std::wstring, std::wstring> chooseChildren(const std::array<std::wstring, kFxSlotCount>& orgGuid,
                                                     const InstallOptions& options, bool windows81OrLater) {
    const auto unset = [&](std::size_t i) { return orgGuid[i] == kMarkerNoValue; };
    std::size_t pre = 0;
    std::size_t post = 0;
    switch (options.slotStyle) {
    case 0:
        pre = kPreMixSlot, post = kPostMixSlot;
        if (windows81OrLater && unset(kPreMixSlot) && unset(kPostMixSlot)) pre = kStreamSlot, post = kModeSlot;
        break;
    case 1:
        pre = kStreamSlot, post = kModeSlot;
        if (unset(kStreamSlot) && unset(kModeSlot)) pre = kPreMixSlot, post = kPostMixSlot;
        break;
    case 2:
        pre = kStreamSlot, post = kEndpointSlot;
        if (unset(kStreamSlot) && unset(kEndpointSlot)) pre = kPreMixSlot, post = kPostMixSlot;
        break;
    default:
        return {};
    }
    std::wstring preChild = options.keepPreMixChild ? orgGuid[pre] : std::wstring();
    std::wstring postChild = options.keepPostMixChild ? orgGuid[post] : std::wstring();
    if (isMarker(preChild)) preChild.clear();
    if (isMarker(postChild)) postChild.clear();
    return {preChild, postChild};
}

void DeviceAPOInfo::install() {
    appliedOptions = loadedOptions;
    if (!appliedOptions.preMixSlot && !appliedOptions.postMixSlot) return;

    const std::wstring store = childApoStoreKeyPath(endpointId);
    reg::createKey(kChildApoStoreKey);
    reg::createKey(store);

    // The former registrations as they are now in the registry (not as the load saw them).
    const std::wstring fx = fxPropertiesKey();
    if (reg::keyExists(fx)) {
        log::trace(L":backup org Effects");
        std::vector<std::wstring> backedUp;
        std::uint32_t literal = 0;
        for (std::size_t i = 0; i < kFxSlotCount; ++i) {
            const wchar_t* name = kFxSlotValueNames[i];
            std::wstring text = kMarkerNoValue;
            if (reg::valueExists(fx, name)) {
                text = reg::readStringValue(fx, name);
                backedUp.emplace_back(name);
                if (needsLiteralMark(text)) literal |= 1u << i;
            }
            reg::writeStringValue(store, name, text);
        }
        if (literal != 0) reg::writeDwordValue(store, kLiteralSlotsValue, literal);
        if (!backedUp.empty()) exportBackup(*this, fx, backedUp);
    } else {
        log::trace(L":init FxProperities");
        // Markers first: a pass that dies after creating the key leaves a store saying it is ours.
        for (const wchar_t* name : kFxSlotValueNames) reg::writeStringValue(store, name, kMarkerNoKey);
        createFxProperties(endpointKey(), fx);
        reg::writeStringValue(fx, kFxItemNameDisplay, kFxItemNameDisplayText);
    }

    const auto [preChild, postChild] = chooseChildren(orgGuid, appliedOptions, common::isWindowsVersionAtLeast(6, 3));
    reg::writeStringValue(store, kPreMixChildValue, preChild);
    reg::writeStringValue(store, kPostMixChildValue, postChild);
    reg::writeStringValue(store, kAllowSilentBufferModificationValue,
                          appliedOptions.allowSilentBufferModification ? L"true" : L"false");
    reg::writeStringValue(store, kStoreVersionValue, kCurrentStoreVersion);

    log::trace(L":installing Effects");
    reg::writeStringValue(fx, kFxSlotValueNames[kStreamSlot], common::guidToString(StreamEffectApoClsid));
    log::trace(L":proc m_sfx");
    if (!reg::valueExists(fx, kStreamProcessingModes))
        reg::writeMultiStringValue(fx, kStreamProcessingModes, kDefaultProcessingMode);

    if (!isCaptureEndpoint) {
        log::trace(L":proc efx");
        reg::writeStringValue(fx, kFxSlotValueNames[kEndpointSlot], common::guidToString(EndpointEffectApoClsid));
        if (!reg::valueExists(fx, kEndpointProcessingModes))
            reg::writeMultiStringValue(fx, kEndpointProcessingModes, kDefaultProcessingMode);
    } else {
        reg::writeStringValue(fx, kFxSlotValueNames[kEndpointSlot], kDefaultProcessingMode);
    }

    log::trace(L":ext proc");
    const std::wstring properties = propertiesKey();
    if (isCaptureEndpoint && reg::keyExists(properties) &&
        !reg::valueExists(properties, kDeviceInterfacePathProperty))
        reg::writeStringValue(properties, kDeviceInterfacePathProperty, captureDeviceInterfacePath(endpointId));

    log::trace(L":enable enhance");
    if (reg::valueExists(fx, property::kDisableSystemEffects)) reg::deleteValue(fx, property::kDisableSystemEffects);
}

void DeviceAPOInfo::uninstall() {
    const std::wstring fx = fxPropertiesKey();
    const auto literal = [this](std::size_t i) { return (literalSlots >> i & 1u) != 0; };
    if (orgGuid[kPreMixSlot] != kMarkerNoKey || literal(kPreMixSlot)) {
        for (std::size_t i = 0; i < kFxSlotCount; ++i) {
            const std::wstring& saved = orgGuid[i];
            if (saved == kMarkerNoValue && !literal(i)) {
                if (reg::valueExists(fx, kFxSlotValueNames[i])) reg::deleteValue(fx, kFxSlotValueNames[i]);
            } else if (!saved.empty() || literal(i)) {
                reg::writeStringValue(fx, kFxSlotValueNames[i], saved);
            }
        }
    } else {
        // The endpoint had no "FxProperties": everything in it now is ours.
        reg::deleteKey(fx);
    }

    if (!reg::keyExists(kChildApoStoreKey)) return;
    if (reg::valueExists(kChildApoStoreKey, endpointId)) reg::deleteValue(kChildApoStoreKey, endpointId);
    const std::wstring store = childApoStoreKeyPath(endpointId);
    if (reg::keyExists(store)) reg::deleteKey(store);
    if (reg::isKeyEmpty(kChildApoStoreKey)) reg::deleteKey(kChildApoStoreKey);
}

void DeviceAPOInfo::reinstall() {
    uninstall();
    reload(endpointId, std::wstring());
    install();
}

void enableSystemEffects(const std::wstring& endpointId) {
    const std::wstring endpoint = getEndpointKeyPath(endpointId);
    if (endpoint.size() <= 1) return;
    reg::writeDwordValue(fxPropertiesKeyPath(endpoint), property::kDisableSystemEffects, 0);
}

}  // namespace zol::apo_install
