// The device link's exports: transfer, presence test and firmware update. hidapi's functions and
// the interface choosers are exported under their own names straight from where they live.
#include "device_link/firmware_update.h"
#include "device_link/hid_link.h"

extern "C" int _hid_trans_data(int vendor_id, int product_id, int interface_number, int report_id,
                               const unsigned char* output, unsigned char* input) {
    return zol::device_link::transferData(vendor_id, product_id, interface_number, report_id, output, input);
}

extern "C" int _is_usb_connected(int vendor_id, int product_id, int interface_number, int report_id) {
    return zol::device_link::isUsbConnected(vendor_id, product_id, interface_number, report_id);
}

// Exported as ?_update_7420_fw@@YAHPEAX00HH@Z, the name of int _update_7420_fw(void*, void*, void*, int, int).
extern "C" int zol_update_7420_fw(void* progress, void* context, void* image, int image_length, int start_parameter) {
    return zol::device_link::updateFirmware(reinterpret_cast<zol::device_link::FirmwareProgress>(progress), context,
                                            static_cast<const unsigned char*>(image), image_length, start_parameter);
}
