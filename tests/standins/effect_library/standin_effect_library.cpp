// Stand-in for the kit's audio effect library: the registration pair and the settings reader,
// nothing of the audio processing.
#include "effect_library_switches.h"

#include <cstring>
#include <string>

namespace {

HMODULE gModule = nullptr;
const wchar_t* const kClasses[] = {ZOL_STANDIN_STREAM_EFFECT_CLSID, ZOL_STANDIN_ENDPOINT_EFFECT_CLSID};

std::wstring environment(const wchar_t* name) {
    wchar_t buffer[1024];
    DWORD n = GetEnvironmentVariableW(name, buffer, 1024);
    return n > 0 && n < 1024 ? std::wstring(buffer, n) : std::wstring();
}

bool failureRequested(const wchar_t* call) {
    std::wstring mode = environment(ZOL_STANDIN_APO_FAIL_VARIABLE);
    return mode == call || mode == L"both";
}

void journal(const char* event) {
    std::wstring path = environment(ZOL_STANDIN_JOURNAL_VARIABLE);
    if (path.empty()) return;
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    std::string line = std::string("ZolSoundAPO ") + event + "\r\n";
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

LONG setString(HKEY key, const wchar_t* name, const std::wstring& text) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

HRESULT registerClass(const std::wstring& modulePath, const wchar_t* clsid) {
    std::wstring path = std::wstring(L"CLSID\\") + clsid + L"\\InprocServer32";
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE | KEY_WOW64_64KEY, nullptr,
                              &key, nullptr);
    if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
    rc = setString(key, nullptr, modulePath);
    if (rc == ERROR_SUCCESS) rc = setString(key, L"ThreadingModel", L"Both");
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + clsid).c_str(), 0, KEY_WRITE | KEY_WOW64_64KEY,
                      &key) == ERROR_SUCCESS) {
        rc = setString(key, nullptr, L"ZolSoundAPO stand-in effect");
        RegCloseKey(key);
    }
    return HRESULT_FROM_WIN32(rc);
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) gModule = instance;
    return TRUE;
}

HRESULT STDAPICALLTYPE DllRegisterServer() {
    journal("DllRegisterServer");
    if (failureRequested(L"register")) return ZOL_STANDIN_FAILURE;
    wchar_t modulePath[MAX_PATH];
    DWORD n = GetModuleFileNameW(gModule, modulePath, MAX_PATH);
    for (const wchar_t* clsid : kClasses) {
        HRESULT hr = registerClass(std::wstring(modulePath, n), clsid);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT STDAPICALLTYPE DllUnregisterServer() {
    journal("DllUnregisterServer");
    if (failureRequested(L"unregister")) return ZOL_STANDIN_FAILURE;
    HKEY classes = nullptr;
    LONG rc = RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID", 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, &classes);
    if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
    HRESULT result = S_OK;
    for (const wchar_t* clsid : kClasses) {
        rc = RegDeleteTreeW(classes, clsid);
        if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) result = HRESULT_FROM_WIN32(rc);
    }
    RegCloseKey(classes);
    return result;
}

LONG WINAPI ZolStandInReadSettings(BYTE* payload, DWORD capacity) {
    journal("ZolStandInReadSettings");
    HANDLE section = OpenFileMappingW(FILE_MAP_READ, FALSE, ZOL_STANDIN_SETTINGS_SECTION);
    if (!section) return -1;
    const BYTE* view =
        static_cast<const BYTE*>(MapViewOfFile(section, FILE_MAP_READ, 0, 0, ZOL_STANDIN_SETTINGS_SECTION_SIZE));
    CloseHandle(section);
    if (!view) return -1;
    DWORD size = 0;
    std::memcpy(&size, view, sizeof size);
    DWORD available = ZOL_STANDIN_SETTINGS_SECTION_SIZE - sizeof size;
    DWORD copy = size < capacity ? size : capacity;
    if (copy > available) copy = available;
    if (payload && copy) std::memcpy(payload, view + sizeof size, copy);
    UnmapViewOfFile(view);
    return static_cast<LONG>(size);
}

}  // extern "C"
