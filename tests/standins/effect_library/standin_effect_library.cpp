// Stand-in for the kit's audio effect library: the registration pair, nothing of the processing.
#include <windows.h>
#include <olectl.h>

#include <string>

#include "effect_library_switches.h"

namespace {

HMODULE gModule = nullptr;
const wchar_t* const kClasses[] = {ZOL_STANDIN_STREAM_EFFECT_CLSID, ZOL_STANDIN_ENDPOINT_EFFECT_CLSID};

std::wstring environment(const wchar_t* name) {
    wchar_t buffer[1024];
    const DWORD n = GetEnvironmentVariableW(name, buffer, 1024);
    return n > 0 && n < 1024 ? std::wstring(buffer, n) : std::wstring();
}

// Journals the call; true when the test asked it to fail.
bool called(const char* event, const wchar_t* switchName) {
    const std::wstring path = environment(ZOL_STANDIN_JOURNAL_VARIABLE);
    HANDLE file = path.empty() ? INVALID_HANDLE_VALUE
                               : CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                             nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        const std::string line = std::string("ZolSoundAPO ") + event + "\r\n";
        DWORD written = 0;
        WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        CloseHandle(file);
    }
    const std::wstring mode = environment(ZOL_STANDIN_APO_FAIL_VARIABLE);
    return mode == switchName || mode == L"both";
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) gModule = instance;
    return TRUE;
}

HRESULT STDAPICALLTYPE DllRegisterServer() {
    if (called("DllRegisterServer", L"register")) return SELFREG_E_CLASS;
    wchar_t modulePath[MAX_PATH];
    const DWORD n = GetModuleFileNameW(gModule, modulePath, MAX_PATH);
    for (const wchar_t* clsid : kClasses) {
        const std::wstring key = std::wstring(L"CLSID\\") + clsid + L"\\InprocServer32";
        const LONG rc = RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, REG_SZ, modulePath, (n + 1) * sizeof(wchar_t));
        if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
    }
    return S_OK;
}

HRESULT STDAPICALLTYPE DllUnregisterServer() {
    if (called("DllUnregisterServer", L"unregister")) return SELFREG_E_CLASS;
    for (const wchar_t* clsid : kClasses) RegDeleteTreeW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + clsid).c_str());
    return S_OK;
}

}  // extern "C"
