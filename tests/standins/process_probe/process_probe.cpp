// A program the tests start, find and end by name. It stays ZOL_PROBE_LINGER_MS milliseconds, at
// most 30 s, so a crashed test leaves nothing behind for long.
#include <windows.h>

#include <algorithm>
#include <cwchar>

int wmain() {
    const wchar_t* linger = _wgetenv(L"ZOL_PROBE_LINGER_MS");
    Sleep(std::min<DWORD>(linger ? wcstoul(linger, nullptr, 10) : 0, 30000));
    return 0;
}
