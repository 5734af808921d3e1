#include "apo_install/product_lifecycle.h"

#include <windows.h>

#include "apo_install/apo_info.h"
#include "apo_install/effect_library.h"
#include "apo_install/endpoint_catalogue.h"
#include "apo_install/fx_properties.h"
#include "apo_install/install_driver.h"
#include "common/guid_text.h"
#include "common/product_key.h"
#include "host_utils/host_path.h"
#include "host_utils/process_control.h"
#include "log/debug_log.h"
#include "registry/registry.h"
#include "settings/device_info.h"
#include "settings/device_settings.h"

namespace zol::apo_install {
namespace {

namespace reg = zol::registry;

constexpr std::uint8_t kCaptureFirst = 1;
constexpr const wchar_t* kAudioEngine = L"audiodg.exe";

constexpr const wchar_t* kSettingsValues[] = {
    zol::settings::kControlValue,
    zol::settings::kEffectValue,
    zol::settings::kEqGainValue,
};

// Reads every product value a pass will read later, so that a value of the wrong type raises
// before anything is changed. Nothing is read (or logged) when the key is not there yet.
void checkProductValues(bool withSettings) {
    if (!reg::keyExists(common::kProductKey)) return;
    isEnableAllDevOn();
    if (!withSettings) return;
    for (const wchar_t* name : kSettingsValues)
        if (reg::valueExists(common::kProductKey, name)) reg::readBinaryValue(common::kProductKey, name);
}

bool slotNamesEffectClass(const std::wstring& fx, const wchar_t* slot) {
    if (!reg::valueExists(fx, slot)) return false;
    try {
        return isEffectClass(reg::readStringValue(fx, slot));
    } catch (const reg::RegistryException&) {
        return false;  // not text: names nothing
    }
}

bool endpointNamesEffectClass(const std::wstring& endpointKey) {
    const std::wstring fx = fxPropertiesKeyPath(endpointKey);
    if (!reg::keyExists(fx)) return false;
    for (const wchar_t* slot : kFxSlotValueNames)
        if (slotNamesEffectClass(fx, slot)) return true;
    return false;
}

std::wstring classKeyPath(const GUID& clsid) {
    return L"HKEY_CLASSES_ROOT\\CLSID\\" + common::guidToString(clsid);
}

// The driver reads the switch again; reading it here too must not log a missing key twice.
bool allEndpointsMode() { return reg::keyExists(common::kProductKey) && isEnableAllDevOn(); }

// Whether the endpoint's "FxProperties" was created by the pass that left this store entry: the
// entry says so with its "!KEY" marker, or (earlier versions wrote the markers after creating the
// key) it holds no saved slot yet and the key holds our display name and no effect slot.
bool createdByDeadPass(const std::wstring& store, const std::wstring& fx) {
    const wchar_t* preMix = kFxSlotValueNames[kPreMixSlot];
    if (reg::valueExists(store, preMix)) {
        const bool literal =
            reg::valueExists(store, kLiteralSlotsValue) && (reg::readDwordValue(store, kLiteralSlotsValue) & 1u) != 0;
        return !literal && reg::readStringValue(store, preMix) == kMarkerNoKey;
    }
    for (const wchar_t* slot : kFxSlotValueNames)
        if (reg::valueExists(store, slot) || reg::valueExists(fx, slot)) return false;
    return reg::valueExists(fx, kFxItemNameDisplay) && reg::readStringValue(fx, kFxItemNameDisplay) == kFxItemNameDisplayText;
}

// A store entry whose endpoint names none of the kit's classes belongs to a pass that died
// before (install) or after (removal) the endpoint's slots changed; its former registrations
// are still in place. An "FxProperties" the store marks as created by that pass goes with it.
void undoUnfinishedEndpoint(const std::wstring& endpointId) {
    const std::wstring endpoint = getEndpointKeyPath(endpointId);
    if (endpoint.empty() || endpointNamesEffectClass(endpoint)) return;  // unplugged, or installed
    const std::wstring store = childApoStoreKeyPath(endpointId);
    const std::wstring fx = fxPropertiesKeyPath(endpoint);
    if (reg::keyExists(fx) && createdByDeadPass(store, fx)) reg::deleteKey(fx);
    reg::deleteKey(store);
}

void finishInterruptedPass() {
    if (!reg::keyExists(kChildApoStoreKey)) return;
    for (const std::wstring& endpointId : reg::listSubkeys(kChildApoStoreKey)) {
        try {
            undoUnfinishedEndpoint(endpointId);
        } catch (const reg::RegistryException& e) {
            log::trace(L"%s", e.message().c_str());  // an odd entry is left for the pass to skip
        }
    }
    if (reg::isKeyEmpty(kChildApoStoreKey)) reg::deleteKey(kChildApoStoreKey);
}

}  // namespace

bool effectClassesRegistered() { return reg::keyExists(classKeyPath(StreamEffectApoClsid)); }

bool anyEndpointNamesEffectClass() {
    for (bool previousOs : {false, true}) {
        for (std::uint8_t flow : {kRenderFlow, kCaptureFlow}) {
            const std::wstring flowKey = flowKeyPath(previousOs, flow);
            if (!reg::keyExists(flowKey)) continue;
            for (const std::wstring& id : reg::listSubkeys(flowKey))
                if (endpointNamesEffectClass(flowKey + L"\\" + id)) return true;
        }
    }
    return false;
}

int installProduct() {
    checkProductValues(true);
    if (!reg::keyExists(common::kProductKey)) reg::createKey(common::kProductKey);
    finishInterruptedPass();
    const bool allEndpoints = allEndpointsMode();
    applyEffectToSupportedDevices(kCaptureFirst, true, true, true);
    // A pass that found nothing to change registers nothing; an earlier pass that died between
    // its endpoint writes and the registration would leave the effect named but missing.
    // The all-endpoints mode never registers: it is for trying the effect by hand.
    if (!allEndpoints && !effectClassesRegistered() && anyEndpointNamesEffectClass()) {
        const std::wstring host = host_utils::hostExecutablePath();
        apo_install::registerEffectLibrary(apo_install::effectLibraryPath(host));
        restartAudioService(host);
    }
    reg::writeStringValue(common::kProductKey, common::kInstallPathValue, host_utils::hostExecutableDirectory());
    zol::settings::loadDeviceSettings(nullptr);
    return 0;
}

int removeProduct() {
    checkProductValues(false);
    finishInterruptedPass();
    log::trace(L":%S", "unInit");
    log::trace(L":kill audiodg.exe");
    host_utils::terminateUntilGone(kAudioEngine);

    log::trace(L":regsvr uninstall APO");
    // The audio engine has let go of the effect library: unregister it before touching endpoints,
    // and keep everything as it is when that fails.
    const std::wstring library = apo_install::effectLibraryPath();
    if (apo_install::unregisterEffectLibrary(library) != apo_install::EffectLibraryCall::Done) return -3;

    log::trace(L":exec uninstall drv");
    const bool allEndpoints = allEndpointsMode();
    applyEffectToSupportedDevices(kCaptureFirst, false, true, true);
    // An endpoint that could not be restored still names the effect: it keeps a working effect
    // rather than one whose classes are gone.
    if (!allEndpoints && anyEndpointNamesEffectClass()) apo_install::registerEffectLibrary(library);
    // The settings values, then "InstallPath"; the product key itself stays.
    const auto removeValue = [](const wchar_t* value) {
        if (reg::valueExists(common::kProductKey, value)) reg::deleteValue(common::kProductKey, value);
    };
    for (const wchar_t* value : kSettingsValues) removeValue(value);
    removeValue(common::kInstallPathValue);
    return 1;
}

}  // namespace zol::apo_install
