// Single instance, starting, finding and ending programs.
#include <windows.h>
#include <sddl.h>
#include <tlhelp32.h>

#include <fcntl.h>
#include <io.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/product_key.h"
#include "common/system_error.h"
#include "common/unique_handle.h"
#include "support/scratch_directory.h"
#include "support/scratch_key.h"
#include "support/test_paths.h"
#include "zol_ecd_api.h"

namespace {

using namespace zol::test;
using zol::common::unique_kernel_handle;

TEST(HostUtils, InstanceClaims) {
    const std::wstring fresh = L"Global\\ZolInstance-" + std::to_wstring(GetCurrentProcessId()), event = fresh + L"-event",
                       overlong = fresh + std::wstring(MAX_PATH + 20, L'x');
    const unique_kernel_handle held(CreateEventW(nullptr, TRUE, FALSE, event.c_str()));  // a name taken by another kind
    const std::wstring refusing = fresh + L"-refusing";  // a mutex that admits local service only
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;0x100001;;;LS)", SDDL_REVISION_1, &descriptor, nullptr));
    const zol::common::unique_local descriptorOwner(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    const unique_kernel_handle foreign(CreateMutexW(&attributes, FALSE, refusing.c_str()));
    const struct {
        const wchar_t* name;
        int existsBefore, claim, existsAfter;
    } rows[] = {{fresh.c_str(), -1, 0, 0},
                {fresh.c_str(), 0, 1, 0},  // claimed again in the same process
                {event.c_str(), ERROR_INVALID_HANDLE, 0, ERROR_INVALID_HANDLE},
                {refusing.c_str(), ERROR_ACCESS_DENIED, 0, ERROR_ACCESS_DENIED},
                {L"", -1, 0, -1},                 {nullptr, -1, 0, -1},
                {overlong.c_str(), -1, 0, 0}};  // goes to the system unchanged: the two exports agree
    for (const auto& row : rows) {
        EXPECT_EQ(_IsGlobalMutexExist(row.name), row.existsBefore) << &row - rows;
        EXPECT_EQ(_IsAlreadyRun(row.name), row.claim) << &row - rows;
        EXPECT_EQ(_IsGlobalMutexExist(row.name), row.existsAfter) << &row - rows;
    }
    const unique_kernel_handle claimed(OpenMutexW(READ_CONTROL, FALSE, fresh.c_str()));
    EXPECT_EQ(kernelObjectDacl(claimed.get()), "D:(A;;0x1f0001;;;" + currentUserSid() + ")(A;;0x100001;;;LS)");
}

// A failed start is one line on standard output (text mode, as a host's) naming the path and
// the system's reason.
TEST(HostUtils, AFailedStartWritesOneLineToStandardOutput) {
    const ScratchDirectory directory{L"zol host utils"};
    const std::wstring tooLong(MAX_PATH + 40, L'n');
    const std::pair<const wchar_t*, DWORD> failures[] = {  // 0: any reason
        {L"absent.exe", ERROR_FILE_NOT_FOUND}, {nullptr, 0}, {tooLong.c_str(), 0}};
    for (const auto& [name, error] : failures) {
        std::fflush(stdout);
        const int saved = _dup(1), file = _wopen((directory.path() + L"\\out").c_str(), _O_CREAT | _O_TRUNC | _O_WRONLY | _O_TEXT, 0600);
        _dup2(file, 1), _close(file);
        _start_task(name, L"-x", SW_HIDE, directory.path().c_str());
        std::fflush(stdout);
        _dup2(saved, 1), _close(saved);
        const std::string output = directory.read(L"out");
        const std::string head = "failed start " + narrow(directory.path() + L"\\" + (name ? name : L"")) + ",err=";
        EXPECT_EQ(output.substr(0, error ? std::string::npos : head.size()),
                  head + (error ? narrow(zol::common::systemErrorText(error)) + "\r\n" : ""));
        EXPECT_EQ(output.find("\r\n"), output.size() - 2) << "one line: " << output;
    }
}

// The quoted path, one space and the arguments as given; the window state and this process's
// current directory go with them. No directory means the install directory.
TEST(HostUtils, AStartedProgramGetsItsCommandLine) {
    const ScratchDirectory directory{L"zol host start"};
    ASSERT_TRUE(CopyFileW(besideThisProgram(L"process_probe.exe").c_str(), (directory.path() + L"\\probe.exe").c_str(), FALSE));
    const std::wstring record = directory.path() + L"\\record", quoted = L"\"" + directory.path() + L"\\probe.exe\"";
    rawSetText(zol::common::kProductKey, L"InstallPath", directory.path());
    SetEnvironmentVariableW(L"ZOL_PROBE_RECORD", record.c_str());
    wchar_t current[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, current);
    const struct {
        const wchar_t* arguments;
        int show;
        const wchar_t* directory;
        std::wstring commandLine;
    } rows[] = {{L"-a \"b c\"", SW_SHOWMINNOACTIVE, directory.path().c_str(), quoted + L" -a \"b c\""},
                {nullptr, SW_HIDE, nullptr, quoted},
                {L"", SW_SHOWNORMAL, L"", quoted + L" "}};
    for (const auto& row : rows) {
        DeleteFileW(record.c_str());
        _start_task(L"probe.exe", row.arguments, row.show, row.directory);
        std::string seen;
        for (int i = 0; i < 250 && (seen = directory.read(L"record")).empty(); ++i) Sleep(20);
        EXPECT_EQ(seen, narrow(row.commandLine) + "\n" + std::to_string(row.show) + "\n" + narrow(current) + "\n") << &row - rows;
    }
    SetEnvironmentVariableW(L"ZOL_PROBE_RECORD", nullptr);
    rawDeleteValue(zol::common::kProductKey, L"InstallPath");
}

// Found and ended by name, case aside: the exit code tells an ending from the program finishing.
TEST(HostUtils, StartFindAndEndByName) {
    const ScratchDirectory directory{L"zol host tasks"};
    std::wstring name = L"zol_task_" + std::to_wstring(GetCurrentProcessId()) + L".exe";
    ASSERT_TRUE(CopyFileW(besideThisProgram(L"process_probe.exe").c_str(), (directory.path() + L"\\" + name).c_str(), FALSE));
    EXPECT_EQ(_is_task_running(name.c_str()), 0);
    SetEnvironmentVariableW(L"ZOL_PROBE_LINGER_MS", L"20000");
    _start_task(name.c_str(), nullptr, SW_HIDE, directory.path().c_str());
    SetEnvironmentVariableW(L"ZOL_PROBE_LINGER_MS", nullptr);
    unique_kernel_handle started;
    const unique_kernel_handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{sizeof entry};
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more && !started; more = Process32NextW(snapshot.get(), &entry))
        if (name == entry.szExeFile) started.reset(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
    ASSERT_TRUE(started) << "not started";
    CharUpperW(name.data());
    EXPECT_EQ(_is_task_running(name.c_str()), 1);
    _kill_task(name.c_str());
    DWORD code = 0;
    EXPECT_EQ(WaitForSingleObject(started.get(), 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeProcess(started.get(), &code) && code == 0xFFFFFFF6u) << code;
    EXPECT_EQ(_is_task_running(name.c_str()), 0);
}

}  // namespace
