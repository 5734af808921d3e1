// zolctl install / uninstall on the SIMULATED headset's endpoints, with the stand-in audio
// service and effect library: what changed is reported per endpoint, and the round trip leaves
// the endpoints as they were.
#include <windows.h>

#include <gtest/gtest.h>

#include "common/product_key.h"
#include "registry/registry.h"
#include "support/scratch_key.h"
#include "support/standin_effect_library.h"
#include "support/standin_services.h"
#include "zolctl_process.h"

namespace {

using zol::test::runProgram;
using zol::test::runZolctl;

const std::string kRender = "{5eed0001-0a1b-4c20-8000-53494d554c41}";
const std::string kCapture = "{5eed0002-0a1b-4c20-8000-53494d554c41}";

// One endpoint's object of "zolctl --json status" (it ends at the first "}}" after fxProperties).
std::string endpointObject(const std::string& json, const std::string& id) {
    const size_t at = json.find("{\"id\":\"" + id + "\"");
    if (at == std::string::npos) return {};
    const size_t fx = json.find("\"fxProperties\":", at);
    const size_t end = json.compare(fx + 15, 4, "null") == 0 ? fx + 20 : json.find("}}", fx) + 2;
    return json.substr(at, end - at);
}

class ZolctlInstall : public ::testing::Test {
protected:
    void SetUp() override {
        if (!hasExport("init") || !hasExport("unInit")) GTEST_SKIP() << "this build exports no init/unInit";
        keyExisted_ = zol::test::rawKeyExists(zol::kProductKey);
        ASSERT_EQ(runProgram(L"seed_endpoints.exe", L"add").exitCode, 0u);
        audio_ = std::make_unique<zol::test::StandInService>(zol::test::StandInServiceOptions{L"AudioSrv", {}, journal_.path()});
        audio_->start();
    }
    void TearDown() override {
        if (!audio_) return;
        runProgram(L"seed_endpoints.exe", L"remove");
        audio_.reset();
        zol::test::removeEffectClasses();
        if (!keyExisted_) zol::test::rawDeleteTree(zol::kProductKey);
    }
    static bool hasExport(const char* name) {
        HMODULE dll = LoadLibraryW(L"zol_ecd_api.dll");
        const bool found = dll && GetProcAddress(dll, name);
        if (dll) FreeLibrary(dll);
        return found;
    }
    zol::test::EventJournal journal_;
    std::unique_ptr<zol::test::StandInService> audio_;
    bool keyExisted_ = false;
};

TEST_F(ZolctlInstall, RoundTripReportsChangesAndRestoresTheEndpoints) {
    const auto before = runZolctl(L"--json status");
    ASSERT_EQ(before.exitCode, 0u) << before.err;

    const auto install = runZolctl(L"--json install");
    ASSERT_EQ(install.exitCode, 0u) << install.err;
    EXPECT_EQ(install.out.rfind("{\"command\":\"init\",\"result\":0,", 0), 0u) << install.out;
    EXPECT_NE(install.out.find("{\"id\":\"" + kRender + "\",\"flow\":\"render\",\"name\":\"Headset Earphone (SIMULATED)\","
                               "\"changes\":[\"effect installed\""),
              std::string::npos)
        << install.out;
    EXPECT_NE(install.out.find("{\"id\":\"" + kCapture + "\",\"flow\":\"capture\",\"name\":\"Headset Microphone (SIMULATED)\","
                               "\"changes\":[\"effect installed\""),
              std::string::npos)
        << install.out;

    const auto during = runZolctl(L"--json status");
    const std::string render = endpointObject(during.out, kRender);
    EXPECT_NE(render.find("\"supported\":true,\"installed\":true"), std::string::npos) << render;
    EXPECT_NE(render.find("\"savedEffects\":{\"pre-mix\":\"!VALUE\",\"post-mix\":\"!VALUE\","
                          "\"stream\":\"{5eedfeed-0000-4000-8000-53494d554c41}\""),
              std::string::npos)
        << render;
    EXPECT_NE(during.out.find("\"productKey\":{\"exists\":true,\"values\":{\"InstallPath\":\"\\\""), std::string::npos)
        << during.out;

    const auto uninstall = runZolctl(L"--json uninstall");
    ASSERT_EQ(uninstall.exitCode, 0u) << uninstall.err;
    EXPECT_EQ(uninstall.out.rfind("{\"command\":\"unInit\",\"result\":1,", 0), 0u) << uninstall.out;
    EXPECT_NE(uninstall.out.find("\"changes\":[\"effect removed\""), std::string::npos) << uninstall.out;

    const auto after = runZolctl(L"--json status");
    for (const std::string& id : {kRender, kCapture}) {
        EXPECT_FALSE(endpointObject(before.out, id).empty());
        EXPECT_EQ(endpointObject(after.out, id), endpointObject(before.out, id));
    }
}

TEST_F(ZolctlInstall, UnregisterFailureIsExitOneAndKeepsTheEffect) {
    ASSERT_EQ(runZolctl(L"install").exitCode, 0u);
    {
        zol::test::EffectLibraryFailure failure(L"unregister");
        const auto run = runZolctl(L"uninstall");
        EXPECT_EQ(run.exitCode, 1u);
        EXPECT_EQ(run.err.rfind("zolctl: unInit returned -3", 0), 0u) << run.err;
    }
    EXPECT_NE(endpointObject(runZolctl(L"--json status").out, kRender).find("\"installed\":true"), std::string::npos);
    EXPECT_EQ(runZolctl(L"uninstall").exitCode, 0u);
}

TEST_F(ZolctlInstall, WithoutAnAudioServiceNothingIsTouched) {
    audio_.reset();
    const auto before = runZolctl(L"--json status");
    const auto run = runZolctl(L"install");
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(run.err.rfind("zolctl: the Windows audio service (AudioSrv) is not there to restart", 0), 0u) << run.err;
    EXPECT_EQ(endpointObject(runZolctl(L"--json status").out, kRender), endpointObject(before.out, kRender));
    audio_ = std::make_unique<zol::test::StandInService>(zol::test::StandInServiceOptions{L"AudioSrv", {}, journal_.path()});
}

}  // namespace
