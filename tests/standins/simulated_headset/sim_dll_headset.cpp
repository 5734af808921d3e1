// zol_ecd_api_sim.dll only: the headset that is "plugged in" while the DLL is loaded, and one
// extra export with which a demo tells it what firmware update to expect.
#include "device_link/supported_devices.h"
#include "simulated_headset.h"

namespace {

std::shared_ptr<zol::sim::FirmwareDevice> plugIn(const zol::sim::FirmwareScript& script) {
    zol::sim::detachAll();
    const zol::device_link::SupportedDevice first = zol::device_link::supportedDevice(0);
    return zol::sim::attachKitHeadset(first.vendorId(), first.productId(), script);
}

std::shared_ptr<zol::sim::FirmwareDevice> gHeadset = plugIn(zol::sim::FirmwareScript{});

}  // namespace

// Re-plugs the headset so that it expects an image of `image_length` bytes, paces every block
// when `paced` is not 0, and reports `final_status` at the end. Returns 1.
extern "C" __declspec(dllexport) int zolsim_prepare_firmware_update(int image_length, int paced, int final_status) {
    zol::sim::FirmwareScript script;
    script.imageLength = image_length > 0 ? static_cast<std::size_t>(image_length) : 0;
    script.flow = paced ? zol::sim::FirmwareScript::Flow::pace : zol::sim::FirmwareScript::Flow::sendFreely;
    script.finalStatus = static_cast<std::uint8_t>(final_status);
    gHeadset = plugIn(script);
    return 1;
}
