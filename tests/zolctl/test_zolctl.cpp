// zolctl as a script sees it: what each command family prints, one error line, the exit code.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <optional>

#include "cli.h"
#include "common/product_key.h"
#include "common/unique_handle.h"
#include "support/core_audio_standin.h"
#include "support/scratch_key.h"
#include "support/standin_effect_library.h"
#include "support/standin_services.h"

namespace {

using zol::common::unique_kernel_handle;

struct Outcome { DWORD code = 99; std::string out, err; };

// Runs a program beside the test program to its end, its output and errors in two files;
// `meanwhile` acts while it runs.
Outcome run(std::wstring commandLine, const std::function<void(HANDLE)>& meanwhile = {}) {
    static int serial = 0;
    const std::wstring names[] = {L"zolctl_test.out" + std::to_wstring(++serial), L"zolctl_test.err" + std::to_wstring(serial)};
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    zol::common::unique_file_handle files[2];
    for (int i = 0; i < 2; ++i)
        files[i].reset(CreateFileW(names[i].c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr));
    STARTUPINFOW startup{sizeof startup};
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = files[0].get();
    startup.hStdError = files[1].get();
    PROCESS_INFORMATION info{};
    Outcome result;
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info))
        return ADD_FAILURE() << "cannot start " << zol::test::narrow(commandLine), result;
    const unique_kernel_handle process(info.hProcess), thread(info.hThread);
    if (meanwhile) meanwhile(process.get());
    if (WaitForSingleObject(process.get(), 60000) != WAIT_OBJECT_0) {
        ADD_FAILURE() << zol::test::narrow(commandLine) << " did not finish";
        TerminateProcess(process.get(), 99);
        WaitForSingleObject(process.get(), 10000);
    }
    GetExitCodeProcess(process.get(), &result.code);
    for (int i = 0; i < 2; ++i) {
        files[i].reset();
        std::ifstream file(zol::test::narrow(names[i]), std::ios::binary);
        (i ? result.err : result.out).assign(std::istreambuf_iterator<char>(file), {});
        file.close();
        DeleteFileW(names[i].c_str());
    }
    return result;
}

Outcome zolctl(const std::wstring& args, const std::function<void(HANDLE)>& meanwhile = {}) {
    return run(L"zolctl.exe " + args, meanwhile);
}

// On the SIMULATED headset's endpoints, with the stand-in audio service and effect library, from
// no product key; the rows build on each other.
TEST(Zolctl, EveryCommandFamily) {
    zol::test::rawDeleteTree(zol::common::kProductKey);
    ASSERT_EQ(run(L"seed_endpoints.exe add").code, 0u);
    zol::test::EventJournal journal;
    auto audio = std::make_unique<zol::test::StandInService>(zol::test::StandInServiceOptions{L"AudioSrv", {}, journal.path()});
    audio->start();
    std::ofstream(L"zolctl_fw.bin", std::ios::binary) << std::string(130, '\x5A');  // two full blocks and a partial one
    // `shows`: in the output, or the start of a failure's one error line. `coreAudio`: the stand-in
    // endpoints (Wine's own refuse volume changes).
    const struct { const wchar_t* args; DWORD code; const char* shows; bool coreAudio = false; } rows[] = {
        {L"eq set --help", 0, "usage: zolctl [--json] [--dll PATH] eq set"},
        {L"frobnicate", 2, "zolctl: "},
        {L"volume render 101", 2, "zolctl: "},
        {L"mute render maybe", 2, "zolctl: "},
        {L"--dll no_such_library.dll volume", 3, "zolctl: cannot load no_such_library.dll"},
        {L"--json volume render 400", 2, "{\"error\":\"the volume must be between 0 and 100, not 400\",\"exitCode\":2}"},
        {L"eq show", 4, "zolctl: registry: "},
        {L"status", 0, "ZolSoundKit USB headset (SIMULATED), hardware id USB\\VID_0A1B&PID_00C2&MI_00\\7&SIMULATED&0&0000\n"
                       "      supported headset: YES   effect installed: no"},
        {L"--json install", 0, "\"flow\":\"capture\",\"name\":\"Headset Microphone (SIMULATED)\",\"changes\":[\"effect installed\""},
        {L"eq set 1k=6 4k=-3 30Hz=+2", 0, ""},
        {L"eq set 4k=1 11=3", 2, "zolctl: "},  // nothing of a refused request is applied
        {L"eq show", 0, "   8       4000      2685  1.49      -3.0\n"},
        {L"--json eq show --coefficients", 0, "{\"band\":6,\"centreHz\":1000,\"bandwidthHz\":670,\"q\":1.49254,\"gainDb\":6,\"coefficients\":{\"a1\":-1.923"},
        {L"--json eq show --section", 0, "\"section\":{\"present\":true,\"payloadSize\":8184,\"controlMatchesRecord\":true,\"effectMatchesRecord\":true,"},
        {L"eq plot --out zolctl_test_plot.svg", 0, "wrote zolctl_test_plot.svg (response peak +5.9 dB at 999 Hz)"},
        {L"volume render 30", 0, "render volume: 30 %\n", true},
        {L"--json mute capture on", 0, "{\"flow\":\"capture\",\"muted\":true}\n", true},
        {L"--json --dll zol_ecd_api_sim.dll devices", 0, "{\"attached\":1,\"getDeviceCount\":1,"},
        {L"fw update zolctl_fw.bin", 1, "zolctl: fw update: no supported headset is attached"},
        {L"--json --dll zol_ecd_api_sim.dll fw update zolctl_fw.bin", 0,
         "\"result\":0,\"succeeded\":true,\"outcome\":\"firmware updated, the device reported status 0\""},
        {L"--dll zol_ecd_api_sim.dll fw update zolctl_fw.bin --simulated-status 3", 1,
         "zolctl: fw update: the device reported status 3 (update not accepted)"},
        {L"--json uninstall", 0, "{\"command\":\"unInit\",\"result\":1,"},
        {L"install", 1, "zolctl: the Windows audio service (AudioSrv) is not there to restart"},  // with the service gone
    };
    std::optional<zol::test::CoreAudioStandin> coreAudio;
    for (const auto& r : rows) {
        if (r.code == 1 && std::wstring(r.args) == L"install") audio.reset();
        if (!r.coreAudio) coreAudio.reset();
        else if (!coreAudio) coreAudio.emplace();
        const Outcome result = zolctl(r.args);
        const std::string args = zol::test::narrow(r.args);
        EXPECT_EQ(result.code, r.code) << args << "\n" << result.err;
        const std::string& text = r.code && args.rfind("--json", 0) != 0 ? result.err : result.out;
        EXPECT_NE(text.find(r.shows), std::string::npos) << args << ": " << text;
        if (r.code) EXPECT_EQ(text.rfind(r.shows, 0) == 0 && text.find('\n') == text.size() - 1, true) << args << ": " << text;
    }
    EXPECT_TRUE(DeleteFileW(L"zolctl_test_plot.svg"));
    DeleteFileW(L"zolctl_fw.bin");
    run(L"seed_endpoints.exe remove");
    zol::test::removeEffectClasses();
    zol::test::rawDeleteTree(zol::common::kProductKey);
}

TEST(Zolctl, LogShowsTheLibrarysMessagesAndOwnsTheChannel) {
    const zol::common::unique_module dll(LoadLibraryW(L"zol_ecd_api.dll"));
    auto dbgw = reinterpret_cast<void(__cdecl*)(const wchar_t*, ...)>(GetProcAddress(dll.get(), "?_dbgw@@YAXPEB_WZZ"));
    ASSERT_NE(dbgw, nullptr);
    Outcome second;
    const Outcome viewer = zolctl(L"log --json --count 2 --grep zolctl-log --for 60", [&](HANDLE process) {
        while (!unique_kernel_handle(OpenEventW(SYNCHRONIZE, FALSE, L"DBWIN_BUFFER_READY")) &&
               WaitForSingleObject(process, 20) == WAIT_TIMEOUT) {
        }
        second = zolctl(L"log --for 1");
        for (int i = 0; i < 300 && WaitForSingleObject(process, 100) == WAIT_TIMEOUT; ++i) {
            dbgw(L"[brisol]:something else");
            dbgw(L"[brisol]:%S", "zolctl-log \"two\"");
        }
    });
    EXPECT_EQ(second.code, 1u);
    EXPECT_EQ(second.err.rfind("zolctl: another debug-output viewer owns the debugger channel", 0), 0u) << second.err;
    EXPECT_EQ(viewer.code, 0u) << viewer.err;
    const std::string line = "\"pid\":" + std::to_string(GetCurrentProcessId()) + ",\"text\":\"[brisol]:zolctl-log \\\"two\\\"\"}\n";
    EXPECT_EQ(viewer.out.rfind("{\"time\":\"", 0), 0u) << viewer.out;
    EXPECT_NE(viewer.out.find(line), std::string::npos) << viewer.out;
    EXPECT_EQ(viewer.out.find("something else"), std::string::npos) << viewer.out;
}

TEST(Zolctl, JsonEscapesAndKeepsOrder) {
    const auto j = zolctl::Json::object().set("b", 1).set("a", "q\"\\\n\x01").set("list", zolctl::Json::array().push(true).push(nullptr).push(0.5));
    EXPECT_EQ(j.dump(), "{\"b\":1,\"a\":\"q\\\"\\\\\\n\\u0001\",\"list\":[true,null,0.5]}");
}

}  // namespace
