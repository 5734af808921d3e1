#include "apo_install/install_driver.h"

#include <windows.h>

#include "apo_install/apo_info.h"
#include "apo_install/effect_library.h"
#include "apo_install/endpoint_catalogue.h"
#include "apo_install/fx_properties.h"
#include "apo_install/service_control.h"
#include "common/product_key.h"
#include "device_link/supported_devices.h"
#include "host_utils/host_path.h"
#include "log/debug_log.h"
#include "registry/registry.h"

namespace zol::apo_install {
namespace {

namespace reg = zol::registry;
using apo_install::ServiceException;

// Install where the effect is missing, remove where it is present; a record already in the
// wanted state is left alone.
std::int32_t bringToWantedState(DeviceAPOInfo& record, bool install) {
    if (record.isInstalled() == install) return kEndpointUnchanged;
    install ? record.install() : record.uninstall();
    return kEndpointChanged;
}

// Empty id: -1; load refused: -2; otherwise the change made. An endpoint whose keys cannot be
// read as expected is not loaded either: one odd endpoint must not stop the pass for the others.
std::int32_t treatEndpoint(DeviceAPOInfo& record, const std::wstring& endpointId, bool install) {
    if (endpointId.empty()) return kNoEndpoint;
    try {
        if (!record.load(endpointId, std::wstring())) return kEndpointNotLoaded;
    } catch (const reg::RegistryException& e) {
        log::trace(L"%s", e.message().c_str());
        return kEndpointNotLoaded;
    }
    return bringToWantedState(record, install);
}

constexpr std::uint8_t otherFlow(std::uint8_t flow) { return static_cast<std::uint8_t>(flow ^ 1u); }

}  // namespace

bool restartAudioService(const std::wstring& caption) {
    try {
        apo_install::restartService(kAudioServiceName);
        return true;
    } catch (const ServiceException& e) {
        MessageBoxW(nullptr, e.message().c_str(), caption.c_str(), MB_ICONERROR);
        return false;
    }
}

bool isEnableAllDevOn() {
    return reg::valueExists(common::kProductKey, kEnableAllDevValue) &&
           reg::readStringValue(common::kProductKey, kEnableAllDevValue) == L"true";
}

std::int32_t applyEffectToSupportedDevices(std::uint8_t flow, bool install, bool bothFlows, bool honourEnableAllDev) {
    // The all-endpoints pass registers nothing: it is for trying the effect on other hardware.
    if (honourEnableAllDev && isEnableAllDevOn()) return applyEffectToAllEndpoints(install);

    std::int32_t total = 0;
    const auto add = [&total](std::int32_t result) {
        if (result >= 0) total += result;
    };
    for (std::size_t i = 0; i < device_link::supportedDeviceCount(); ++i) {
        const device_link::SupportedDevice entry = device_link::supportedDevice(i);
        if (entry.isBluetooth()) {
            add(applyEffectToBluetoothDevice(flow, install, entry.word0, entry.word1, entry.word2));
            continue;
        }
        add(applyEffectToUsbDevice(flow, install, entry.vendorId(), entry.productId()));
        if (bothFlows) add(applyEffectToUsbDevice(otherFlow(flow), install, entry.vendorId(), entry.productId()));
    }
    if (total == 0) return 0;

    // Registration before the restart, unregistration after it: the service must find the
    // classes when it loads the endpoints, and must have let go of them before they go.
    const std::wstring host = host_utils::hostExecutablePath();
    const std::wstring library = apo_install::effectLibraryPath(host);
    if (install) apo_install::registerEffectLibrary(library);
    if (!restartAudioService(host)) return kServiceNotRestarted;
    if (!install) apo_install::unregisterEffectLibrary(library);
    return total;
}

std::int32_t applyEffectToUsbDevice(std::uint8_t flow, bool install, std::uint16_t vendorId, std::uint16_t productId) {
    std::int32_t changed = 0;
    std::int32_t failed = 0;
    DeviceAPOInfo record;
    for (const EndpointMatch& match : findUsbEndpoints(vendorId, productId, flow)) {
        record.previousOs = match.previousOs != 0;
        const std::int32_t outcome = treatEndpoint(record, match.endpointId, install);
        if (outcome < 0) {
            ++failed;
            continue;
        }
        if (install) enableSystemEffects(match.endpointId);
        if (outcome == kEndpointChanged) ++changed;
    }
    return failed > 0 ? -failed : changed;
}

std::int32_t applyEffectToBluetoothDevice(std::uint8_t flow, bool install, std::uint32_t word0, std::uint32_t word1,
                                          std::uint32_t word2) {
    DeviceAPOInfo record;
    std::wstring endpointId = record.findBluetoothEndpoint(word0, word1, word2, false, flow);
    if (endpointId.empty()) endpointId = record.findBluetoothEndpoint(word0, word1, word2, true, flow);
    const std::int32_t outcome = treatEndpoint(record, endpointId, install);
    if (install && outcome >= 0) enableSystemEffects(endpointId);
    return outcome;
}

std::int32_t applyEffectToAllEndpoints(bool install) {
    std::int32_t total = 0;
    DeviceAPOInfo record;
    for (std::uint8_t flow : {kRenderFlow, kCaptureFlow}) {
        for (const std::wstring& endpointId : reg::listSubkeys(flowKeyPath(false, flow))) {
            record.previousOs = false;
            const std::int32_t outcome = treatEndpoint(record, endpointId, install);
            if (outcome < 0) continue;
            if (install) enableSystemEffects(endpointId);
            total += outcome;
        }
    }
    if (total > 0 && !restartAudioService(host_utils::hostExecutablePath())) return kServiceNotRestarted;
    return total;
}

}  // namespace zol::apo_install
