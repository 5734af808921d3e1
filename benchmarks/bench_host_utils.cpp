// Host utilities against the system calls they are made of: a process lookup by name against a
// bare snapshot walk, a mutex probe against one OpenMutexW.
#include <windows.h>
#include <tlhelp32.h>

#include <string>

#include "bench_report.h"
#include "host_utils/elevation.h"
#include "host_utils/process_control.h"

int main() {
    using zol::bench::nsPerCall;
    using zol::bench::report;

    const double lookup = nsPerCall([] { zol::host_utils::countProcesses(L"audiodg.exe"); }, 20);
    const double walk = nsPerCall(
        [] {
            HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
            PROCESSENTRY32W entry{};
            entry.dwSize = sizeof entry;
            for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
            }
            CloseHandle(snapshot);
        },
        20);
    report("process lookup by name", lookup, walk, "snapshot and walk, no comparison");

    const std::wstring name = L"Global\\ZolBenchMutex-" + std::to_wstring(GetCurrentProcessId());
    zol::host_utils::claimInstanceMutex(name.c_str());
    const double probe = nsPerCall([&] { zol::host_utils::globalMutexState(name.c_str()); }, 2000);
    const double open = nsPerCall(
        [&] {
            HANDLE mutex = OpenMutexW(1, FALSE, name.c_str());
            if (mutex) CloseHandle(mutex);
        },
        2000);
    report("mutex probe (existing)", probe, open, "OpenMutexW + CloseHandle");

    const double claim = nsPerCall([&] { zol::host_utils::claimInstanceMutex(name.c_str()); }, 50);
    report("instance claim (existing name)", claim, 0, "security built each call; one handle kept per call");
    return 0;
}
