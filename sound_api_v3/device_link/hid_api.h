// The HID functions the device link is built on: hidapi, its four additions, and the HID class
// library (hid.dll). These declarations are also the seam of the simulated headset: test programs
// link this folder's code against simulated definitions of exactly these functions.
#pragma once

#include <windows.h>

#include <hidapi.h>

extern "C" {
#include <hidsdi.h>
}

extern "C" {

// Called by hid_enum_intf_rptid for every matching interface; the result is ignored.
typedef int (*hid_enum_callback)(void* context, const char* path);

// Opens the interface of the device whose path carries both markers ("mi_%.2x", "col%.2x"); with
// both numbers 0, the first entry of the device. Null when nothing matched or the open failed.
hid_device* hid_open_intf_col(unsigned short vendor_id, unsigned short product_id, unsigned short interface_number,
                              unsigned short collection);
// Opens the first interface with the interface marker that opens and declares the report id
// (report id 0 matches every device); with both numbers 0, the first entry of the device.
hid_device* hid_open_intf_rptid(unsigned short vendor_id, unsigned short product_id, unsigned short interface_number,
                                unsigned short report_id);
// Hands every interface hid_open_intf_rptid would accept to the callback (after closing it).
// With both numbers 0 nothing is reported.
void hid_enum_intf_rptid(unsigned short vendor_id, unsigned short product_id, unsigned short interface_number,
                         unsigned short report_id, hid_enum_callback callback, void* context);
// The operating-system handle hidapi opened the device with; owned by the device: do not close.
HANDLE hid_get_device_handle(hid_device* dev);

}  // extern "C"

#include <memory>

namespace zol::device_link {

struct HidDeviceCloser {
    void operator()(hid_device* device) const { hid_close(device); }
};
// An open hidapi device, closed on every path out of the scope that owns it.
using unique_hid_device = std::unique_ptr<hid_device, HidDeviceCloser>;

struct HidEnumerationDeleter {
    void operator()(hid_device_info* list) const { hid_free_enumeration(list); }
};
using unique_hid_enumeration = std::unique_ptr<hid_device_info, HidEnumerationDeleter>;

struct PreparsedDataDeleter {
    void operator()(_HIDP_PREPARSED_DATA* data) const { HidD_FreePreparsedData(data); }
};
using unique_preparsed = std::unique_ptr<_HIDP_PREPARSED_DATA, PreparsedDataDeleter>;

}  // namespace zol::device_link
