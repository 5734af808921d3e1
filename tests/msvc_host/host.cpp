// A host built as the kit's is: Microsoft's C++ ABI (clang for x86_64-pc-windows-msvc, lld-link),
// linked against zol_ecd_api.lib and calling every export through the public header. It shows
// that the C++ exports' decorated names match what this compiler produces and that a registry
// failure reaches the host as a RegistryException it catches, by reference and by value.
#include <hidapi.h>

#include "host_win32.h"
#include "zol_ecd_api.h"

// As the kit's host declares it; the string in the x64 release layout of std::wstring.
struct WString {
    union {
        wchar_t small[8];
        wchar_t* large;
    };
    size_t size;
    size_t capacity;
    const wchar_t* c_str() const { return capacity > 7 ? large : small; }
};
class RegistryException {
public:
    WString message;
};

// catch clauses name type_info's vftable, which the runtime does not export; they match by name.
extern "C" const void* const zolHostTypeInfoVftable[1] = {nullptr};

namespace {

int failures = 0;

void write(const char* text) {
    unsigned long written = 0;
    WriteFile(GetStdHandle(static_cast<unsigned long>(-11)), text, static_cast<unsigned long>(__builtin_strlen(text)),
              &written, nullptr);
}

void writeWide(const wchar_t* text) {
    char line[512];
    size_t i = 0;
    for (; text[i] != 0 && i + 1 < sizeof line; ++i) line[i] = text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
    line[i] = 0;
    write(line);
}

void check(bool ok, const char* what) {
    write(ok ? "ok   " : "FAIL ");
    write(what);
    write("\r\n");
    if (!ok) ++failures;
}

// The registry layer's text for a system error: the system's message without its line end.
void systemText(unsigned long code, wchar_t* text, unsigned long size) {
    unsigned long n = FormatMessageW(0x1000 | 0x200, nullptr, code, 0, text, size, nullptr);
    while (n > 0 && (text[n - 1] == L'\n' || text[n - 1] == L'\r')) --n;
    text[n] = 0;
}

bool sameText(const wchar_t* message, const wchar_t* start, const wchar_t* rest) {
    const size_t n = wcslen(start);
    for (size_t i = 0; i < n; ++i)
        if (message[i] != start[i]) return false;
    return wcscmp(message + n, rest) == 0;
}

// Calls twice: caught by reference, then by value (the library's copy function makes the copy).
template <typename Call>
void expectRegistryFailure(const char* what, Call call, const wchar_t* start, const wchar_t* rest) {
    bool byReference = false, byValue = false;
    try {
        call();
    } catch (RegistryException& e) {
        writeWide(e.message.c_str());
        write("\r\n");
        byReference = sameText(e.message.c_str(), start, rest) && e.message.size == wcslen(e.message.c_str());
    }
    try {
        call();
    } catch (RegistryException e) {
        byValue = sameText(e.message.c_str(), start, rest);
    }
    check(byReference && byValue, what);
}

const wchar_t* const kProductKey = L"SOFTWARE\\ZolSoundKit";

HKEY createProductKey() {
    HKEY key = nullptr;
    RegCreateKeyExW(ZOL_HKLM, kProductKey, 0, nullptr, 0, 0x100 | 0xF003F, nullptr, &key, nullptr);
    return key;
}

int enumerated = 0;
int countPath(void*, const char*) { return ++enumerated; }

void callEveryExport() {
    _dbg("[msvc_host] %s %d", "narrow", 1);
    _dbgw(L"[msvc_host] %s %d", L"wide", 2);
    check(_is_task_running(L"zol_no_such_program.exe") == 0, "_is_task_running");
    _kill_task(L"zol_no_such_program.exe");
    check(_IsRunningAsAdmin() == 1, "_IsRunningAsAdmin");
    check(_IsGlobalMutexExist(L"Local\\zol_msvc_host_none") == -1, "_IsGlobalMutexExist");
    check(_IsAlreadyRun(L"Local\\zol_msvc_host") == 0 && _IsGlobalMutexExist(L"Local\\zol_msvc_host") == 0,
          "_IsAlreadyRun");
    check(getDeviceCount() == 0, "getDeviceCount");
    check(getDeviceInfo(0, nullptr) == 0 && releaseDeviceInfo(nullptr) == 0, "getDeviceInfo, releaseDeviceInfo");
    DeviceInfo info = {};
    check(setDeviceProperty(&info, 4, info.control.field22) == -2, "setDeviceProperty");
    check(_SetMasterMute(1, 7) == 0 && _GetMasterMute(7) == 0, "_SetMasterMute, _GetMasterMute");
    check(_SetVolum(40, 7, 0) == 0 && _getVolum(7, 0) == 50, "_SetVolum, _getVolum");
    unsigned char output[63] = {};
    check(_hid_trans_data(0x0A1B, 0x00C2, 3, 6, output, nullptr) == -1 && _is_usb_connected(0x0A1B, 0x00C2, 3, 6) == -1,
          "_hid_trans_data, _is_usb_connected");
    unsigned char image[64] = {};
    check(_update_7420_fw(nullptr, nullptr, image, sizeof image, 0) == ZOL_FW_NO_DEVICE, "_update_7420_fw");
    check(_SetRegistryExceptionFormat(5) == 0, "_SetRegistryExceptionFormat");

    // hidapi and the choosers against Wine's HID mouse (hidapi needs the cfgmgr32 stand-in).
    check(LoadLibraryW(L"cfgmgr32_setupapi\\cfgmgr32.dll") != nullptr && hid_init() == 0, "hid_init");
    check(hid_open_intf_col(0x0A1B, 0x00C2, 3, 3) == nullptr && hid_open_intf_rptid(0x0A1B, 0x00C2, 3, 6) == nullptr,
          "hid_open_intf_col, hid_open_intf_rptid");
    hid_enum_intf_rptid(0x845E, 0x0001, 0, 0, countPath, nullptr);
    check(enumerated == 0, "hid_enum_intf_rptid");
    hid_device_info* list = hid_enumerate(0x845E, 0x0001);
    hid_device* mouse = list ? hid_open_path(list->path) : nullptr;
    hid_free_enumeration(list);
    check(mouse != nullptr, "hid_enumerate, hid_open_path, hid_free_enumeration");
    if (mouse) {
        wchar_t text[64] = {};
        unsigned char report[8] = {};
        check(hid_get_product_string(mouse, text, 64) == 0 && wcscmp(text, L"Wine HID mouse") == 0,
              "hid_get_product_string");
        hid_get_manufacturer_string(mouse, text, 64);
        hid_get_serial_number_string(mouse, text, 64);
        hid_get_indexed_string(mouse, 1, text, 64);
        check(hid_get_device_handle(mouse) != reinterpret_cast<void*>(-1), "hid_get_device_handle");
        check(hid_set_nonblocking(mouse, 1) == 0 && hid_read(mouse, report, sizeof report) == 0 &&
                  hid_read_timeout(mouse, report, sizeof report, 0) == 0,
              "hid_set_nonblocking, hid_read, hid_read_timeout");
        // A mouse takes no output or feature reports: each call fails and says why.
        check(hid_write(mouse, report, sizeof report) == -1 && hid_send_feature_report(mouse, report, 2) == -1 &&
                  hid_get_feature_report(mouse, report, sizeof report) == -1 && hid_error(mouse) != nullptr,
              "hid_write, hid_send_feature_report, hid_get_feature_report, hid_error");
        hid_close(mouse);
    }
    hid_close(hid_open(0x0A1B, 0x00C2, nullptr));
    check(hid_exit() == 0, "hid_open, hid_close, hid_exit");
}

void registryFailuresPassOut() {
    // The layer opens the key first; a refused open leaves it writing or reading through no handle.
    wchar_t noHandle[256];
    systemText(6, noHandle, 256);
    const wchar_t* const none = L"";
    RegDeleteTreeW(ZOL_HKLM, kProductKey);

    DeviceInfo info = {};
    expectRegistryFailure("getDeviceInfo without the product key", [&] { getDeviceInfo(0, &info); },
                          L"Error while writing to registry value HKEY_LOCAL_MACHINE\\SOFTWARE\\ZolSoundKit\\{F5530E75-A2A5-43E8-B9DF-1A1E225B5D1A}: ",
                          noHandle);
    expectRegistryFailure("_start_task without InstallPath", [] { _start_task(L"x.exe", nullptr, 0, nullptr); },
                          L"Error while reading registry value HKEY_LOCAL_MACHINE\\SOFTWARE\\ZolSoundKit\\InstallPath: ",
                          noHandle);

    HKEY key = createProductKey();
    const unsigned long on = 1;
    RegSetValueExW(key, L"EnableAllDev", 0, 4 /* REG_DWORD */, &on, sizeof on);
    const wchar_t* wrongType = L"Registry value HKEY_LOCAL_MACHINE\\SOFTWARE\\ZolSoundKit\\EnableAllDev has wrong type";
    expectRegistryFailure("init with EnableAllDev as REG_DWORD", [] { init(); }, wrongType, none);
    expectRegistryFailure("unInit with EnableAllDev as REG_DWORD", [] { unInit(); }, wrongType, none);

    // A key whose security refuses writing values: the library's write fails.
    void* descriptor = nullptr;
    const unsigned long dacl = 4;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(D;;0x6;;;WD)(A;;KA;;;WD)", 1, &descriptor, nullptr))
        RegSetKeySecurity(key, dacl, descriptor);
    EqGainBlock gains = {};
    expectRegistryFailure("setDeviceProperty on a key that refuses writing",
                          [&] { setDeviceProperty(&info, ZOL_PROPERTY_EQ_GAINS, reinterpret_cast<unsigned char*>(&gains)); },
                          L"Error while writing to registry value HKEY_LOCAL_MACHINE\\SOFTWARE\\ZolSoundKit\\{983E6A3C-E1AE-49BD-9E50-8FCB108C3F8D}: ",
                          noHandle);
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;KA;;;WD)", 1, &descriptor, nullptr))
        RegSetKeySecurity(key, dacl, descriptor);
    RegCloseKey(key);
    RegDeleteTreeW(ZOL_HKLM, kProductKey);
}

}  // namespace

extern "C" int hostMain() {
    // _RestartAsAdmin starts this program again without arguments: that copy has nothing to do.
    const wchar_t* commandLine = GetCommandLineW();
    const size_t length = wcslen(commandLine);
    if (length < 4 || wcscmp(commandLine + length - 4, L" run") != 0) ExitProcess(0);

    callEveryExport();
    check(_RestartAsAdmin() == 1, "_RestartAsAdmin");
    registryFailuresPassOut();
    check(getDeviceCount() == 0, "the library still answers after the failures");
    write(failures == 0 ? "msvc_host: all passed\r\n" : "msvc_host: FAILED\r\n");
    ExitProcess(failures == 0 ? 0 : 1);
}
