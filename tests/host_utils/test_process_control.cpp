// Processes by name, with real processes: copies of process_probe.exe started, found and ended.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/system_error.h"
#include "common/unique_handle.h"
#include "host_utils/host_path.h"
#include "host_utils/process_control.h"
#include "zol_ecd_api.h"
#include "probe.h"
#include "registry/registry.h"
#include "support/scratch_key.h"

namespace {

using namespace zol::test;
using zol::host_utils::countProcesses;
using zol::host_utils::directoryPart;

constexpr DWORD kTerminatedExitCode = 0xFFFFFFF6;  // what a parent sees of -10
const std::wstring kProductKey = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\ZolSoundKit";

std::wstring upper(std::wstring text) {
    CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

std::wstring currentDirectory() {
    wchar_t buffer[1024];
    return std::wstring(buffer, GetCurrentDirectoryW(1024, buffer));
}

TEST(DirectoryPart, EverythingBeforeTheLastSeparatorOfPathsLongerThanThree) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"C:\\Program Files\\Kit\\host.exe", L"C:\\Program Files\\Kit"},
        {L"C:/Kit/host.exe", L"C:/Kit"},
        {L"C:\\Kit/sub\\host.exe", L"C:\\Kit/sub"},
        {L"C:\\host.exe", L"C:"},
        {L"C:\\Kit\\", L"C:\\Kit"},
        {L"\\\\server\\share\\host.exe", L"\\\\server\\share"},
        {L"", L""},
        {L"C:\\", L""},
        {L"a\\b", L""},  // three characters, whatever they are
        {L"ab\\c", L"ab"},  // four is enough
        {L"host.exe", L""},
        {L"\\host.exe", L""},  // the only separator is the first character
    };
    for (const auto& [path, directory] : cases) EXPECT_EQ(directoryPart(path), directory) << narrow(path);
}

TEST(DirectoryPart, HostExecutableDirectoryHoldsThisProgram) {
    const std::wstring directory = zol::host_utils::hostExecutableDirectory();
    ASSERT_FALSE(directory.empty());
    EXPECT_NE(directory.back(), L'\\');
    EXPECT_NE(GetFileAttributesW((directory + L"\\test_host_utils.exe").c_str()), INVALID_FILE_ATTRIBUTES);
}

class ProcessControl : public ::testing::Test {
protected:
    void TearDown() override { endChildren(children); }

    // A probe copy with a name no other process has, started with this test as its parent.
    std::wstring lingeringProbes(int count, const std::wstring& exeName = L"") {
        const std::wstring name = exeName.empty() ? uniqueName(L"zolprobe") + L".exe" : exeName;
        const std::wstring path = probes.addProbe(name);
        ScopedEnvironment linger(L"ZOL_PROBE_LINGER_MS", L"20000");
        for (int i = 0; i < count; ++i) children.push_back(startChild(path));
        return name;
    }

    ProbeDirectory probes;
    std::vector<Child> children;
};

TEST_F(ProcessControl, StartTaskQuotesThePathAndPassesArgumentsAndWindowState) {
    // Unquoted, "...\tool dir\probe tool.exe" would start the decoy "...\tool.exe" with the
    // rest as its arguments. (Wine re-quotes the command line of the program it settles on, so
    // the decoy, not the recorded quotes, is what tells a missing quote.)
    probes.addProbe(L"tool.exe");
    const std::wstring directory = probes.addSubdirectory(L"tool dir");
    const std::wstring exe = L"probe tool.exe";
    const std::wstring program = probes.addProbe(L"tool dir\\" + exe);
    const std::wstring recordPath = probes.recordPath(L"arguments");
    ScopedEnvironment record(L"ZOL_PROBE_RECORD", recordPath);

    _start_task(exe.c_str(), L"-x \"two words\" C:\\some dir\\file.txt", SW_SHOWMINNOACTIVE, directory.c_str());

    ProbeRecord seen = readRecord(recordPath);
    ASSERT_FALSE(seen.empty()) << "the program did not start";
    EXPECT_EQ(seen[L"commandLine"], L"\"" + program + L"\" -x \"two words\" C:\\some dir\\file.txt");
    EXPECT_EQ(seen[L"module"], program);
    EXPECT_EQ(seen[L"directory"], currentDirectory()) << "the caller's current directory, not the program's";
    EXPECT_TRUE(std::stoul(seen[L"startFlags"]) & STARTF_USESHOWWINDOW);
    EXPECT_EQ(seen[L"showWindow"], std::to_wstring(SW_SHOWMINNOACTIVE));

    // Without arguments the command line ends at the closing quote.
    const std::wstring bare = probes.addProbe(L"bare.exe");
    const std::wstring bareRecord = probes.recordPath(L"no-arguments");
    ScopedEnvironment recordBare(L"ZOL_PROBE_RECORD", bareRecord);
    _start_task(L"bare.exe", nullptr, SW_HIDE, probes.path().c_str());
    seen = readRecord(bareRecord);
    ASSERT_FALSE(seen.empty()) << "the program did not start";
    EXPECT_EQ(seen[L"commandLine"], L"\"" + bare + L"\"");
    EXPECT_EQ(seen[L"showWindow"], std::to_wstring(SW_HIDE));
}


TEST_F(ProcessControl, FailedStartWritesOneLineToStandardOutput) {
    const std::wstring notAProgram = probes.path() + L"\\text.exe";
    if (FILE* file = _wfopen(notAProgram.c_str(), L"wb")) {
        std::fputs("not a program", file);
        std::fclose(file);
    }
    const struct {
        const wchar_t* name;
        DWORD error;
    } rows[] = {{L"absent.exe", ERROR_FILE_NOT_FOUND}, {L"text.exe", ERROR_BAD_EXE_FORMAT}};
    for (const auto& row : rows) {
        StandardOutputCapture capture;
        _start_task(row.name, L"-x", SW_HIDE, probes.path().c_str());
        const std::string output = capture.finish();
        const std::wstring text = zol::common::systemErrorText(row.error);
        ASSERT_FALSE(text.empty()) << row.error;
        EXPECT_EQ(output, "failed start " + narrow(probes.path() + L"\\" + row.name) + ",err=" + narrow(text) + "\r\n");
    }
}

TEST_F(ProcessControl, BadProgramNamesFailWithTheirMessageAndNoCrash) {
    const std::wstring tooLong(MAX_PATH + 40, L'n');
    StandardOutputCapture capture;
    _start_task(nullptr, nullptr, SW_HIDE, probes.path().c_str());
    _start_task(L"", nullptr, SW_HIDE, probes.path().c_str());
    _start_task(tooLong.c_str(), nullptr, SW_HIDE, probes.path().c_str());
    const std::string output = capture.finish();
    const std::string directory = narrow(probes.path());
    EXPECT_EQ(output.find("failed start " + directory + "\\,err="), 0u) << output;
    EXPECT_NE(output.find("failed start " + directory + "\\" + narrow(tooLong) + ",err="), std::string::npos)
        << output;
    // One line per call, each complete.
    size_t lines = 0;
    for (size_t at = output.find("\r\n"); at != std::string::npos; at = output.find("\r\n", at + 2)) ++lines;
    EXPECT_EQ(lines, 3u) << output;
}

TEST_F(ProcessControl, IsTaskRunningFindsTheNameInAnyCase) {
    const std::wstring name = lingeringProbes(1);
    EXPECT_EQ(_is_task_running(name.c_str()), 1);
    EXPECT_EQ(_is_task_running(upper(name).c_str()), 1);
    EXPECT_EQ(_is_task_running((name + L"x").c_str()), 0);
    EXPECT_EQ(_is_task_running(name.substr(0, name.size() - 4).c_str()), 0) << "the name includes .exe";
    EXPECT_EQ(_is_task_running(L"ZolNoSuchProgram.exe"), 0);
}

TEST_F(ProcessControl, BadNamesMatchNothingAndEndNothing) {
    const std::wstring name = lingeringProbes(1);
    const std::wstring tooLong = std::wstring(MAX_PATH * 2, L'z') + name;
    EXPECT_EQ(_is_task_running(nullptr), 0);
    EXPECT_EQ(_is_task_running(L""), 0);
    EXPECT_EQ(_is_task_running(tooLong.c_str()), 0);
    _kill_task(nullptr);
    _kill_task(L"");
    _kill_task(tooLong.c_str());
    _kill_task(L"ZolNoSuchProgram.exe");
    EXPECT_TRUE(isRunning(children[0]));
}

TEST_F(ProcessControl, KillTaskEndsEveryProcessOfTheNameWithMinusTen) {
    const std::wstring name = lingeringProbes(2);
    const std::wstring bystander = lingeringProbes(1);
    ASSERT_EQ(countProcesses(name.c_str()), 2u);

    _kill_task(upper(name).c_str());

    EXPECT_EQ(exitCodeAfter(children[0], 5000), kTerminatedExitCode);
    EXPECT_EQ(exitCodeAfter(children[1], 5000), kTerminatedExitCode);
    EXPECT_TRUE(isRunning(children[2])) << "a process of another name was ended";
    EXPECT_EQ(_is_task_running(name.c_str()), 0);
    EXPECT_EQ(_is_task_running(bystander.c_str()), 1);
}


// The removal path's loop on "audiodg.exe", the audio engine's name.
TEST_F(ProcessControl, TerminationLoopEndsEveryAudioEngineProcess) {
    ASSERT_EQ(countProcesses(L"audiodg.exe"), 0u) << "an audio engine process runs in the test prefix";
    lingeringProbes(3, L"audiodg.exe");
    EXPECT_EQ(countProcesses(L"AudioDG.exe"), 3u);

    const DWORD start = GetTickCount();
    EXPECT_EQ(zol::host_utils::terminateUntilGone(L"audiodg.exe"), 1);
    EXPECT_GE(GetTickCount() - start, 290u) << "one wait of 300 ms after the first attempt";

    EXPECT_EQ(countProcesses(L"audiodg.exe"), 0u);
    for (const Child& child : children) EXPECT_EQ(exitCodeAfter(child, 1000), kTerminatedExitCode);
}

TEST_F(ProcessControl, TerminationLoopWithNothingRunningMakesOneAttempt) {
    const DWORD start = GetTickCount();
    EXPECT_EQ(zol::host_utils::terminateUntilGone(L"audiodg.exe"), 1);
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, 290u);
    EXPECT_LT(elapsed, 1000u);
}

// A process that refuses PROCESS_TERMINATE is skipped by _kill_task, and the termination loop
// gives up on it after five attempts.
TEST_F(ProcessControl, ProcessesThatCannotBeOpenedAreSkipped) {
    const std::wstring guarded = probes.addProbe(L"audiodg.exe");
    const std::wstring path = probes.addProbe(L"zolguarded.exe");
    ScopedEnvironment linger(L"ZOL_PROBE_LINGER_MS", L"20000");
    children.push_back(startChild(guarded, true));
    children.push_back(startChild(path));
    HANDLE probe = OpenProcess(PROCESS_TERMINATE, FALSE, children[0].id);
    if (probe != nullptr) {
        CloseHandle(probe);
        // Wine keeps a process's security descriptor but grants an administrator every open.
        GTEST_SKIP() << "Wine opens a process for termination whatever its security descriptor says";
    }
    _kill_task(L"audiodg.exe");
    _kill_task(L"zolguarded.exe");
    EXPECT_EQ(exitCodeAfter(children[1], 5000), kTerminatedExitCode);
    EXPECT_TRUE(isRunning(children[0]));
    EXPECT_EQ(zol::host_utils::terminateUntilGone(L"audiodg.exe", 5, 20), 5);
    EXPECT_TRUE(isRunning(children[0]));
}

// "InstallPath" under the product key, as the test found it, restored afterwards.
class StartFromInstallPath : public ProcessControl {
protected:
    void SetUp() override {
        keyExisted = rawKeyExists(kProductKey);
        valueExisted = keyExisted && rawGetValue(kProductKey, L"InstallPath", &savedType, &savedValue);
    }
    void TearDown() override {
        ProcessControl::TearDown();
        if (valueExisted) {
            rawSetValue(kProductKey, L"InstallPath", savedType, savedValue.data(), static_cast<DWORD>(savedValue.size()));
        } else {
            removeInstallPath();
            if (!keyExisted) rawDeleteTree(kProductKey);
        }
    }
    void setInstallPath(const std::wstring& directory) {
        rawSetText(kProductKey, L"InstallPath", directory);
    }
    static void removeInstallPath() { rawDeleteValue(kProductKey, L"InstallPath"); }

    bool keyExisted = false;
    bool valueExisted = false;
    DWORD savedType = 0;
    std::string savedValue;
};

TEST_F(StartFromInstallPath, NullOrEmptyDirectoryMeansTheInstallDirectory) {
    const std::wstring program = probes.addProbe(L"installed tool.exe");
    setInstallPath(probes.path());
    for (const wchar_t* directory : {static_cast<const wchar_t*>(nullptr), L""}) {
        const std::wstring recordPath = probes.recordPath(directory ? L"empty" : L"null");
        ScopedEnvironment record(L"ZOL_PROBE_RECORD", recordPath);
        _start_task(L"installed tool.exe", L"--from-install-path", SW_SHOWNORMAL, directory);
        ProbeRecord seen = readRecord(recordPath);
        ASSERT_FALSE(seen.empty()) << "the program did not start";
        EXPECT_EQ(seen[L"commandLine"], L"\"" + program + L"\" --from-install-path");
    }
}

TEST_F(StartFromInstallPath, MissingInstallPathRaisesTheRegistryError) {
    const std::wstring prefix = L"Error while reading registry value " + kProductKey + L"\\InstallPath: ";
    probes.addProbe(L"tool.exe");
    const std::wstring recordPath = probes.recordPath(L"must-not-start");
    ScopedEnvironment record(L"ZOL_PROBE_RECORD", recordPath);

    // The host sees the exception through the DLL's export just as the library raises it.
    zol::unique_module library(LoadLibraryW(L"zol_ecd_api.dll"));
    ASSERT_TRUE(library);
    using StartTask = void (*)(const wchar_t*, const wchar_t*, int, const wchar_t*);
    const auto exported = reinterpret_cast<StartTask>(reinterpret_cast<void*>(GetProcAddress(library.get(), "_start_task")));
    ASSERT_NE(exported, nullptr);
    // A MinGW host asks the DLL for the GCC format of registry failures.
    using SetFormat = int (*)(int);
    const auto setFormat = reinterpret_cast<SetFormat>(
        reinterpret_cast<void*>(GetProcAddress(library.get(), "_SetRegistryExceptionFormat")));
    ASSERT_TRUE(setFormat && setFormat(ZOL_REGISTRY_EXCEPTION_GCC) == 1);

    rawCreateKey(kProductKey);  // the key without the value, then no key at all
    removeInstallPath();
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round == 0 ? "value missing" : "key missing");
        for (StartTask startTask : {&_start_task, exported}) {
            StandardOutputCapture capture;
            try {
                startTask(L"tool.exe", nullptr, SW_HIDE, nullptr);
                ADD_FAILURE() << "no RegistryException";
            } catch (const zol::registry::RegistryException& error) {
                EXPECT_EQ(error.message().rfind(prefix, 0), 0u) << narrow(error.message());
                EXPECT_GT(error.message().size(), prefix.size()) << "the system's text follows";
            }
            EXPECT_EQ(capture.finish(), "") << "a registry failure is not a failed start";
        }
        if (round == 0 && !keyExisted) rawDeleteTree(kProductKey);
        if (round == 0 && keyExisted) break;  // the product key belongs to someone: do not delete it
    }
    EXPECT_TRUE(readRecord(recordPath, 300).empty()) << "something was started";
}

}  // namespace
