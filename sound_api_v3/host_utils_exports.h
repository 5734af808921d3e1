// The host-utility exports, declared for the library's own tests and stand-ins.
#pragma once

#include <wchar.h>

extern "C" {
int _is_task_running(const wchar_t* exeName);
void _start_task(const wchar_t* exeName, const wchar_t* arguments, int showCommand, const wchar_t* directory);
void _kill_task(const wchar_t* exeName);
int _IsRunningAsAdmin();
int _RestartAsAdmin();
int _IsGlobalMutexExist(const wchar_t* name);
int _IsAlreadyRun(const wchar_t* name);
}
