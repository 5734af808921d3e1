#include "host_utils/process_control.h"

#include <fcntl.h>
#include <io.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>

#include "common/product_key.h"
#include "common/system_error.h"
#include "common/unique_handle.h"
#include "registry/registry.h"

namespace zol::host_utils {
namespace {

bool isEmpty(const wchar_t* text) { return text == nullptr || *text == L'\0'; }

// Standard output, in the ANSI code page a console or a redirected file expects, byte for byte:
// a text-mode stream would turn the line's "\r\n" into "\r\r\n".
void writeToStandardOutput(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    if (size <= 0) return;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr,
                        nullptr);
    const int descriptor = _fileno(stdout);
    if (descriptor < 0) return;
    std::fflush(stdout);
    const int mode = _setmode(descriptor, _O_BINARY);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
    if (mode != -1) _setmode(descriptor, mode);
}

}  // namespace

std::vector<DWORD> findProcesses(const wchar_t* exeName) {
    std::vector<DWORD> ids;
    // szExeFile holds at most MAX_PATH - 1 characters, so a longer name can never match.
    if (isEmpty(exeName) || wcsnlen(exeName, MAX_PATH) >= MAX_PATH) return ids;
    common::unique_file_handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return ids;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        if (_wcsicmp(entry.szExeFile, exeName) == 0) ids.push_back(entry.th32ProcessID);
    }
    return ids;
}

std::size_t countProcesses(const wchar_t* exeName) { return findProcesses(exeName).size(); }

void terminateProcesses(const wchar_t* exeName) {
    for (DWORD id : findProcesses(exeName)) {
        common::unique_kernel_handle process(OpenProcess(PROCESS_TERMINATE, FALSE, id));
        if (process) TerminateProcess(process.get(), 0xFFFFFFF6u);
    }
}

int terminateUntilGone(const wchar_t* exeName, int attempts, DWORD waitMs) {
    int made = 0;
    while (made < attempts) {
        ++made;
        terminateProcesses(exeName);
        Sleep(waitMs);
        if (countProcesses(exeName) < 1) break;
    }
    return made;
}

std::wstring taskProgramPath(const wchar_t* exeName, const wchar_t* directory) {
    const std::wstring base =
        isEmpty(directory) ? registry::readStringValue(common::kProductKey, common::kInstallPathValue)
                           : std::wstring(directory);
    return base + L"\\" + (exeName ? exeName : L"");
}

std::wstring taskCommandLine(const std::wstring& programPath, const wchar_t* arguments) {
    std::wstring line = L"\"" + programPath + L"\"";
    if (arguments) line += L" " + std::wstring(arguments);
    return line;
}

void startTask(const wchar_t* exeName, const wchar_t* arguments, int showCommand, const wchar_t* directory) {
    const std::wstring programPath = taskProgramPath(exeName, directory);
    // CreateProcessW may write into the command line, so it gets a buffer of its own.
    std::wstring commandLine = taskCommandLine(programPath, arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showCommand);
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &started)) {
        const DWORD error = GetLastError();
        writeToStandardOutput(L"failed start " + programPath + L",err=" + common::systemErrorText(error) +
                              L"\r\n");
        return;
    }
    // Not waited for and not tracked: both handles go at once.
    common::unique_kernel_handle thread(started.hThread);
    common::unique_kernel_handle process(started.hProcess);
}

}  // namespace zol::host_utils
