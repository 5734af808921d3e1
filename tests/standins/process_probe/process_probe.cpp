// A program for the host-utility tests to start, find and end. It writes down what it was given
// (command line, its own path, current directory, window state) to the file named by
// ZOL_PROBE_RECORD, then stays alive for ZOL_PROBE_LINGER_MS milliseconds (at most 30 s, so a
// crashed test leaves nothing behind for long). Taking its orders from the environment keeps
// the command line free for what is being checked.
//   ZOL_PROBE_MUTEX=name           claim the name with the library's _IsAlreadyRun first
//   ZOL_PROBE_RESTART_RECORD=path  call the library's _RestartAsAdmin; the new instance records
//                                  to that path and does nothing else
// The record is UTF-16 "key=value" lines, written to a temporary file and renamed into place,
// so a reader never sees half of it.
#include <windows.h>

#include <algorithm>
#include <string>

namespace {

std::wstring environment(const wchar_t* name) {
    wchar_t buffer[4096];
    const DWORD length = GetEnvironmentVariableW(name, buffer, 4096);
    return length > 0 && length < 4096 ? std::wstring(buffer, length) : std::wstring();
}

template <typename Fn>
Fn libraryExport(const char* name) {
    HMODULE library = LoadLibraryW(L"zol_ecd_api.dll");  // beside this program; kept until exit
    return library ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name))) : nullptr;
}

bool writeRecord(const std::wstring& path, const std::wstring& text) {
    const std::wstring pending = path + L".pending";
    HANDLE file = CreateFileW(pending.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const DWORD size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    const bool ok = WriteFile(file, text.data(), size, &written, nullptr) && written == size;
    CloseHandle(file);
    return ok && MoveFileExW(pending.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

}  // namespace

int wmain() {
    const std::wstring record = environment(L"ZOL_PROBE_RECORD");
    const std::wstring mutexName = environment(L"ZOL_PROBE_MUTEX");
    const std::wstring restartRecord = environment(L"ZOL_PROBE_RESTART_RECORD");
    const DWORD linger = std::min<DWORD>(wcstoul(environment(L"ZOL_PROBE_LINGER_MS").c_str(), nullptr, 10), 30000);
    // Whatever this instance starts must not repeat its orders.
    for (const wchar_t* name : {L"ZOL_PROBE_RECORD", L"ZOL_PROBE_MUTEX", L"ZOL_PROBE_RESTART_RECORD",
                                L"ZOL_PROBE_LINGER_MS"})
        SetEnvironmentVariableW(name, nullptr);

    wchar_t module[1024] = {};
    GetModuleFileNameW(nullptr, module, 1024);
    wchar_t directory[1024] = {};
    GetCurrentDirectoryW(1024, directory);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);

    std::wstring text = L"commandLine=" + std::wstring(GetCommandLineW()) + L"\n";
    text += L"module=" + std::wstring(module) + L"\n";
    text += L"directory=" + std::wstring(directory) + L"\n";
    text += L"startFlags=" + std::to_wstring(startup.dwFlags) + L"\n";
    text += L"showWindow=" + std::to_wstring(startup.wShowWindow) + L"\n";
    text += L"pid=" + std::to_wstring(GetCurrentProcessId()) + L"\n";
    if (!mutexName.empty()) {
        auto claim = libraryExport<int (*)(const wchar_t*)>("_IsAlreadyRun");
        text += L"alreadyRun=" + (claim ? std::to_wstring(claim(mutexName.c_str())) : L"no export") + L"\n";
    }
    if (!restartRecord.empty()) {
        SetEnvironmentVariableW(L"ZOL_PROBE_RECORD", restartRecord.c_str());
        auto restart = libraryExport<int (*)()>("_RestartAsAdmin");
        text += L"restartAsAdmin=" + (restart ? std::to_wstring(restart()) : L"no export") + L"\n";
        SetEnvironmentVariableW(L"ZOL_PROBE_RECORD", nullptr);
    }
    if (!record.empty() && !writeRecord(record, text)) return 3;
    if (linger > 0) Sleep(linger);
    return 0;
}
