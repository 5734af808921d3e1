// Host utilities against the system calls they are made of: a process lookup by name against a
// bare snapshot walk, a mutex probe against one OpenMutexW.
#include <windows.h>
#include <tlhelp32.h>

#include <string>

#include "bench_report.h"
#include "host_utils/elevation.h"
#include "host_utils/process_control.h"

int main() {
    using zol::bench::compare;
    using zol::bench::nsPerCall;
    using zol::bench::report;

    const auto lookup = compare(
        [] { zol::host_utils::countProcesses(L"audiodg.exe"); },
        [] {
            HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
            PROCESSENTRY32W entry{};
            entry.dwSize = sizeof entry;
            for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
            }
            CloseHandle(snapshot);
        },
        1, 41);
    report("process lookup by name", lookup, "snapshot and walk, no comparison");

    const std::wstring name = L"Global\\ZolBenchMutex-" + std::to_wstring(GetCurrentProcessId());
    zol::host_utils::claimInstanceMutex(name.c_str());
    const auto probe = compare(
        [&] { zol::host_utils::globalMutexState(name.c_str()); },
        [&] {
            HANDLE mutex = OpenMutexW(1, FALSE, name.c_str());
            if (mutex) CloseHandle(mutex);
        },
        20, 101);
    report("mutex probe (existing)", probe, "OpenMutexW + CloseHandle");

    const double claim = nsPerCall([&] { zol::host_utils::claimInstanceMutex(name.c_str()); }, 50);
    report("instance claim (existing name)", claim, "security built each call; one handle kept per call");
    return 0;
}
