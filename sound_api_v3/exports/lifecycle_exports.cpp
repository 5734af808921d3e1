// The product's lifecycle as the host drives it: install (init), device check (getDeviceCount),
// removal (unInit).
#include <windows.h>

#include "zol_ecd_api.h"

#include "apo_install/effect_library.h"
#include "apo_install/install_driver.h"
#include "common/product_key.h"
#include "device_link/hid_api.h"
#include "device_link/supported_devices.h"
#include "exports/boundary.h"
#include "host_utils/host_path.h"
#include "host_utils/process_control.h"
#include "log/debug_log.h"
#include "registry/registry.h"
#include "settings/device_info.h"
#include "settings/device_settings.h"

namespace {

constexpr std::uint8_t kCaptureFirst = 1;
constexpr const wchar_t* kAudioEngine = L"audiodg.exe";

// Removed by unInit, in this order; the product key itself stays.
constexpr const wchar_t* kProductValues[] = {
    zol::settings::kControlValue,
    zol::settings::kEffectValue,
    zol::settings::kEqGainValue,
    zol::kInstallPathValue,
};

int countInterface(void* context, const char*) {
    ++*static_cast<int*>(context);
    return 0;
}

int installProduct() {
    namespace reg = zol::registry;
    if (!reg::keyExists(zol::kProductKey)) reg::createKey(zol::kProductKey);
    zol::apo::applyEffectToSupportedDevices(kCaptureFirst, true, true, true);
    reg::writeStringValue(zol::kProductKey, zol::kInstallPathValue, zol::host_utils::hostExecutableDirectory());
    zol::settings::loadDeviceSettings(nullptr);
    return 0;
}

int countDevices() {
    int count = 0;
    for (std::size_t i = 0; i < zol::device_link::supportedDeviceCount(); ++i) {
        const zol::device_link::SupportedDevice entry = zol::device_link::supportedDevice(i);
        hid_enum_intf_rptid(entry.vendorId(), entry.productId(), entry.interfaceNumber(), entry.reportId(),
                            countInterface, &count);
    }
    return count;
}

int removeProduct() {
    namespace reg = zol::registry;
    log::trace(L":%S", "unInit");
    log::trace(L":kill audiodg.exe");
    zol::host_utils::terminateUntilGone(kAudioEngine);

    log::trace(L":regsvr uninstall APO");
    // The audio engine has let go of the effect library: unregister it before touching endpoints,
    // and keep everything as it is when that fails.
    if (zol::apo_install::unregisterEffectLibrary(zol::apo_install::effectLibraryPath()) !=
        zol::apo_install::EffectLibraryCall::Done)
        return -3;

    log::trace(L":exec uninstall drv");
    zol::apo::applyEffectToSupportedDevices(kCaptureFirst, false, true, true);
    for (const wchar_t* value : kProductValues)
        if (reg::valueExists(zol::kProductKey, value)) reg::deleteValue(zol::kProductKey, value);
    return 1;
}

}  // namespace

using zol::exports::guarded;
using zol::exports::Registry;

// init has no failure result of its own (it returns 0); a failure inside it that cannot pass out
// returns -1.
extern "C" int __cdecl init(void) { return guarded("init", Registry::PassesOut, -1, installProduct); }

extern "C" int __cdecl getDeviceCount(void) { return guarded("getDeviceCount", Registry::Contained, 0, countDevices); }

extern "C" int __cdecl unInit(void) { return guarded("unInit", Registry::PassesOut, 0, removeProduct); }
