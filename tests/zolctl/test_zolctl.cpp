// zolctl as a script sees it: what each command family prints, one error line, the exit code.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <future>
#include <iterator>
#include <optional>

#include "common/product_key.h"
#include "common/unique_handle.h"
#include "support/core_audio_standin.h"
#include "support/scratch_key.h"
#include "support/standin_effect_library.h"
#include "support/standin_services.h"

namespace {

using zol::common::unique_kernel_handle;

struct Outcome { int code; std::string out, err; };

// Runs a program beside the test program through the command interpreter, as a script would.
Outcome run(const std::string& commandLine) {
    static std::atomic<int> serial{0};
    const int n = ++serial;  // the live log runs two at once
    const std::string out = "zolctl_test.out" + std::to_string(n), err = "zolctl_test.err" + std::to_string(n);
    Outcome result{_wsystem(zol::test::widen(commandLine + " >" + out + " 2>" + err).c_str())};
    for (const std::string& name : {out, err}) {
        std::ifstream file(name, std::ios::binary);
        (name == out ? result.out : result.err).assign(std::istreambuf_iterator<char>(file), {});
        file.close();
        DeleteFileA(name.c_str());
    }
    return result;
}

Outcome zolctl(const std::string& args) { return run("zolctl.exe " + args); }

// On the SIMULATED headset's endpoints, with the stand-in audio service and effect library, from
// no product key; the rows build on each other.
TEST(Zolctl, EveryCommandFamily) {
    zol::test::rawDeleteTree(zol::common::kProductKey);
    ASSERT_EQ(run("seed_endpoints.exe add").code, 0);
    zol::test::EventJournal journal;
    auto audio = std::make_unique<zol::test::StandInService>(zol::test::StandInServiceOptions{L"AudioSrv", {}, journal.path()});
    audio->start();
    std::ofstream(L"zolctl_fw.bin", std::ios::binary) << std::string(130, '\x5A');  // two full blocks and a partial one
    // `shows`: in the output, or the start of a failure's one error line. `coreAudio`: the stand-in
    // endpoints (Wine's own refuse volume changes).
    const struct { const char* args; int code; const char* shows; bool coreAudio = false; } rows[] = {
        {"eq set --help", 0, "usage: zolctl [--json] [--dll PATH] eq set"},
        {"frobnicate", 2, "zolctl: "},
        {"volume render 101", 2, "zolctl: "},
        {"--dll no_such_library.dll volume", 3, "zolctl: cannot load no_such_library.dll"},
        {"--json volume render 400", 2, "{\"error\":\"the volume must be between 0 and 100, not 400\",\"exitCode\":2}"},
        {"eq show", 4, "zolctl: registry: "},
        {"status", 0, "ZolSoundKit USB headset (SIMULATED), hardware id USB\\VID_0A1B&PID_00C2&MI_00\\7&SIMULATED&0&0000\n"
                       "      supported headset: YES   effect installed: no"},
        {"--json install", 0, "\"flow\":\"capture\",\"name\":\"Headset Microphone (SIMULATED)\",\"changes\":[\"effect installed\""},
        {"eq set 1k=6 4k=-3 30Hz=+2", 0, ""},
        {"eq set 4k=1 11=3", 2, "zolctl: "},  // nothing of a refused request is applied
        {"eq show", 0, "   8       4000      2685  1.49      -3.0\n"},
        {"--json eq show --coefficients", 0, "{\"band\":6,\"centreHz\":1000,\"bandwidthHz\":670,\"q\":1.49254,\"gainDb\":6,\"coefficients\":{\"a1\":-1.923"},
        {"--json eq show --section", 0, "\"section\":{\"present\":true,\"payloadSize\":8184,\"controlMatchesRecord\":true,\"effectMatchesRecord\":true,"},
        {"eq plot --out zolctl_test_plot.svg", 0, "wrote zolctl_test_plot.svg (response peak +5.9 dB at 999 Hz)"},
        {"volume render 30", 0, "render volume: 30 %\n", true},
        {"--json mute capture on", 0, "{\"flow\":\"capture\",\"muted\":true}\n", true},
        {"--json --dll zol_ecd_api_sim.dll devices", 0, "{\"attached\":1,\"getDeviceCount\":1,"},
        {"fw update zolctl_fw.bin", 1, "zolctl: fw update: no supported headset is attached"},
        {"--json --dll zol_ecd_api_sim.dll fw update zolctl_fw.bin", 0,
         "\"result\":0,\"succeeded\":true,\"outcome\":\"firmware updated, the device reported status 0\""},
        {"--dll zol_ecd_api_sim.dll fw update zolctl_fw.bin --simulated-status 3", 1,
         "zolctl: fw update: the device reported status 3 (update not accepted)"},
        {"--json uninstall", 0, "{\"command\":\"unInit\",\"result\":1,"},
        {"install", 1, "zolctl: the Windows audio service (AudioSrv) is not there to restart"},  // with the service gone
    };
    std::optional<zol::test::CoreAudioStandin> coreAudio;
    for (const auto& r : rows) {
        if (r.code == 1 && std::string(r.args) == "install") audio.reset();
        if (!r.coreAudio) coreAudio.reset();
        else if (!coreAudio) coreAudio.emplace();
        const Outcome result = zolctl(r.args);
        const std::string args = r.args;
        EXPECT_EQ(result.code, r.code) << args << "\n" << result.err;
        const std::string& text = r.code && args.rfind("--json", 0) != 0 ? result.err : result.out;
        EXPECT_NE(text.find(r.shows), std::string::npos) << args << ": " << text;
        if (r.code) EXPECT_TRUE(text.rfind(r.shows, 0) == 0 && text.find('\n') == text.size() - 1) << args << ": " << text;
    }
    EXPECT_TRUE(DeleteFileW(L"zolctl_test_plot.svg"));
    DeleteFileW(L"zolctl_fw.bin");
    run("seed_endpoints.exe remove");
    zol::test::removeEffectClasses();
    zol::test::rawDeleteTree(zol::common::kProductKey);
}

TEST(Zolctl, LogShowsTheLibrarysMessagesAndOwnsTheChannel) {
    const zol::common::unique_module dll(LoadLibraryW(L"zol_ecd_api.dll"));
    auto dbgw = reinterpret_cast<void(__cdecl*)(const wchar_t*, ...)>(GetProcAddress(dll.get(), "?_dbgw@@YAXPEB_WZZ"));
    ASSERT_NE(dbgw, nullptr);
    auto viewer = std::async(std::launch::async, [] { return zolctl("log --json --count 2 --grep zolctl-log --for 60"); });
    const auto running = [&](int ms) { return viewer.wait_for(std::chrono::milliseconds(ms)) == std::future_status::timeout; };
    while (!unique_kernel_handle(OpenEventW(SYNCHRONIZE, FALSE, L"DBWIN_BUFFER_READY")) && running(20)) {
    }
    const Outcome second = zolctl("log --for 1");
    EXPECT_EQ(second.code, 1);
    EXPECT_EQ(second.err.rfind("zolctl: another debug-output viewer owns the debugger channel", 0), 0u) << second.err;
    for (int i = 0; i < 300 && running(100); ++i) {
        dbgw(L"[brisol]:something else");
        dbgw(L"[brisol]:%S", "zolctl-log \"two\"");
    }
    const Outcome shown = viewer.get();
    EXPECT_EQ(shown.code, 0) << shown.err;
    const std::string line = "\"pid\":" + std::to_string(GetCurrentProcessId()) + ",\"text\":\"[brisol]:zolctl-log \\\"two\\\"\"}\n";
    EXPECT_EQ(shown.out.rfind("{\"time\":\"", 0), 0u) << shown.out;
    EXPECT_NE(shown.out.find(line), std::string::npos) << shown.out;
    EXPECT_EQ(shown.out.find("something else"), std::string::npos) << shown.out;
}

}  // namespace
