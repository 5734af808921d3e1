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

// Each failed start is one line on standard output, naming the path and the system's reason.
TEST_F(ProcessControl, FailedStartWritesOneLineToStandardOutput) {
    if (FILE* file = _wfopen((probes.path() + L"\\text.exe").c_str(), L"wb")) {
        std::fputs("not a program", file);
        std::fclose(file);
    }
    const std::wstring tooLong(MAX_PATH + 40, L'n');
    const struct {
        const wchar_t* name;
        DWORD error;  // 0: any reason
    } rows[] = {{L"absent.exe", ERROR_FILE_NOT_FOUND}, {L"text.exe", ERROR_BAD_EXE_FORMAT}, {nullptr, 0}, {L"", 0},
                {tooLong.c_str(), 0}};
    for (const auto& row : rows) {
        StandardOutputCapture capture;
        _start_task(row.name, L"-x", SW_HIDE, probes.path().c_str());
        const std::string output = capture.finish();
        const std::string head = "failed start " + narrow(probes.path() + L"\\" + (row.name ? row.name : L"")) + ",err=";
        if (row.error) EXPECT_EQ(output, head + narrow(zol::common::systemErrorText(row.error)) + "\r\n");
        EXPECT_EQ(output.rfind(head, 0), 0u) << output;
        EXPECT_EQ(output.find("\r\n"), output.size() - 2) << "one line: " << output;
    }
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
    zol::common::unique_module library(LoadLibraryW(L"zol_ecd_api.dll"));
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
