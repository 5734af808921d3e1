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
    check(_hid_trans_data(0x0A1B, 0x00C2, 3, 6, nullptr, nullptr) == -1 && _is_usb_connected(0x0A1B, 0x00C2, 3, 6) == -1,
          "_hid_trans_data, _is_usb_connected");
    unsigned char image[64] = {};
    check(_update_7420_fw(nullptr, nullptr, image, sizeof image, 0) == ZOL_FW_NO_DEVICE, "_update_7420_fw");
    check(_SetRegistryExceptionFormat(5) == 0, "_SetRegistryExceptionFormat");

    hid_init();  // fails under Wine 8, whose cfgmgr32 lacks a function hidapi looks up; no matter here
    check(hid_enumerate(0x0A1B, 0x00C2) == nullptr && hid_open(0x0A1B, 0x00C2, nullptr) == nullptr &&
              hid_open_path("none") == nullptr && hid_error(nullptr) != nullptr,
          "hid_init, hid_enumerate, hid_open, hid_open_path, hid_error");
    hid_free_enumeration(nullptr);
    hid_close(nullptr);
    check(hid_open_intf_col(0x0A1B, 0x00C2, 3, 3) == nullptr && hid_get_device_handle(nullptr) == reinterpret_cast<void*>(-1),
          "hid_open_intf_col, hid_get_device_handle");
    check(hid_exit() == 0, "hid_free_enumeration, hid_close, hid_exit");
}

// The exports that need a headset, against the simulated one (the library's code over a model).
void callDeviceExports() {
    const unsigned short vendor = 0x0A1B, product = 0x00C2;
    check(getDeviceCount() == 1 && _is_usb_connected(vendor, product, 3, 6) == 1, "getDeviceCount, _is_usb_connected");
    unsigned char output[63] = {1, 2, 3}, input[63] = {};
    check(_hid_trans_data(vendor, product, 3, 6, output, input) == 1 && input[1] == 2, "_hid_trans_data");
    hid_enum_intf_rptid(vendor, product, 3, 6, countPath, nullptr);
    check(enumerated == 1, "hid_enum_intf_rptid");
    hid_device_info* list = hid_enumerate(vendor, product);
    hid_device* first = list ? hid_open_path(list->path) : nullptr;
    hid_free_enumeration(list);
    hid_device* serial = hid_open(vendor, product, L"SIM0001");
    check(first && serial, "hid_enumerate, hid_open_path, hid_open");
    hid_close(first);
    hid_close(serial);
    hid_device* dev = hid_open_intf_rptid(vendor, product, 3, 6);
    check(dev && hid_get_device_handle(dev) != reinterpret_cast<void*>(-1), "hid_open_intf_rptid, hid_get_device_handle");
    if (!dev) return;
    wchar_t text[32] = {};
    check(hid_get_manufacturer_string(dev, text, 32) == 0 && wcscmp(text, L"ZolSoundKit") == 0 &&
              hid_get_product_string(dev, text, 32) == 0 && hid_get_serial_number_string(dev, text, 32) == 0 &&
              wcscmp(text, L"SIM0001") == 0 && hid_get_indexed_string(dev, 2, text, 32) == 0 &&
              wcscmp(text, L"Simulated headset") == 0,
          "hid_get_manufacturer_string, hid_get_product_string, hid_get_serial_number_string, hid_get_indexed_string");
    unsigned char report[64] = {6, 9};
    check(hid_write(dev, report, sizeof report) == 64 && hid_read_timeout(dev, report, sizeof report, 1000) == 64 &&
              report[1] == 9 && hid_set_nonblocking(dev, 1) == 0 && hid_read(dev, report, sizeof report) == 0,
          "hid_write, hid_read_timeout, hid_set_nonblocking, hid_read");
    unsigned char feature[8] = {7, 5};
    check(hid_send_feature_report(dev, feature, sizeof feature) == 8 && hid_get_feature_report(dev, feature, 8) == 8 &&
              feature[1] == 5 && hid_error(dev) != nullptr,
          "hid_send_feature_report, hid_get_feature_report, hid_error");
    hid_close(dev);
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

bool lastArgumentIs(const wchar_t* word) {
    const wchar_t* commandLine = GetCommandLineW();
    const size_t length = wcslen(commandLine), n = wcslen(word);
    return length > n && commandLine[length - n - 1] == L' ' && wcscmp(commandLine + length - n, word) == 0;
}

}  // namespace

// "run": the shipped DLL; "device": the simulated-headset build of it under the same name.
extern "C" int hostMain() {
    if (lastArgumentIs(L"device")) {
        callDeviceExports();
        write(failures == 0 ? "msvc_host (simulated headset): all passed\r\n" : "msvc_host (simulated headset): FAILED\r\n");
        ExitProcess(failures == 0 ? 0 : 1);
    }
    // _RestartAsAdmin starts this program again without arguments: that copy has nothing to do.
    if (!lastArgumentIs(L"run")) ExitProcess(0);

    callEveryExport();
    check(_RestartAsAdmin() == 1, "_RestartAsAdmin");
    registryFailuresPassOut();
    check(getDeviceCount() == 0, "the library still answers after the failures");
    write(failures == 0 ? "msvc_host: all passed\r\n" : "msvc_host: FAILED\r\n");
    ExitProcess(failures == 0 ? 0 : 1);
}
