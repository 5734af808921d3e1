// Makes the prefix's desktop ready for message boxes before the suites that show them start.
//
//   zol_desktop_probe.exe --wait SECONDS   runs the check in child processes until one passes
//   zol_desktop_probe.exe                  the check: exit 0 when a visible window can be made
//
// Wine starts its desktop process on the first window of a fresh prefix and that first start is
// slow; a process with user32 loaded that began before it completed keeps the desktop unusable
// (MessageBoxW returns -1) for everyone while it lives. So the waiting side loads no user32 at
// all, and the check loads it only when it runs.
#include <windows.h>

#include <cwchar>

namespace {

using CreateWindowExWFn = HWND(WINAPI*)(DWORD, const wchar_t*, const wchar_t*, DWORD, int, int, int, int, HWND, HMENU,
                                        HINSTANCE, void*);
using ShowWindowFn = BOOL(WINAPI*)(HWND, int);
using IsWindowVisibleFn = BOOL(WINAPI*)(HWND);
using DestroyWindowFn = BOOL(WINAPI*)(HWND);

template <typename Fn>
Fn entry(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

int check() {
    HMODULE user32 = LoadLibraryW(L"user32.dll");
    if (!user32) return 1;
    auto createWindow = entry<CreateWindowExWFn>(user32, "CreateWindowExW");
    auto showWindow = entry<ShowWindowFn>(user32, "ShowWindow");
    auto isVisible = entry<IsWindowVisibleFn>(user32, "IsWindowVisible");
    auto destroyWindow = entry<DestroyWindowFn>(user32, "DestroyWindow");
    if (!createWindow || !showWindow || !isVisible || !destroyWindow) return 1;
    HWND window = createWindow(0, L"STATIC", L"probe", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    if (!window) return 1;
    showWindow(window, SW_SHOWNOACTIVATE);
    const bool visible = isVisible(window) != FALSE;
    destroyWindow(window);
    return visible ? 0 : 1;
}

int waitForDesktop(DWORD seconds) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const ULONGLONG deadline = GetTickCount64() + seconds * 1000ULL;
    do {
        wchar_t command[MAX_PATH + 2];
        swprintf(command, MAX_PATH + 2, L"\"%ls\"", self);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (CreateProcessW(self, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
            CloseHandle(process.hThread);
            DWORD exitCode = 1;
            if (WaitForSingleObject(process.hProcess, 20000) == WAIT_OBJECT_0)
                GetExitCodeProcess(process.hProcess, &exitCode);
            CloseHandle(process.hProcess);
            if (exitCode == 0) return 0;
        }
        Sleep(500);
    } while (GetTickCount64() < deadline);
    return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wcscmp(argv[1], L"--wait") == 0) return waitForDesktop(std::wcstoul(argv[2], nullptr, 10));
    return check();
}
