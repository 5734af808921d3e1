// Host utilities as the host calls them: processes by name, elevation, single instance.
#include <windows.h>

// The public declarations are compiled against the definitions, so the two cannot drift apart.
#include "zol_ecd_api.h"

#include "exports/boundary.h"
#include "host_utils/elevation.h"
#include "host_utils/process_control.h"

using zol::exports::guarded;
using zol::exports::Registry;
namespace hu = zol::host_utils;

extern "C" {

int _is_task_running(const wchar_t* exeName) {
    return guarded("_is_task_running", Registry::Contained, 0, [&] { return hu::countProcesses(exeName) > 0 ? 1 : 0; });
}

void _start_task(const wchar_t* exeName, const wchar_t* arguments, int showCommand, const wchar_t* directory) {
    guarded("_start_task", Registry::PassesOut, [&] { hu::startTask(exeName, arguments, showCommand, directory); });
}

void _kill_task(const wchar_t* exeName) {
    guarded("_kill_task", Registry::Contained, [&] { hu::terminateProcesses(exeName); });
}

int _IsRunningAsAdmin() { return guarded("_IsRunningAsAdmin", Registry::Contained, 0, [] { return hu::isRunningAsAdmin(); }); }

int _RestartAsAdmin() { return guarded("_RestartAsAdmin", Registry::Contained, 0, [] { return hu::restartAsAdmin(); }); }

// Failing inside can only mean running out of memory; any nonzero answer says "not confirmed".
int _IsGlobalMutexExist(const wchar_t* name) {
    return guarded("_IsGlobalMutexExist", Registry::Contained, static_cast<int>(ERROR_NOT_ENOUGH_MEMORY),
                   [&] { return hu::globalMutexState(name); });
}

int _IsAlreadyRun(const wchar_t* name) {
    return guarded("_IsAlreadyRun", Registry::Contained, 0, [&] { return hu::claimInstanceMutex(name); });
}

}  // extern "C"
