// Processes by executable file name ("host.exe", compared without regard to case), never by id
// or window: find, count, terminate and start them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace zol::host_utils {

// Ids of every process whose executable file name equals `exeName` case-insensitively, in
// snapshot order. Null or empty names, names longer than a file name can be, and a snapshot that
// cannot be taken all give an empty list.
std::vector<DWORD> findProcesses(const wchar_t* exeName);

// How many processes of that name the snapshot holds (0 when none).
std::size_t countProcesses(const wchar_t* exeName);

// Ends every process of that name with exit code 0xFFFFFFF6 (-10). Processes that cannot be
// opened for termination are skipped; returns without waiting for any of them to end.
void terminateProcesses(const wchar_t* exeName);

// The removal loop for a process that must let go of a file (the audio engine and the effect
// library): up to `attempts` times terminate all of `exeName`, wait `waitMs`, and stop once none
// is left. Returns the number of attempts made; the caller goes on whether or not they are gone.
int terminateUntilGone(const wchar_t* exeName, int attempts = 5, DWORD waitMs = 300);

// The program path and command line that `startTask` uses: `directory` + "\" + `exeName` (the
// registry's "InstallPath" when `directory` is null or empty; a missing value raises
// RegistryException), quoted, then one space and `arguments` when they are given.
std::wstring taskProgramPath(const wchar_t* exeName, const wchar_t* directory);
std::wstring taskCommandLine(const std::wstring& programPath, const wchar_t* arguments);

// Starts the program without waiting for or tracking it. A failed start writes
// "failed start <path>,err=<system text>\r\n" to standard output and nothing else.
void startTask(const wchar_t* exeName, const wchar_t* arguments, int showCommand, const wchar_t* directory);

}  // namespace zol::host_utils
