// A program for the host-utility tests to start, find and end. It writes what it was given
// (command line, own path, current directory, window state, pid) as UTF-16 "key=value" lines to
// the file named by ZOL_PROBE_RECORD (renamed into place, so a reader never sees half of it),
// then stays ZOL_PROBE_LINGER_MS milliseconds (at most 30 s). Orders come from the environment,
// keeping the command line free for what is checked:
//   ZOL_PROBE_MUTEX=name           first claim the name with the library's _IsAlreadyRun
//   ZOL_PROBE_RESTART_RECORD=path  call _RestartAsAdmin; the new instance records to that path
#include <windows.h>

#include <algorithm>
#include <string>

namespace {

std::wstring take(const wchar_t* name) {  // and unset, so what this instance starts gets no orders
    wchar_t buffer[4096];
    const DWORD length = GetEnvironmentVariableW(name, buffer, 4096);
    SetEnvironmentVariableW(name, nullptr);
    return length < 4096 ? std::wstring(buffer, length) : std::wstring();
}

template <typename Fn>
std::wstring call(const char* name, Fn&& invoke) {
    HMODULE library = LoadLibraryW(L"zol_ecd_api.dll");  // beside this program; kept until exit
    const FARPROC function = library ? GetProcAddress(library, name) : nullptr;
    return function ? std::to_wstring(invoke(function)) : L"no export";
}

}  // namespace

int wmain() {
    const std::wstring record = take(L"ZOL_PROBE_RECORD"), mutex = take(L"ZOL_PROBE_MUTEX"),
                       restartRecord = take(L"ZOL_PROBE_RESTART_RECORD");
    const DWORD linger = std::min<DWORD>(wcstoul(take(L"ZOL_PROBE_LINGER_MS").c_str(), nullptr, 10), 30000);
    wchar_t module[1024] = {}, directory[1024] = {};
    GetModuleFileNameW(nullptr, module, 1024);
    GetCurrentDirectoryW(1024, directory);
    STARTUPINFOW startup{sizeof startup};
    GetStartupInfoW(&startup);
    std::wstring text = L"commandLine=" + std::wstring(GetCommandLineW()) + L"\nmodule=" + module + L"\ndirectory=" +
                        directory + L"\nstartFlags=" + std::to_wstring(startup.dwFlags) + L"\nshowWindow=" +
                        std::to_wstring(startup.wShowWindow) + L"\npid=" + std::to_wstring(GetCurrentProcessId()) + L"\n";
    if (!mutex.empty())
        text += L"alreadyRun=" + call("_IsAlreadyRun", [&](FARPROC f) {
                    return reinterpret_cast<int (*)(const wchar_t*)>(reinterpret_cast<void*>(f))(mutex.c_str());
                }) + L"\n";
    if (!restartRecord.empty()) {
        SetEnvironmentVariableW(L"ZOL_PROBE_RECORD", restartRecord.c_str());
        text += L"restartAsAdmin=" +
                call("_RestartAsAdmin", [](FARPROC f) { return reinterpret_cast<int (*)()>(reinterpret_cast<void*>(f))(); }) +
                L"\n";
        SetEnvironmentVariableW(L"ZOL_PROBE_RECORD", nullptr);
    }
    if (!record.empty()) {
        const std::wstring pending = record + L".pending";
        HANDLE file = CreateFileW(pending.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        const bool ok = file != INVALID_HANDLE_VALUE &&
                        WriteFile(file, text.data(), static_cast<DWORD>(text.size() * 2), &written, nullptr);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        if (!ok || !MoveFileExW(pending.c_str(), record.c_str(), MOVEFILE_REPLACE_EXISTING)) return 3;
    }
    Sleep(linger);
    return 0;
}
