// The shipped DLL's hidapi and HID class path on the two HID devices Wine itself provides, and
// the exports on a machine where none of the kit's headsets is attached.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "common/unique_handle.h"
#include "device_link/hid_api.h"
#include "device_link/supported_devices.h"

namespace {

constexpr unsigned short kWineVendor = 0x845E;
constexpr unsigned short kWineMouse = 0x0001;
constexpr unsigned short kWineKeyboard = 0x0002;

// The exports, looked up in the real DLL as a host does.
struct Dll {
    zol::unique_module module{LoadLibraryW(L"zol_ecd_api.dll")};
    template <typename F>
    F get(const char* name) const {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module.get(), name)));
    }
    decltype(&hid_enumerate) enumerate = get<decltype(&hid_enumerate)>("hid_enumerate");
    decltype(&hid_free_enumeration) freeEnumeration = get<decltype(&hid_free_enumeration)>("hid_free_enumeration");
    decltype(&hid_open_path) openPath = get<decltype(&hid_open_path)>("hid_open_path");
    decltype(&hid_close) close = get<decltype(&hid_close)>("hid_close");
    decltype(&hid_get_product_string) productString = get<decltype(&hid_get_product_string)>("hid_get_product_string");
    decltype(&hid_open_intf_col) openIntfCol = get<decltype(&hid_open_intf_col)>("hid_open_intf_col");
    decltype(&hid_open_intf_rptid) openIntfRptid = get<decltype(&hid_open_intf_rptid)>("hid_open_intf_rptid");
    decltype(&hid_enum_intf_rptid) enumIntfRptid = get<decltype(&hid_enum_intf_rptid)>("hid_enum_intf_rptid");
    decltype(&hid_get_device_handle) deviceHandle = get<decltype(&hid_get_device_handle)>("hid_get_device_handle");
    int (*transData)(int, int, int, int, const unsigned char*, unsigned char*) =
        get<int (*)(int, int, int, int, const unsigned char*, unsigned char*)>("_hid_trans_data");
    int (*isUsbConnected)(int, int, int, int) = get<int (*)(int, int, int, int)>("_is_usb_connected");
    int (*updateFirmware)(void*, void*, void*, int, int) =
        get<int (*)(void*, void*, void*, int, int)>("?_update_7420_fw@@YAHPEAX00HH@Z");
};

std::vector<std::string> paths(const Dll& dll, unsigned short vendor, unsigned short product) {
    std::vector<std::string> found;
    hid_device_info* list = dll.enumerate(vendor, product);
    for (hid_device_info* entry = list; entry; entry = entry->next) found.push_back(entry->path);
    dll.freeEnumeration(list);
    return found;
}

TEST(WineHid, Probe) {
    Dll dll;
    ASSERT_TRUE(dll.module);
    for (const auto& p : paths(dll, 0, 0)) std::printf("%s\n", p.c_str());
}

}  // namespace
