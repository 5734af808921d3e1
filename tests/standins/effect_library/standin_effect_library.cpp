// Stand-in for the kit's audio effect library: the registration pair, nothing of the processing.
#include <windows.h>
#include <olectl.h>

#include <string>

#include "effect_library_switches.h"

namespace {

HMODULE gModule = nullptr;
const wchar_t* const kClasses[] = {L"CLSID\\" ZOL_STANDIN_STREAM_EFFECT_CLSID, L"CLSID\\" ZOL_STANDIN_ENDPOINT_EFFECT_CLSID};

std::wstring environment(const wchar_t* name) {
    wchar_t buffer[1024];
    const DWORD n = GetEnvironmentVariableW(name, buffer, 1024);
    return std::wstring(buffer, n < 1024 ? n : 0);
}

// Journals the call; true when the test asked it to fail.
bool failing(const char* event, const wchar_t* switchName) {
    const std::string line = std::string("ZolSoundAPO ") + event + "\r\n";
    HANDLE file = CreateFileW(environment(ZOL_STANDIN_JOURNAL_VARIABLE).c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    if (file != INVALID_HANDLE_VALUE) WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr), CloseHandle(file);
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
    if (failing("DllRegisterServer", L"register")) return SELFREG_E_CLASS;
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(gModule, path, MAX_PATH);
    for (const wchar_t* clsid : kClasses)
        if (const LONG rc = RegSetKeyValueW(HKEY_CLASSES_ROOT, (clsid + std::wstring(L"\\InprocServer32")).c_str(), nullptr, REG_SZ, path,
                                            (n + 1) * sizeof(wchar_t)))
            return HRESULT_FROM_WIN32(rc);
    return S_OK;
}

HRESULT STDAPICALLTYPE DllUnregisterServer() {
    if (failing("DllUnregisterServer", L"unregister")) return SELFREG_E_CLASS;
    for (const wchar_t* clsid : kClasses) RegDeleteTreeW(HKEY_CLASSES_ROOT, clsid);
    return S_OK;
}

}  // extern "C"
