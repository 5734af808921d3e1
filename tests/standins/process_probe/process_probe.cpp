// A program the tests start, find and end by name. With ZOL_PROBE_RECORD set it first writes its
// command line, window state (-1 when none was given) and current directory to that file, whole
// or not at all. It stays ZOL_PROBE_LINGER_MS milliseconds, at most 30 s, so a crashed test leaves
// nothing behind for long.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>

int wmain() {
    if (const wchar_t* record = _wgetenv(L"ZOL_PROBE_RECORD")) {
        STARTUPINFOW startup{sizeof startup};
        GetStartupInfoW(&startup);
        wchar_t directory[MAX_PATH] = L"";
        GetCurrentDirectoryW(MAX_PATH, directory);
        const std::wstring part = std::wstring(record) + L".part";
        if (FILE* file = _wfopen(part.c_str(), L"wb")) {
            std::fprintf(file, "%ls\n%d\n%ls\n", GetCommandLineW(), startup.dwFlags & STARTF_USESHOWWINDOW ? startup.wShowWindow : -1,
                         directory);
            std::fclose(file);
            MoveFileExW(part.c_str(), record, MOVEFILE_REPLACE_EXISTING);
        }
    }
    const wchar_t* linger = _wgetenv(L"ZOL_PROBE_LINGER_MS");
    Sleep(std::min<DWORD>(linger ? wcstoul(linger, nullptr, 10) : 0, 30000));
    return 0;
}
