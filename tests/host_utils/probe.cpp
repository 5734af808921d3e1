#include "probe.h"
#include "support/test_paths.h"

#include <fcntl.h>
#include <io.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <sstream>

namespace zol::test {

std::wstring uniqueName(const std::wstring& stem) {
    static std::atomic<int> serial{0};
    return stem + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++serial);
}

std::wstring ProbeDirectory::addSubdirectory(const std::wstring& name) {
    const std::wstring directory = path() + L"\\" + name;
    EXPECT_TRUE(CreateDirectoryW(directory.c_str(), nullptr)) << GetLastError();
    return directory;
}

std::wstring ProbeDirectory::addProbe(const std::wstring& exeName) {
    const std::wstring target = path() + L"\\" + exeName;
    EXPECT_TRUE(CopyFileW(besideThisProgram(L"process_probe.exe").c_str(), target.c_str(), FALSE))
        << "copying the probe: " << GetLastError();
    return target;
}

ScopedEnvironment::ScopedEnvironment(const wchar_t* name, const std::wstring& value) : name_(name) {
    wchar_t buffer[4096];
    const DWORD length = GetEnvironmentVariableW(name, buffer, 4096);
    hadPrevious_ = length > 0 && length < 4096;
    if (hadPrevious_) previous_.assign(buffer, length);
    SetEnvironmentVariableW(name, value.c_str());
}

ScopedEnvironment::~ScopedEnvironment() {
    SetEnvironmentVariableW(name_.c_str(), hadPrevious_ ? previous_.c_str() : nullptr);
}

ProbeRecord readRecord(const std::wstring& path, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        common::unique_file_handle file(
            CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        if (file) {
            std::wstring text(GetFileSize(file.get(), nullptr) / sizeof(wchar_t), L'\0');
            DWORD read = 0;
            ReadFile(file.get(), text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &read, nullptr);
            ProbeRecord record;
            std::wistringstream lines(text);
            std::wstring line;
            while (std::getline(lines, line)) {
                const auto equals = line.find(L'=');
                if (equals != std::wstring::npos) record[line.substr(0, equals)] = line.substr(equals + 1);
            }
            return record;
        }
        if (GetTickCount() - start > timeoutMs) return {};
        Sleep(10);
    }
}

Child startChild(const std::wstring& exePath) {
    std::wstring commandLine = L"\"" + exePath + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    Child child;
    if (!CreateProcessW(exePath.c_str(), commandLine.data(), nullptr, nullptr,
                        FALSE, 0, nullptr, nullptr, &startup, &started)) {
        ADD_FAILURE() << "starting the probe: " << GetLastError();
        return child;
    }
    common::unique_kernel_handle thread(started.hThread);
    child.process.reset(started.hProcess);
    child.id = started.dwProcessId;
    return child;
}

DWORD exitCodeAfter(const Child& child, DWORD timeoutMs) {
    if (!child.process || WaitForSingleObject(child.process.get(), timeoutMs) != WAIT_OBJECT_0) return STILL_ACTIVE;
    DWORD code = 0;
    GetExitCodeProcess(child.process.get(), &code);
    return code;
}

bool isRunning(const Child& child) {
    return child.process && WaitForSingleObject(child.process.get(), 0) == WAIT_TIMEOUT;
}

void endChildren(std::vector<Child>& children) {
    for (Child& child : children) {
        if (isRunning(child)) TerminateProcess(child.process.get(), 1);
        if (child.process) WaitForSingleObject(child.process.get(), 5000);
    }
    children.clear();
}

StandardOutputCapture::StandardOutputCapture() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp) + uniqueName(L"zol-stdout") + L".txt";
    std::fflush(stdout);
    saved_ = _dup(1);
    const int file = _wopen(path_.c_str(), _O_CREAT | _O_TRUNC | _O_WRONLY | _O_TEXT, 0600);  // as a host's stdout
    EXPECT_GE(file, 0);
    _dup2(file, 1);
    _close(file);
}

StandardOutputCapture::~StandardOutputCapture() {
    finish();
    DeleteFileW(path_.c_str());
}

std::string StandardOutputCapture::finish() {
    if (saved_ >= 0) {
        std::fflush(stdout);
        _dup2(saved_, 1);
        _close(saved_);
        saved_ = -1;
    }
    std::string text;
    if (FILE* file = _wfopen(path_.c_str(), L"rb")) {
        char chunk[512];
        for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) text.append(chunk, n);
        std::fclose(file);
    }
    return text;
}

}  // namespace zol::test
