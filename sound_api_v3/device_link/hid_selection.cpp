#include "device_link/hid_selection.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "device_link/hid_api.h"

namespace zol::device_link {
namespace {

std::string marker(const char* format, unsigned short number) {
    char text[16];
    std::snprintf(text, sizeof text, format, number);
    return text;
}

bool pathHas(const hid_device_info* entry, const std::string& text) {
    return entry->path && std::strstr(entry->path, text.c_str()) != nullptr;
}

bool sameIds(const hid_device_info* entry, unsigned short vendorId, unsigned short productId) {
    return entry->vendor_id == vendorId && entry->product_id == productId;
}

const hid_device_info* firstWithIds(const hid_device_info* list, unsigned short vendorId, unsigned short productId) {
    for (const hid_device_info* entry = list; entry; entry = entry->next)
        if (sameIds(entry, vendorId, productId)) return entry;
    return nullptr;
}

// Button and value records both start with UsagePage and ReportID at the same place, but they are
// distinct types; one template keeps the fetch-and-compare in one place.
template <typename Caps, typename Fetch>
bool capsDeclare(USHORT count, HIDP_REPORT_TYPE type, PHIDP_PREPARSED_DATA data, unsigned short reportId, Fetch fetch) {
    if (count == 0) return false;
    std::vector<Caps> caps(count);
    USHORT length = count;
    if (fetch(type, 0, 0, 0, caps.data(), &length, data) != HIDP_STATUS_SUCCESS) return false;
    for (USHORT i = 0; i < length && i < count; ++i)
        if (caps[i].ReportID == reportId) return true;
    return false;
}

// Hands each entry of the device that carries the interface marker and opens to `visit`, which
// takes over the open device and returns true to end the walk. Entries that do not open are
// skipped: another program may hold them exclusively.
template <typename Visit>
void forEachOpenable(const hid_device_info* list, unsigned short vendorId, unsigned short productId,
                     unsigned short interfaceNumber, Visit visit) {
    const std::string wanted = interfaceMarker(interfaceNumber);
    for (const hid_device_info* entry = list; entry; entry = entry->next) {
        if (!sameIds(entry, vendorId, productId) || !pathHas(entry, wanted)) continue;
        hid_device* device = hid_open_path(entry->path);
        if (device && visit(entry, device)) return;
    }
}

}  // namespace

std::string interfaceMarker(unsigned short interfaceNumber) { return marker("mi_%.2x", interfaceNumber); }
std::string collectionMarker(unsigned short collection) { return marker("col%.2x", collection); }

bool deviceHasReportId(HANDLE device, unsigned short reportId) {
    if (device == nullptr || device == INVALID_HANDLE_VALUE) return false;
    PHIDP_PREPARSED_DATA raw = nullptr;
    if (!HidD_GetPreparsedData(device, &raw)) return false;
    unique_preparsed data(raw);
    HIDP_CAPS caps{};
    if (HidP_GetCaps(raw, &caps) != HIDP_STATUS_SUCCESS) return false;
    if (reportId == 0) return true;
    return capsDeclare<HIDP_BUTTON_CAPS>(caps.NumberInputButtonCaps, HidP_Input, raw, reportId, HidP_GetSpecificButtonCaps) ||
           capsDeclare<HIDP_VALUE_CAPS>(caps.NumberInputValueCaps, HidP_Input, raw, reportId, HidP_GetSpecificValueCaps) ||
           capsDeclare<HIDP_BUTTON_CAPS>(caps.NumberOutputButtonCaps, HidP_Output, raw, reportId, HidP_GetSpecificButtonCaps) ||
           capsDeclare<HIDP_VALUE_CAPS>(caps.NumberOutputValueCaps, HidP_Output, raw, reportId, HidP_GetSpecificValueCaps) ||
           capsDeclare<HIDP_BUTTON_CAPS>(caps.NumberFeatureButtonCaps, HidP_Feature, raw, reportId, HidP_GetSpecificButtonCaps) ||
           capsDeclare<HIDP_VALUE_CAPS>(caps.NumberFeatureValueCaps, HidP_Feature, raw, reportId, HidP_GetSpecificValueCaps);
}

}  // namespace zol::device_link

using zol::device_link::deviceHasReportId;
using zol::device_link::unique_hid_enumeration;

extern "C" hid_device* hid_open_intf_col(unsigned short vendor_id, unsigned short product_id,
                                         unsigned short interface_number, unsigned short collection) {
    unique_hid_enumeration list(hid_enumerate(vendor_id, product_id));
    const hid_device_info* taken = nullptr;
    if (interface_number == 0 && collection == 0) {
        taken = zol::device_link::firstWithIds(list.get(), vendor_id, product_id);
    } else {
        const std::string intf = zol::device_link::interfaceMarker(interface_number);
        const std::string col = zol::device_link::collectionMarker(collection);
        for (const hid_device_info* entry = list.get(); entry && !taken; entry = entry->next)
            if (zol::device_link::sameIds(entry, vendor_id, product_id) && zol::device_link::pathHas(entry, intf) &&
                zol::device_link::pathHas(entry, col))
                taken = entry;
    }
    return taken ? hid_open_path(taken->path) : nullptr;
}

extern "C" hid_device* hid_open_intf_rptid(unsigned short vendor_id, unsigned short product_id,
                                           unsigned short interface_number, unsigned short report_id) {
    unique_hid_enumeration list(hid_enumerate(vendor_id, product_id));
    if (interface_number == 0 && report_id == 0) {
        const hid_device_info* first = zol::device_link::firstWithIds(list.get(), vendor_id, product_id);
        return first ? hid_open_path(first->path) : nullptr;
    }
    hid_device* found = nullptr;
    zol::device_link::forEachOpenable(list.get(), vendor_id, product_id, interface_number,
                                      [&](const hid_device_info*, hid_device* device) {
                                          if (deviceHasReportId(hid_get_device_handle(device), report_id)) {
                                              found = device;
                                              return true;
                                          }
                                          hid_close(device);
                                          return false;
                                      });
    return found;
}

extern "C" void hid_enum_intf_rptid(unsigned short vendor_id, unsigned short product_id, unsigned short interface_number,
                                    unsigned short report_id, hid_enum_callback callback, void* context) {
    unique_hid_enumeration list(hid_enumerate(vendor_id, product_id));
    // Both 0 would take any entry of the device; that is no interface choice, so nothing is reported.
    if (interface_number == 0 && report_id == 0) return;
    zol::device_link::forEachOpenable(list.get(), vendor_id, product_id, interface_number,
                                      [&](const hid_device_info* entry, hid_device* device) {
                                          const bool declares = deviceHasReportId(hid_get_device_handle(device), report_id);
                                          hid_close(device);
                                          if (declares && callback) callback(context, entry->path);
                                          return false;
                                      });
}
