// Elevation, single instance and processes by name, with real processes: copies of
// process_probe.exe (tests/standins/process_probe) started, found and ended.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/product_key.h"
#include "common/system_error.h"
#include "common/unique_handle.h"
#include "host_utils/process_control.h"
#include "registry/registry.h"
#include "support/scratch_directory.h"
#include "support/scratch_key.h"
#include "support/test_paths.h"
#include "zol_ecd_api.h"

namespace {

using namespace zol::test;
using zol::common::unique_kernel_handle;
using Record = std::map<std::wstring, std::wstring>;

constexpr DWORD kTerminated = 0xFFFFFFF6;  // what a parent sees of -10
const std::wstring kProbe = besideThisProgram(L"process_probe.exe");

std::wstring uniqueName(const std::wstring& stem) {
    static int serial = 0;
    return stem + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++serial);
}

// An order to the probes this process starts within the scope.
struct Order {
    Order(const wchar_t* name, const std::wstring& value) : name(name) { SetEnvironmentVariableW(name, value.c_str()); }
    ~Order() { SetEnvironmentVariableW(name, nullptr); }
    const wchar_t* name;
};

// The probe's record, once it is there (empty after the time-out).
Record readRecord(const std::wstring& path, DWORD timeoutMs = 10000) {
    for (const ULONGLONG end = GetTickCount64() + timeoutMs; GetTickCount64() < end; Sleep(10)) {
        zol::common::unique_file_handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        if (!file) continue;
        std::wstring text(GetFileSize(file.get(), nullptr) / 2, L'\0'), line;
        DWORD read = 0;
        ReadFile(file.get(), text.data(), static_cast<DWORD>(text.size() * 2), &read, nullptr);
        Record record;
        for (std::wistringstream lines(text); std::getline(lines, line);)
            record[line.substr(0, line.find(L'='))] = line.substr(line.find(L'=') + 1);
        return record;
    }
    return {};
}

DWORD exitCodeAfter(const unique_kernel_handle& process, DWORD timeoutMs) {
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(process.get(), timeoutMs) == WAIT_OBJECT_0) GetExitCodeProcess(process.get(), &code);
    return code;
}

// What the library writes to the C runtime's standard output (text mode, as a host's).
std::string standardOutputOf(const std::function<void()>& body) {
    const std::wstring path = (std::filesystem::temp_directory_path() / (uniqueName(L"zol-stdout") + L".txt")).wstring();
    std::fflush(stdout);
    const int saved = _dup(1), file = _wopen(path.c_str(), _O_CREAT | _O_TRUNC | _O_WRONLY | _O_TEXT, 0600);
    _dup2(file, 1);
    _close(file);
    body();
    std::fflush(stdout);
    _dup2(saved, 1);
    _close(saved);
    std::string text;
    if (FILE* in = _wfopen(path.c_str(), L"rb")) {
        for (int c; (c = std::fgetc(in)) != EOF;) text += static_cast<char>(c);
        std::fclose(in);
    }
    DeleteFileW(path.c_str());
    return text;
}

class HostUtils : public ::testing::Test {
protected:
    ~HostUtils() override {
        for (const auto& child : children) TerminateProcess(child.get(), 1), WaitForSingleObject(child.get(), 5000);
    }
    std::wstring addProbe(const std::wstring& exeName) {  // exeName may name a subdirectory
        const std::wstring target = directory.path() + L"\\" + exeName;
        EXPECT_TRUE(CopyFileW(kProbe.c_str(), target.c_str(), FALSE)) << GetLastError();
        return target;
    }
    std::wstring recordPath(const std::wstring& name) const { return directory.path() + L"\\" + name + L".record"; }
    void start(const std::wstring& exe, int count = 1) {
        for (int i = 0; i < count; ++i) {
            std::wstring commandLine = L"\"" + exe + L"\"";
            STARTUPINFOW startup{sizeof startup};
            PROCESS_INFORMATION started{};
            ASSERT_TRUE(CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started));
            CloseHandle(started.hThread);
            children.emplace_back(started.hProcess);
        }
    }
    // Starts `count` lingering probes of a name no other process has; returns the name.
    std::wstring lingering(int count, std::wstring name = L"") {
        if (name.empty()) name = uniqueName(L"zolprobe") + L".exe";
        const Order linger(L"ZOL_PROBE_LINGER_MS", L"20000");
        start(addProbe(name), count);
        return name;
    }
    // A probe that claims `name` through the export, records the answer and stays.
    std::wstring claimInProbe(const std::wstring& name) {
        const std::wstring record = recordPath(uniqueName(L"claim"));
        const Order orders[] = {{L"ZOL_PROBE_RECORD", record}, {L"ZOL_PROBE_MUTEX", name}, {L"ZOL_PROBE_LINGER_MS", L"20000"}};
        start(kProbe);
        return readRecord(record)[L"alreadyRun"];
    }

    ScratchDirectory directory{L"zol host utils"};  // with spaces
    std::vector<unique_kernel_handle> children;
};

// _RestartAsAdmin starts the calling program again, so it runs inside a probe, never here.
TEST_F(HostUtils, RestartAsAdminStartsTheSameProgramWithoutArgumentsAndKeepsRunning) {
    const std::wstring callerRecord = recordPath(L"caller"), restartedRecord = recordPath(L"restarted");
    {
        const Order orders[] = {{L"ZOL_PROBE_RECORD", callerRecord}, {L"ZOL_PROBE_RESTART_RECORD", restartedRecord}};
        start(kProbe);
    }
    Record caller = readRecord(callerRecord), restarted = readRecord(restartedRecord);
    EXPECT_EQ(caller[L"restartAsAdmin"], L"1") << "the shell accepted the \"runas\" start";
    EXPECT_EQ(exitCodeAfter(children[0], 5000), 0u) << "the caller went on to its own end";
    EXPECT_EQ(restarted[L"module"], kProbe);
    EXPECT_NE(restarted[L"pid"], caller[L"pid"]);
    EXPECT_EQ(restarted[L"showWindow"], std::to_wstring(SW_SHOWNORMAL));
    std::wstring line = restarted[L"commandLine"];  // the program alone, quoted or not as the shell likes
    line.erase(line.find_last_not_of(L' ') + 1);
    EXPECT_TRUE(line == kProbe || line == L"\"" + kProbe + L"\"") << narrow(line);
    Sleep(200);  // the new instance records and leaves: give it the moment before its files go
}

TEST_F(HostUtils, AnInstanceClaimLastsAsLongAsItsProcess) {
    const std::wstring name = L"Global\\" + uniqueName(L"ZolInstanceTest");
    EXPECT_EQ(_IsGlobalMutexExist(name.c_str()), -1);
    EXPECT_EQ(claimInProbe(name), L"0");
    EXPECT_EQ(_IsGlobalMutexExist(name.c_str()), 0);
    TerminateProcess(children[0].get(), 0);
    ASSERT_NE(exitCodeAfter(children[0], 5000), STILL_ACTIVE);
    EXPECT_EQ(_IsGlobalMutexExist(name.c_str()), -1);
    EXPECT_EQ(_IsAlreadyRun(name.c_str()), 0);
    EXPECT_EQ(_IsAlreadyRun(name.c_str()), 1) << "a second claim in the same process";
    EXPECT_EQ(claimInProbe(name), L"1");
    unique_kernel_handle mutex(OpenMutexW(READ_CONTROL, FALSE, name.c_str()));
    EXPECT_EQ(kernelObjectDacl(mutex.get()), "D:(A;;0x1f0001;;;" + currentUserSid() + ")(A;;0x100001;;;LS)");
}

TEST_F(HostUtils, NamesThatCannotBeClaimed) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;0x100001;;;LS)", SDDL_REVISION_1, &descriptor, nullptr));
    const zol::common::unique_local descriptorOwner(descriptor);
    SECURITY_ATTRIBUTES refusing{sizeof refusing, descriptor, FALSE};
    const std::wstring overlong = L"Global\\" + uniqueName(L"ZolInstanceTest") + std::wstring(MAX_PATH + 20, L'x');
    const struct {
        std::wstring name;
        HANDLE (*hold)(const wchar_t*, SECURITY_ATTRIBUTES*);
        int exists, existsAfterClaim;
    } rows[] = {
        {L"Global\\" + uniqueName(L"ZolRefusing"), [](const wchar_t* n, SECURITY_ATTRIBUTES* a) { return CreateMutexW(a, FALSE, n); },
         ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
        {L"Global\\" + uniqueName(L"ZolEvent"), [](const wchar_t* n, SECURITY_ATTRIBUTES*) { return CreateEventW(nullptr, TRUE, FALSE, n); },
         ERROR_INVALID_HANDLE, ERROR_INVALID_HANDLE},
        {L"", nullptr, -1, -1},
        {overlong, nullptr, -1, 0},  // goes to the system unchanged: the two exports agree
    };
    for (const auto& row : rows) {
        unique_kernel_handle held(row.hold ? row.hold(row.name.c_str(), &refusing) : nullptr);
        EXPECT_EQ(_IsGlobalMutexExist(row.name.c_str()), row.exists) << narrow(row.name);
        EXPECT_EQ(_IsAlreadyRun(row.name.c_str()), 0);
        EXPECT_EQ(_IsGlobalMutexExist(row.name.c_str()), row.existsAfterClaim);
    }
    EXPECT_EQ(_IsGlobalMutexExist(nullptr), -1);
    EXPECT_EQ(_IsAlreadyRun(nullptr), 0);
}

TEST_F(HostUtils, StartTaskQuotesThePathAndPassesArgumentsAndWindowState) {
    // Unquoted, "...\tool dir\probe tool.exe" would start the decoy "...\tool.exe". (Wine re-quotes
    // the command line of the program it settles on: the decoy, not the quotes, tells.)
    addProbe(L"tool.exe");
    CreateDirectoryW((directory.path() + L"\\tool dir").c_str(), nullptr);
    const std::wstring program = addProbe(L"tool dir\\probe tool.exe"), bare = addProbe(L"bare.exe");
    const struct {
        std::wstring exe;
        const wchar_t* arguments;
        int show;
        std::wstring directory, commandLine;
    } rows[] = {
        {L"probe tool.exe", L"-x \"two words\" C:\\some dir\\file.txt", SW_SHOWMINNOACTIVE, directory.path() + L"\\tool dir",
         L"\"" + program + L"\" -x \"two words\" C:\\some dir\\file.txt"},
        {L"bare.exe", nullptr, SW_HIDE, directory.path(), L"\"" + bare + L"\""},
    };
    wchar_t current[1024];
    const std::wstring currentDirectory(current, GetCurrentDirectoryW(1024, current));
    for (const auto& row : rows) {
        const std::wstring record = recordPath(uniqueName(L"start"));
        const Order order(L"ZOL_PROBE_RECORD", record);
        _start_task(row.exe.c_str(), row.arguments, row.show, row.directory.c_str());
        Record seen = readRecord(record);
        EXPECT_EQ(seen[L"commandLine"], row.commandLine);
        EXPECT_EQ(seen[L"directory"], currentDirectory) << "the caller's, not the program's";
        EXPECT_EQ(std::stoul(L"0" + seen[L"startFlags"]) & STARTF_USESHOWWINDOW, static_cast<DWORD>(STARTF_USESHOWWINDOW));
        EXPECT_EQ(seen[L"showWindow"], std::to_wstring(row.show));
    }
}

// Each failed start is one line on standard output, naming the path and the system's reason.
TEST_F(HostUtils, AFailedStartWritesOneLineToStandardOutput) {
    if (FILE* file = _wfopen((directory.path() + L"\\text.exe").c_str(), L"wb")) std::fputs("not a program", file), std::fclose(file);
    const std::wstring tooLong(MAX_PATH + 40, L'n');
    const std::pair<const wchar_t*, DWORD> rows[] = {  // 0: any reason
        {L"absent.exe", ERROR_FILE_NOT_FOUND}, {L"text.exe", ERROR_BAD_EXE_FORMAT}, {nullptr, 0}, {L"", 0}, {tooLong.c_str(), 0}};
    for (const auto& [name, error] : rows) {
        const std::string output = standardOutputOf([&] { _start_task(name, L"-x", SW_HIDE, directory.path().c_str()); });
        const std::string head = "failed start " + narrow(directory.path() + L"\\" + (name ? name : L"")) + ",err=";
        if (error) EXPECT_EQ(output, head + narrow(zol::common::systemErrorText(error)) + "\r\n");
        EXPECT_EQ(output.rfind(head, 0), 0u) << output;
        EXPECT_EQ(output.find("\r\n"), output.size() - 2) << "one line: " << output;
    }
}

TEST_F(HostUtils, TasksAreFoundAndEndedByTheirWholeNameInAnyCase) {
    const std::wstring name = lingering(2), bystander = lingering(1);
    std::wstring upper = name;
    CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
    const std::wstring wrongs[] = {name + L"x", name.substr(0, name.size() - 4), L"ZolNoSuchProgram.exe", L"",
                                   std::wstring(MAX_PATH * 2, L'z') + name};
    for (const std::wstring& wrong : wrongs) {
        EXPECT_EQ(_is_task_running(wrong.c_str()), 0) << narrow(wrong);
        _kill_task(wrong.c_str());
    }
    EXPECT_EQ(_is_task_running(nullptr), 0);
    _kill_task(nullptr);
    EXPECT_EQ(_is_task_running(upper.c_str()), 1);
    _kill_task(upper.c_str());
    EXPECT_EQ(exitCodeAfter(children[0], 5000), kTerminated);
    EXPECT_EQ(exitCodeAfter(children[1], 5000), kTerminated);
    EXPECT_EQ(_is_task_running(name.c_str()), 0);
    EXPECT_EQ(_is_task_running(bystander.c_str()), 1);
}

// The removal path's loop on the audio engine's name.
TEST_F(HostUtils, TheTerminationLoopEndsEveryAudioEngineProcess) {
    ASSERT_EQ(zol::host_utils::countProcesses(L"audiodg.exe"), 0u) << "an audio engine runs in the test prefix";
    lingering(3, L"audiodg.exe");
    EXPECT_EQ(zol::host_utils::countProcesses(L"AudioDG.exe"), 3u);
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(zol::host_utils::terminateUntilGone(L"audiodg.exe"), 1);
    EXPECT_GE(GetTickCount64() - start, 290u) << "one wait of 300 ms after the first attempt";
    for (const auto& child : children) EXPECT_EQ(exitCodeAfter(child, 1000), kTerminated);
}

// Without a directory, the program is looked for in "InstallPath" under the product key; when
// that is missing the host gets the registry failure through the export, in the GCC format.
TEST_F(HostUtils, StartTaskWithoutADirectoryUsesTheInstallPath) {
    const std::wstring key = zol::common::kProductKey;
    const bool keyExisted = rawKeyExists(key);
    DWORD type = 0;
    std::string saved;
    const bool valueExisted = rawGetValue(key, L"InstallPath", &type, &saved);
    const std::wstring program = addProbe(L"installed tool.exe");
    rawSetText(key, L"InstallPath", directory.path());
    for (const wchar_t* none : {static_cast<const wchar_t*>(nullptr), L""}) {
        const std::wstring record = recordPath(uniqueName(L"installed"));
        const Order order(L"ZOL_PROBE_RECORD", record);
        _start_task(L"installed tool.exe", L"--from-install-path", SW_SHOWNORMAL, none);
        EXPECT_EQ(readRecord(record)[L"commandLine"], L"\"" + program + L"\" --from-install-path");
    }

    zol::common::unique_module library(LoadLibraryW(L"zol_ecd_api.dll"));
    const auto exported = reinterpret_cast<decltype(&_start_task)>(reinterpret_cast<void*>(GetProcAddress(library.get(), "_start_task")));
    const auto setFormat = reinterpret_cast<decltype(&_SetRegistryExceptionFormat)>(
        reinterpret_cast<void*>(GetProcAddress(library.get(), "_SetRegistryExceptionFormat")));
    ASSERT_TRUE(exported && setFormat && setFormat(ZOL_REGISTRY_EXCEPTION_GCC) == 1);
    rawDeleteValue(key, L"InstallPath");
    const std::string prefix = "Error while reading registry value " + narrow(key) + "\\InstallPath: ";
    for (int round = 0; round < (keyExisted ? 1 : 2); ++round) {  // the product key may belong to someone
        if (round == 1) rawDeleteTree(key);
        for (const auto startTask : {&_start_task, exported}) {
            const std::string output = standardOutputOf([&] {
                const std::string message = registryMessageOf([&] { startTask(L"installed tool.exe", nullptr, SW_HIDE, nullptr); });
                EXPECT_EQ(message.rfind(prefix, 0), 0u) << message;
                EXPECT_GT(message.size(), prefix.size()) << "the system's text follows";
            });
            EXPECT_EQ(output, "") << "a registry failure is not a failed start";
        }
    }
    if (valueExisted) rawSetValue(key, L"InstallPath", type, saved.data(), static_cast<DWORD>(saved.size()));
    else if (keyExisted) rawDeleteValue(key, L"InstallPath");
}

}  // namespace
