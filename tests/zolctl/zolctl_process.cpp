#include "zolctl_process.h"

#include <gtest/gtest.h>

namespace zol::test {
namespace {

void pump(HANDLE pipe, std::string& sink, CRITICAL_SECTION& lock) {
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &n, nullptr) && n > 0) {
        EnterCriticalSection(&lock);
        sink.append(buffer, n);
        LeaveCriticalSection(&lock);
    }
}

}  // namespace

ZolctlProcess::ZolctlProcess(const std::wstring& arguments, const std::wstring& program) {
    InitializeCriticalSection(&lock_);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE outWrite = nullptr, errWrite = nullptr;
    CreatePipe(&outRead_, &outWrite, &inherit, 0);
    CreatePipe(&errRead_, &errWrite, &inherit, 0);
    SetHandleInformation(outRead_, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead_, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    std::wstring commandLine = program + L" " + arguments;
    PROCESS_INFORMATION info{};
    const BOOL started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info);
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    if (!started) {
        ADD_FAILURE() << "cannot start " << std::string(program.begin(), program.end()) << ", error " << GetLastError();
        return;
    }
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    outThread_ = std::thread([this] { pump(outRead_, out_, lock_); });
    errThread_ = std::thread([this] { pump(errRead_, err_, lock_); });
}

ZolctlProcess::~ZolctlProcess() {
    if (process_) {
        if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) TerminateProcess(process_, 99);
        WaitForSingleObject(process_, 10000);
        CloseHandle(process_);
    }
    if (outThread_.joinable()) outThread_.join();
    if (errThread_.joinable()) errThread_.join();
    if (outRead_) CloseHandle(outRead_);
    if (errRead_) CloseHandle(errRead_);
    DeleteCriticalSection(&lock_);
}

bool ZolctlProcess::waitForError(const std::string& text, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (GetTickCount64() < deadline) {
        EnterCriticalSection(&lock_);
        const bool seen = err_.find(text) != std::string::npos;
        LeaveCriticalSection(&lock_);
        if (seen) return true;
        if (!process_ || WaitForSingleObject(process_, 20) == WAIT_OBJECT_0) return false;
    }
    return false;
}

ZolctlRun ZolctlProcess::finish(DWORD timeoutMs) {
    ZolctlRun run;
    if (!process_) return run;
    if (WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "zolctl did not finish within " << timeoutMs << " ms";
        TerminateProcess(process_, 99);
        WaitForSingleObject(process_, 10000);
    }
    GetExitCodeProcess(process_, &run.exitCode);
    outThread_.join();
    errThread_.join();
    run.out = out_;
    run.err = err_;
    return run;
}

ZolctlRun runProgram(const std::wstring& program, const std::wstring& arguments, DWORD timeoutMs) {
    ZolctlProcess process(arguments, program);
    return process.finish(timeoutMs);
}

ZolctlRun runZolctl(const std::wstring& arguments, DWORD timeoutMs) {
    ZolctlProcess process(arguments);
    return process.finish(timeoutMs);
}

}  // namespace zol::test
