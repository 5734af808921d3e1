// The built DLL's export and import tables, read from the file as a host's tools would.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>

#include "support/pe_image.h"

namespace {

// The exports that exist so far. Written by hand, not derived from the .def: a missing or
// misspelt name in the build must make this test fail.
const std::set<std::string> kExpectedExports = {
    "?_dbg@@YAXPEBDZZ",
    "?_dbgw@@YAXPEB_WZZ",
    "_is_task_running",
    "_start_task",
    "_kill_task",
    "_IsRunningAsAdmin",
    "_RestartAsAdmin",
    "_IsGlobalMutexExist",
    "_IsAlreadyRun",
    "init",
    "getDeviceCount",
    "unInit",
    "getDeviceInfo",
    "setDeviceProperty",
    "releaseDeviceInfo",
    "_SetMasterMute",
    "_GetMasterMute",
    "_SetVolum",
    "_getVolum",
    // hidapi's public functions, unchanged, and the interface choosers
    "hid_init", "hid_exit", "hid_enumerate", "hid_free_enumeration", "hid_open", "hid_open_path", "hid_write",
    "hid_read_timeout", "hid_read", "hid_set_nonblocking", "hid_send_feature_report", "hid_get_feature_report",
    "hid_close", "hid_get_manufacturer_string", "hid_get_product_string", "hid_get_serial_number_string",
    "hid_get_indexed_string", "hid_error",
    "hid_open_intf_col", "hid_open_intf_rptid", "hid_enum_intf_rptid", "hid_get_device_handle",
    // device transfer and firmware update
    "_hid_trans_data", "_is_usb_connected", "?_update_7420_fw@@YAHPEAX00HH@Z",
    // the GCC hosts' choice of registry failure format
    "_SetRegistryExceptionFormat",
};

// What a Windows machine provides; anything else (libstdc++-6.dll, libwinpthread-1.dll,
// libgcc_s_seh-1.dll, hidapi.dll) would have to ship beside the DLL.
const std::set<std::string> kSystemDlls = {
    "kernel32.dll", "msvcrt.dll", "advapi32.dll", "ole32.dll",    "oleaut32.dll",  "user32.dll",
    "shell32.dll",  "version.dll", "setupapi.dll", "hid.dll",     "bthprops.cpl",  "bluetoothapis.dll",
    "ntdll.dll",    "cfgmgr32.dll", "shlwapi.dll",
};

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

TEST(ExportTable, MatchesTheExportsThatExist) {
    const zol::test::PeTables tables = zol::test::readPeTables(L"zol_ecd_api.dll");
    const std::set<std::string> actual(tables.exports.begin(), tables.exports.end());
    EXPECT_EQ(actual.size(), tables.exports.size()) << "an export name appears twice";
    for (const std::string& name : kExpectedExports) EXPECT_TRUE(actual.count(name)) << "missing export " << name;
    for (const std::string& name : actual) EXPECT_TRUE(kExpectedExports.count(name)) << "unexpected export " << name;
}

TEST(ExportTable, ImportsSystemDllsOnly) {
    const zol::test::PeTables tables = zol::test::readPeTables(L"zol_ecd_api.dll");
    ASSERT_FALSE(tables.importedDlls.empty());
    for (const std::string& dll : tables.importedDlls) {
        const std::string name = lower(dll);
        EXPECT_TRUE(kSystemDlls.count(name) || name.rfind("api-ms-win-", 0) == 0) << "non-system import " << dll;
    }
}

TEST(ExportTable, CarriesAVersionResource) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(L"zol_ecd_api.dll", &ignored);
    ASSERT_GT(size, 0u);
    std::string block(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoW(L"zol_ecd_api.dll", 0, size, block.data()));
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &length));
    EXPECT_EQ(HIWORD(info->dwFileVersionMS), 3);
    wchar_t* description = nullptr;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\StringFileInfo\\040904B0\\FileDescription",
                               reinterpret_cast<void**>(&description), &length));
    EXPECT_STREQ(description, L"ZolSoundKit headset control library");
}

}  // namespace
