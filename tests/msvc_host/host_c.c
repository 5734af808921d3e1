/* A C host of the same compiler: a registry failure is a structured exception with the MSVC C++
 * code, which __try/__except sees; the host survives it and keeps calling the library. */
#include "host_win32.h"
#include "zol_ecd_api.h"

static unsigned long raised(int which) {
    unsigned long code = 0;
    DeviceInfo info;
    __try {
        if (which == 0) getDeviceInfo(0, &info);
        else _start_task(L"x.exe", NULL, 0, NULL);
    } __except (code = _exception_code(), 1) {
    }
    return code;
}

int hostMainC(void) {
    static const char ok[] = "msvc_host_c: registry failures seen as 0xE06D7363, host survived\r\n";
    unsigned long written = 0;
    RegDeleteTreeW(ZOL_HKLM, L"SOFTWARE\\ZolSoundKit");
    if (raised(0) != 0xE06D7363 || raised(1) != 0xE06D7363 || getDeviceCount() != 0) ExitProcess(1);
    WriteFile(GetStdHandle((unsigned long)-11), ok, sizeof ok - 1, &written, NULL);
    ExitProcess(0);
}
