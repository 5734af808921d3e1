// zol_ecd_api_sim.dll only: the headset "plugged in" while the DLL is loaded, and an export with
// which a demo tells it what firmware update to expect.
#include <algorithm>

#include "device_link/supported_devices.h"
#include "simulated_headset.h"

namespace {

std::shared_ptr<zol::sim::FirmwareDevice> plugIn(const zol::sim::FirmwareScript& script) {
    zol::sim::detachAll();
    const zol::device_link::SupportedDevice first = zol::device_link::supportedDevice(0);
    return zol::sim::attachKitHeadset(first.vendorId(), first.productId(), script);
}

std::shared_ptr<zol::sim::FirmwareDevice> gHeadset = plugIn({});

}  // namespace

// An image of `image_length` bytes, every block paced when `paced` is not 0, `final_status` at the end.
extern "C" __declspec(dllexport) int zolsim_prepare_firmware_update(int image_length, int paced, int final_status) {
    using Flow = zol::sim::FirmwareScript::Flow;
    gHeadset = plugIn({static_cast<std::size_t>(std::max(image_length, 0)), paced ? Flow::pace : Flow::sendFreely,
                       static_cast<std::uint8_t>(final_status)});
    return 1;
}
