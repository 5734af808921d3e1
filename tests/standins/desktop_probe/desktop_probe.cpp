// Exits 0 when this process can create a visible top-level window, 1 otherwise.
// wait_for_desktop.sh runs it until it passes; see there why.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, wchar_t*, int) {
    HWND window = CreateWindowExW(0, L"STATIC", L"probe", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                  instance, nullptr);
    if (!window) return 1;
    ShowWindow(window, SW_SHOWNOACTIVATE);
    const bool visible = IsWindowVisible(window) != FALSE;
    DestroyWindow(window);
    return visible ? 0 : 1;
}
