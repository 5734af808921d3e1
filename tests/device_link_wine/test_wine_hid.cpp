// The shipped DLL's hidapi and HID class path on the two HID devices Wine itself provides, and
// the exports on a machine where none of the kit's headsets is attached.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cwchar>
#include <set>
#include <string>
#include <vector>

#include "common/unique_handle.h"
#include "device_link/hid_api.h"
#include "device_link/hid_selection.h"
#include "support/test_paths.h"
#include "device_link/supported_devices.h"

namespace {

constexpr unsigned short kWineVendor = 0x845E;
constexpr unsigned short kWineMouse = 0x0001;
constexpr unsigned short kWineKeyboard = 0x0002;

// Wine 8's cfgmgr32 lacks CM_Get_Device_Interface_PropertyW and answers CR_FAILURE for the
// interface list and CM_Locate_DevNodeW, so hidapi's hid_init fails there. This program loads the
// SetupAPI-based stand-in by path before the DLL starts hidapi, whose LoadLibraryW(L"cfgmgr32.dll")
// then finds it; CTest runs the program with WINEDLLOVERRIDES=cfgmgr32=n,b so that Wine maps the
// file itself and not its builtin.
const zol::unique_module& cfgmgr32StandIn() {
    static const zol::unique_module standIn = [] {
        return zol::unique_module(LoadLibraryW(zol::test::besideThisProgram(L"cfgmgr32_setupapi\\cfgmgr32.dll").c_str()));
    }();
    return standIn;
}
bool standInIsLoaded() {
    return GetProcAddress(cfgmgr32StandIn().get(), "CM_Get_Device_Interface_PropertyW") != nullptr;
}
constexpr const char* kNoStandIn =
    "the cfgmgr32 stand-in did not load: run with WINEDLLOVERRIDES=cfgmgr32=n,b (ctest does)";

// The exports, looked up in the real DLL as a host does.
struct Dll {
    bool standIn = standInIsLoaded();
    zol::unique_module module{LoadLibraryW(L"zol_ecd_api.dll")};
    template <typename F>
    F get(const char* name) const {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module.get(), name)));
    }
    decltype(&hid_enumerate) enumerate = get<decltype(&hid_enumerate)>("hid_enumerate");
    decltype(&hid_free_enumeration) freeEnumeration = get<decltype(&hid_free_enumeration)>("hid_free_enumeration");
    decltype(&hid_close) close = get<decltype(&hid_close)>("hid_close");
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

// One enumeration entry, copied out of hidapi's list.
struct Entry {
    std::string path;
    unsigned short vendor, product, usagePage, usage;
    int interfaceNumber;
    hid_bus_type bus;
    std::wstring productString;
};

std::vector<Entry> entries(const Dll& dll, unsigned short vendor, unsigned short product) {
    std::vector<Entry> found;
    hid_device_info* list = dll.enumerate(vendor, product);
    for (hid_device_info* e = list; e; e = e->next)
        found.push_back({e->path, e->vendor_id, e->product_id, e->usage_page, e->usage, e->interface_number, e->bus_type,
                         e->product_string ? e->product_string : L""});
    dll.freeEnumeration(list);
    return found;
}

std::vector<std::string> paths(const Dll& dll, unsigned short vendor, unsigned short product) {
    std::vector<std::string> found;
    for (const Entry& entry : entries(dll, vendor, product)) found.push_back(entry.path);
    return found;
}

// Wine's own HID devices, listed the way Windows' device manager API lists them.
std::vector<std::wstring> wineHidPaths(unsigned short product) {
    GUID hid{};
    HidD_GetHidGuid(&hid);
    std::vector<std::wstring> found;
    const zol::unique_device_info_list set(
        SetupDiGetClassDevsW(&hid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!set) return found;
    SP_DEVICE_INTERFACE_DATA data{sizeof data};
    for (DWORD i = 0; SetupDiEnumDeviceInterfaces(set.get(), nullptr, &hid, i, &data); ++i) {
        union {
            SP_DEVICE_INTERFACE_DETAIL_DATA_W detail;
            BYTE bytes[1024];
        } buffer{};
        buffer.detail.cbSize = sizeof buffer.detail;
        if (!SetupDiGetDeviceInterfaceDetailW(set.get(), &data, &buffer.detail, sizeof buffer, nullptr, nullptr)) continue;
        wchar_t marker[32];
        swprintf(marker, 32, L"vid_%04x&pid_%04x", kWineVendor, product);
        if (wcsstr(buffer.detail.DevicePath, marker)) found.push_back(buffer.detail.DevicePath);
    }
    return found;
}

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

zol::unique_file_handle openForHid(const std::wstring& path) {
    return zol::unique_file_handle(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                               FILE_FLAG_OVERLAPPED, nullptr));
}

// The report ids the device's capability records carry, read straight from the HID class library.
std::set<unsigned> declaredReportIds(HANDLE device) {
    std::set<unsigned> ids;
    PHIDP_PREPARSED_DATA data = nullptr;
    if (!HidD_GetPreparsedData(device, &data)) return ids;
    HIDP_CAPS caps{};
    HidP_GetCaps(data, &caps);
    const std::pair<HIDP_REPORT_TYPE, std::pair<USHORT, USHORT>> kinds[] = {
        {HidP_Input, {caps.NumberInputButtonCaps, caps.NumberInputValueCaps}},
        {HidP_Output, {caps.NumberOutputButtonCaps, caps.NumberOutputValueCaps}},
        {HidP_Feature, {caps.NumberFeatureButtonCaps, caps.NumberFeatureValueCaps}}};
    for (const auto& [type, counts] : kinds) {
        std::vector<HIDP_BUTTON_CAPS> buttons(counts.first + 1);
        USHORT n = counts.first;
        if (n && HidP_GetButtonCaps(type, buttons.data(), &n, data) == HIDP_STATUS_SUCCESS)
            for (USHORT i = 0; i < n; ++i) ids.insert(buttons[i].ReportID);
        std::vector<HIDP_VALUE_CAPS> values(counts.second + 1);
        n = counts.second;
        if (n && HidP_GetValueCaps(type, values.data(), &n, data) == HIDP_STATUS_SUCCESS)
            for (USHORT i = 0; i < n; ++i) ids.insert(values[i].ReportID);
    }
    HidD_FreePreparsedData(data);
    return ids;
}

TEST(WineHid, ReportIdTestRunsOnARealHidHandle) {
    const auto mice = wineHidPaths(kWineMouse);
    ASSERT_FALSE(mice.empty()) << "Wine's HID mouse is missing";
    const zol::unique_file_handle mouse = openForHid(mice.front());
    ASSERT_TRUE(mouse);
    EXPECT_TRUE(zol::device_link::deviceHasReportId(mouse.get(), 0));
    EXPECT_FALSE(zol::device_link::deviceHasReportId(mouse.get(), 0x1FF));
    // Every id the capability records carry is found, and no other.
    const std::set<unsigned> declared = declaredReportIds(mouse.get());
    ASSERT_FALSE(declared.empty());
    for (unsigned id = 1; id <= 255; ++id)
        EXPECT_EQ(zol::device_link::deviceHasReportId(mouse.get(), static_cast<unsigned short>(id)), declared.count(id) == 1)
            << "report id " << id;

    // A handle that is not a HID device: HidD_GetPreparsedData fails (error 50), so no report id.
    wchar_t file[MAX_PATH];
    ASSERT_TRUE(GetModuleFileNameW(nullptr, file, MAX_PATH));
    const zol::unique_file_handle plain(
        CreateFileW(file, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(plain);
    EXPECT_FALSE(zol::device_link::deviceHasReportId(plain.get(), 0));
}

// Through the stand-in the DLL's hidapi lists Wine's devices as SetupAPI knows them.
TEST(WineHid, HidapiListsWinesMouseAndKeyboard) {
    Dll dll;
    ASSERT_TRUE(dll.standIn) << kNoStandIn;
    const std::vector<Entry> listed = entries(dll, kWineVendor, 0);
    for (const auto& [product, usage] : {std::pair{kWineMouse, 2}, std::pair{kWineKeyboard, 6}}) {
        const auto expected = wineHidPaths(product);
        ASSERT_EQ(expected.size(), 1u);
        int seen = 0;
        for (const Entry& entry : listed) {
            EXPECT_EQ(entry.vendor, kWineVendor);
            if (entry.product != product) continue;
            ++seen;
            EXPECT_EQ(entry.path, narrow(expected.front()));
            EXPECT_EQ(entry.usagePage, 1);  // generic desktop
            EXPECT_EQ(entry.usage, usage);
            // A single-interface device: no MI_ in its hardware ids, so hidapi reports -1.
            EXPECT_EQ(entry.interfaceNumber, -1);
            EXPECT_FALSE(entry.productString.empty());
            // Wine records no parent device (CM_Get_Parent finds none), so the bus stays unknown.
            EXPECT_EQ(entry.bus, HID_API_BUS_UNKNOWN);
        }
        EXPECT_EQ(seen, 1) << "product " << product;
        // Asking for the product lists that device alone.
        EXPECT_EQ(paths(dll, kWineVendor, product), std::vector<std::string>{narrow(expected.front())});
    }
    EXPECT_TRUE(paths(dll, kWineVendor + 1, 0).empty());
}

// Interface 0 with collection (or report id) 0 takes the device's first entry whatever its path
// says. Wine's paths carry no "mi_" or "col" marker, so any other choice finds nothing here; the
// marker rules themselves run against the simulated headset.
TEST(WineHid, HidapiOpensWinesDevicesByInterfaceZero) {
    Dll dll;
    ASSERT_TRUE(dll.standIn) << kNoStandIn;
    for (unsigned short product : {kWineMouse, kWineKeyboard}) {
        const auto expected = wineHidPaths(product);
        ASSERT_EQ(expected.size(), 1u);
        ASSERT_EQ(expected.front().find(L"mi_"), std::wstring::npos);

        for (hid_device* device : {dll.openIntfRptid(kWineVendor, product, 0, 0), dll.openIntfCol(kWineVendor, product, 0, 0)}) {
            ASSERT_NE(device, nullptr);
            HIDD_ATTRIBUTES attributes{sizeof attributes};
            ASSERT_TRUE(HidD_GetAttributes(dll.deviceHandle(device), &attributes));
            EXPECT_EQ(attributes.VendorID, kWineVendor);
            EXPECT_EQ(attributes.ProductID, product);
            dll.close(device);
        }

        // No marker in the path: interface 0 needs "mi_00", collection 1 "col01".
        EXPECT_EQ(dll.openIntfCol(kWineVendor, product, 0, 1), nullptr);
        EXPECT_EQ(dll.openIntfCol(kWineVendor, product, 1, 0), nullptr);
        for (unsigned id : declaredReportIds(openForHid(expected.front()).get()))
            if (id != 0) EXPECT_EQ(dll.openIntfRptid(kWineVendor, product, 0, static_cast<unsigned short>(id)), nullptr);
        int reported = 0;
        const hid_enum_callback count = [](void* context, const char*) { return ++*static_cast<int*>(context); };
        dll.enumIntfRptid(kWineVendor, product, 0, 0, count, &reported);
        dll.enumIntfRptid(kWineVendor, product, 0, 1, count, &reported);
        dll.enumIntfRptid(kWineVendor, product, 1, 0, count, &reported);
        EXPECT_EQ(reported, 0);

        EXPECT_EQ(dll.isUsbConnected(kWineVendor, product, 0, 0), 1);
        // Single-interface devices carry no mi_ marker: no interface number selects them.
        EXPECT_EQ(dll.isUsbConnected(kWineVendor, product, 0, 1), -1);
        EXPECT_EQ(dll.isUsbConnected(kWineVendor, product, 1, 0), -1);
    }
    EXPECT_EQ(dll.isUsbConnected(kWineVendor, 0x0003, 0, 0), -1);
}

TEST(WineHid, WithoutTheKitsHeadsetsNothingIsFoundAndNothingHangs) {
    Dll dll;
    ASSERT_TRUE(dll.module);
    ASSERT_TRUE(dll.standIn) << kNoStandIn;  // so the enumeration below really runs
    const auto start = std::chrono::steady_clock::now();
    int reported = 0;
    for (std::size_t i = 0; i < zol::device_link::supportedDeviceCount(); ++i) {
        const auto entry = zol::device_link::supportedDevice(i);
        EXPECT_TRUE(paths(dll, entry.vendorId(), entry.productId()).empty());
        EXPECT_EQ(dll.openIntfRptid(entry.vendorId(), entry.productId(), entry.interfaceNumber(), entry.reportId()), nullptr);
        EXPECT_EQ(dll.openIntfCol(entry.vendorId(), entry.productId(), entry.interfaceNumber(), 3), nullptr);
        dll.enumIntfRptid(entry.vendorId(), entry.productId(), entry.interfaceNumber(), entry.reportId(),
                          [](void* count, const char*) { return ++*static_cast<int*>(count); }, &reported);
        unsigned char output[63] = {1};
        unsigned char input[63] = {};
        EXPECT_EQ(dll.transData(entry.vendorId(), entry.productId(), entry.interfaceNumber(), entry.reportId(), output,
                                input),
                  -1);
        EXPECT_EQ(dll.isUsbConnected(entry.vendorId(), entry.productId(), entry.interfaceNumber(), entry.reportId()), -1);
    }
    EXPECT_EQ(reported, 0);
    std::vector<std::pair<int, int>> steps;
    unsigned char image[130] = {};
    EXPECT_EQ(dll.updateFirmware(reinterpret_cast<void*>(+[](void* context, int value, int stage) {
                                     static_cast<std::vector<std::pair<int, int>>*>(context)->push_back({stage, value});
                                 }),
                                 &steps, image, sizeof image, 0),
              0);
    EXPECT_EQ(steps, (std::vector<std::pair<int, int>>{{0, 0}}));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

}  // namespace

namespace {

// The demo variant: the same exports over the simulated headset, which is attached at load.
TEST(SimulatedHeadsetDll, TransfersAndUpdatesThroughTheShippedExports) {
    zol::unique_module dll(LoadLibraryW(L"zol_ecd_api_sim.dll"));
    ASSERT_TRUE(dll);
    auto isUsbConnected = reinterpret_cast<int (*)(int, int, int, int)>(GetProcAddress(dll.get(), "_is_usb_connected"));
    auto transData = reinterpret_cast<int (*)(int, int, int, int, const unsigned char*, unsigned char*)>(
        GetProcAddress(dll.get(), "_hid_trans_data"));
    auto update = reinterpret_cast<int (*)(void*, void*, void*, int, int)>(
        GetProcAddress(dll.get(), "?_update_7420_fw@@YAHPEAX00HH@Z"));
    auto prepare = reinterpret_cast<int (*)(int, int, int)>(GetProcAddress(dll.get(), "zolsim_prepare_firmware_update"));
    ASSERT_TRUE(isUsbConnected && transData && update && prepare);
    EXPECT_EQ(isUsbConnected(0x0A1B, 0x00C2, 3, 6), 1);
    EXPECT_EQ(isUsbConnected(0x0A1B, 0x00C3, 3, 6), -1);
    unsigned char output[63], input[63] = {};
    for (int i = 0; i < 63; ++i) output[i] = static_cast<unsigned char>(i + 1);
    EXPECT_EQ(transData(0x0A1B, 0x00C2, 3, 6, output, input), 1);
    EXPECT_EQ(std::vector<unsigned char>(input, input + 63), std::vector<unsigned char>(output, output + 63));
    std::vector<unsigned char> image(1000, 0x5A);
    EXPECT_EQ(prepare(1000, 1, 9), 1);
    EXPECT_EQ(update(nullptr, nullptr, image.data(), 1000, 0), 9);
}

}  // namespace
