// Runs zolctl.exe (beside the test program, as a support engineer would run it) with pipes for
// its standard output and error.
#pragma once

#include <windows.h>

#include <string>
#include <thread>

namespace zol::test {

struct ZolctlRun {
    DWORD exitCode = 0;
    std::string out;
    std::string err;
};

// Runs to the end (killed after timeoutMs, which fails the calling test).
ZolctlRun runZolctl(const std::wstring& arguments, DWORD timeoutMs = 60000);
// The same for another program of the build (the endpoint seeder).
ZolctlRun runProgram(const std::wstring& program, const std::wstring& arguments, DWORD timeoutMs = 60000);

// A zolctl that keeps running while the test acts (the live log).
class ZolctlProcess {
public:
    explicit ZolctlProcess(const std::wstring& arguments, const std::wstring& program = L"zolctl.exe");
    ~ZolctlProcess();
    ZolctlProcess(const ZolctlProcess&) = delete;
    ZolctlProcess& operator=(const ZolctlProcess&) = delete;

    // Waits until standard error contains `text`; false after timeoutMs.
    bool waitForError(const std::string& text, DWORD timeoutMs);
    ZolctlRun finish(DWORD timeoutMs);

private:
    HANDLE process_ = nullptr;
    HANDLE outRead_ = nullptr, errRead_ = nullptr;
    std::thread outThread_, errThread_;
    std::string out_, err_;
    CRITICAL_SECTION lock_;
};

}  // namespace zol::test
