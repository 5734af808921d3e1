// Host utilities as the host calls them: processes by name, elevation, single instance.
#include <windows.h>

// The public declarations are compiled against the definitions, so the two cannot drift apart.
#include "zol_ecd_api.h"

#include "host_utils/elevation.h"
#include "host_utils/process_control.h"

extern "C" {

int _is_task_running(const wchar_t* exeName) { return zol::host_utils::countProcesses(exeName) > 0 ? 1 : 0; }

void _start_task(const wchar_t* exeName, const wchar_t* arguments, int showCommand, const wchar_t* directory) {
    zol::host_utils::startTask(exeName, arguments, showCommand, directory);
}

void _kill_task(const wchar_t* exeName) { zol::host_utils::terminateProcesses(exeName); }

int _IsRunningAsAdmin() { return zol::host_utils::isRunningAsAdmin(); }

int _RestartAsAdmin() { return zol::host_utils::restartAsAdmin(); }

int _IsGlobalMutexExist(const wchar_t* name) { return zol::host_utils::globalMutexState(name); }

int _IsAlreadyRun(const wchar_t* name) { return zol::host_utils::claimInstanceMutex(name); }

}  // extern "C"
