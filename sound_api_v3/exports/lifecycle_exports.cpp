// The product's lifecycle as the host drives it: install (init), device check (getDeviceCount),
// removal (unInit).
#include <windows.h>

#include "zol_ecd_api.h"

#include "apo_install/product_lifecycle.h"
#include "device_link/hid_api.h"
#include "device_link/supported_devices.h"
#include "exports/boundary.h"

namespace {

int countInterface(void* context, const char*) {
    ++*static_cast<int*>(context);
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

}  // namespace

using zol::exports::guarded;
using zol::exports::Registry;

// init has no failure result of its own (it returns 0); a failure inside it that cannot pass out
// returns -1.
extern "C" int __cdecl init(void) { return guarded("init", Registry::PassesOut, -1, zol::apo_install::installProduct); }

extern "C" int __cdecl getDeviceCount(void) { return guarded("getDeviceCount", Registry::Contained, 0, countDevices); }

extern "C" int __cdecl unInit(void) { return guarded("unInit", Registry::PassesOut, 0, zol::apo_install::removeProduct); }
