// The device link's exports: hidapi's functions, the interface choosers, transfer, presence test
// and firmware update. hidapi and the choosers keep their own names inside the library (the device
// link calls them); the .def exports these zol_export_ entry points under those names.
#include "device_link/firmware_update.h"
#include "device_link/hid_api.h"
#include "device_link/hid_link.h"
#include "exports/boundary.h"

using zol::exports::guarded;
using zol::exports::Registry;

namespace {
constexpr Registry kContained = Registry::Contained;
}

extern "C" {

int zol_export_hid_init(void) { return guarded("hid_init", kContained, -1, [] { return hid_init(); }); }

int zol_export_hid_exit(void) { return guarded("hid_exit", kContained, -1, [] { return hid_exit(); }); }

hid_device_info* zol_export_hid_enumerate(unsigned short vendor_id, unsigned short product_id) {
    return guarded("hid_enumerate", kContained, static_cast<hid_device_info*>(nullptr),
                   [&] { return hid_enumerate(vendor_id, product_id); });
}

void zol_export_hid_free_enumeration(hid_device_info* devs) {
    guarded("hid_free_enumeration", kContained, [&] { hid_free_enumeration(devs); });
}

hid_device* zol_export_hid_open(unsigned short vendor_id, unsigned short product_id, const wchar_t* serial_number) {
    return guarded("hid_open", kContained, static_cast<hid_device*>(nullptr),
                   [&] { return hid_open(vendor_id, product_id, serial_number); });
}

hid_device* zol_export_hid_open_path(const char* path) {
    return guarded("hid_open_path", kContained, static_cast<hid_device*>(nullptr), [&] { return hid_open_path(path); });
}

int zol_export_hid_write(hid_device* dev, const unsigned char* data, size_t length) {
    return guarded("hid_write", kContained, -1, [&] { return hid_write(dev, data, length); });
}

int zol_export_hid_read_timeout(hid_device* dev, unsigned char* data, size_t length, int milliseconds) {
    return guarded("hid_read_timeout", kContained, -1, [&] { return hid_read_timeout(dev, data, length, milliseconds); });
}

int zol_export_hid_read(hid_device* dev, unsigned char* data, size_t length) {
    return guarded("hid_read", kContained, -1, [&] { return hid_read(dev, data, length); });
}

int zol_export_hid_set_nonblocking(hid_device* dev, int nonblock) {
    return guarded("hid_set_nonblocking", kContained, -1, [&] { return hid_set_nonblocking(dev, nonblock); });
}

int zol_export_hid_send_feature_report(hid_device* dev, const unsigned char* data, size_t length) {
    return guarded("hid_send_feature_report", kContained, -1, [&] { return hid_send_feature_report(dev, data, length); });
}

int zol_export_hid_get_feature_report(hid_device* dev, unsigned char* data, size_t length) {
    return guarded("hid_get_feature_report", kContained, -1, [&] { return hid_get_feature_report(dev, data, length); });
}

void zol_export_hid_close(hid_device* dev) {
    guarded("hid_close", kContained, [&] { hid_close(dev); });
}

int zol_export_hid_get_manufacturer_string(hid_device* dev, wchar_t* string, size_t maxlen) {
    return guarded("hid_get_manufacturer_string", kContained, -1,
                   [&] { return hid_get_manufacturer_string(dev, string, maxlen); });
}

int zol_export_hid_get_product_string(hid_device* dev, wchar_t* string, size_t maxlen) {
    return guarded("hid_get_product_string", kContained, -1, [&] { return hid_get_product_string(dev, string, maxlen); });
}

int zol_export_hid_get_serial_number_string(hid_device* dev, wchar_t* string, size_t maxlen) {
    return guarded("hid_get_serial_number_string", kContained, -1,
                   [&] { return hid_get_serial_number_string(dev, string, maxlen); });
}

int zol_export_hid_get_indexed_string(hid_device* dev, int string_index, wchar_t* string, size_t maxlen) {
    return guarded("hid_get_indexed_string", kContained, -1,
                   [&] { return hid_get_indexed_string(dev, string_index, string, maxlen); });
}

const wchar_t* zol_export_hid_error(hid_device* dev) {
    return guarded("hid_error", kContained, static_cast<const wchar_t*>(nullptr), [&] { return hid_error(dev); });
}

hid_device* zol_export_hid_open_intf_col(unsigned short vendor_id, unsigned short product_id,
                                         unsigned short interface_number, unsigned short collection) {
    return guarded("hid_open_intf_col", kContained, static_cast<hid_device*>(nullptr),
                   [&] { return hid_open_intf_col(vendor_id, product_id, interface_number, collection); });
}

hid_device* zol_export_hid_open_intf_rptid(unsigned short vendor_id, unsigned short product_id,
                                           unsigned short interface_number, unsigned short report_id) {
    return guarded("hid_open_intf_rptid", kContained, static_cast<hid_device*>(nullptr),
                   [&] { return hid_open_intf_rptid(vendor_id, product_id, interface_number, report_id); });
}

void zol_export_hid_enum_intf_rptid(unsigned short vendor_id, unsigned short product_id, unsigned short interface_number,
                                    unsigned short report_id, hid_enum_callback callback, void* context) {
    guarded("hid_enum_intf_rptid", kContained,
            [&] { hid_enum_intf_rptid(vendor_id, product_id, interface_number, report_id, callback, context); });
}

HANDLE zol_export_hid_get_device_handle(hid_device* dev) {
    return guarded("hid_get_device_handle", kContained, INVALID_HANDLE_VALUE, [&] { return hid_get_device_handle(dev); });
}

int _hid_trans_data(int vendor_id, int product_id, int interface_number, int report_id, const unsigned char* output,
                    unsigned char* input) {
    return guarded("_hid_trans_data", kContained, -1, [&] {
        return zol::device_link::transferData(vendor_id, product_id, interface_number, report_id, output, input);
    });
}

int _is_usb_connected(int vendor_id, int product_id, int interface_number, int report_id) {
    return guarded("_is_usb_connected", kContained, -1, [&] {
        return zol::device_link::isUsbConnected(vendor_id, product_id, interface_number, report_id);
    });
}

// Exported as ?_update_7420_fw@@YAHPEAX00HH@Z, the name of int _update_7420_fw(void*, void*, void*, int, int).
// A failure inside it reports "a channel did not open" (-1): nothing was sent to completion.
int zol_update_7420_fw(void* progress, void* context, void* image, int image_length, int start_parameter) {
    return guarded("_update_7420_fw", kContained, -1, [&] {
        return zol::device_link::updateFirmware(reinterpret_cast<zol::device_link::FirmwareProgress>(progress), context,
                                                static_cast<const unsigned char*>(image), image_length, start_parameter);
    });
}

}  // extern "C"
