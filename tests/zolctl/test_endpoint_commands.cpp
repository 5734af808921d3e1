// status, install and uninstall on the SIMULATED headset's endpoints, with the stand-in audio
// service and effect library: what zolctl reports, and its exit codes.
#include <windows.h>

#include <gtest/gtest.h>

#include "common/product_key.h"
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

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class ZolctlEndpoints : public ::testing::Test {
protected:
    void SetUp() override {
        keyExisted_ = zol::test::rawKeyExists(zol::common::kProductKey);
        ASSERT_EQ(runProgram(L"seed_endpoints.exe", L"add").exitCode, 0u);
        startAudioService();
    }
    void TearDown() override {
        runProgram(L"seed_endpoints.exe", L"remove");
        audio_.reset();
        zol::test::removeEffectClasses();
        if (!keyExisted_) zol::test::rawDeleteTree(zol::common::kProductKey);
    }
    void startAudioService() {
        audio_ = std::make_unique<zol::test::StandInService>(zol::test::StandInServiceOptions{L"AudioSrv", {}, journal_.path()});
        audio_->start();
    }
    zol::test::EventJournal journal_;
    std::unique_ptr<zol::test::StandInService> audio_;
    bool keyExisted_ = false;
};

TEST_F(ZolctlEndpoints, StatusInstallAndUninstallReportPerEndpointAndRoundTrip) {
    const auto before = runZolctl(L"--json status");
    ASSERT_EQ(before.exitCode, 0u) << before.err;
    EXPECT_EQ(endpointObject(before.out, kRender),
              "{\"id\":\"" + kRender +
                  "\",\"flow\":\"render\",\"present\":true,\"name\":\"Headset Earphone (SIMULATED)\","
                  "\"description\":\"ZolSoundKit USB headset (SIMULATED)\","
                  "\"hardwareId\":\"USB\\\\VID_0A1B&PID_00C2&MI_00\\\\7&SIMULATED&0&0000\",\"default\":false,"
                  "\"supported\":true,\"installed\":false,\"systemEffectsDisabled\":false,\"slotStyle\":2,"
                  "\"currentEffects\":{\"pre-mix\":\"!VALUE\",\"post-mix\":\"!VALUE\","
                  "\"stream\":\"{5eedfeed-0000-4000-8000-53494d554c41}\",\"mode\":\"!VALUE\",\"endpoint\":\"!VALUE\"},"
                  "\"fxProperties\":{\"pre-mix\":null,\"post-mix\":null,\"stream\":\"{5eedfeed-0000-4000-8000-53494d554c41}\","
                  "\"mode\":null,\"endpoint\":null}}");
    const std::string capture = endpointObject(before.out, kCapture);
    EXPECT_TRUE(contains(capture, "\"flow\":\"capture\"")) << capture;
    EXPECT_TRUE(contains(capture, "\"currentEffects\":{\"pre-mix\":\"!KEY\"")) << capture;
    EXPECT_TRUE(contains(capture, "\"fxProperties\":null")) << capture;
    const auto text = runZolctl(L"status");
    EXPECT_TRUE(contains(text.out, "  [render ] Headset Earphone (SIMULATED)\n      id " + kRender +
                                       "\n      ZolSoundKit USB headset (SIMULATED), hardware id USB\\VID_0A1B&PID_00C2&MI_00\\7&SIMULATED&0&0000\n"
                                       "      supported headset: YES   effect installed: no"))
        << text.out;

    const auto install = runZolctl(L"--json install");
    ASSERT_EQ(install.exitCode, 0u) << install.err;
    EXPECT_EQ(install.out.rfind("{\"command\":\"init\",\"result\":0,", 0), 0u) << install.out;
    for (const auto& [id, head] : {std::pair{kRender, "\",\"flow\":\"render\",\"name\":\"Headset Earphone (SIMULATED)\","},
                                   std::pair{kCapture, "\",\"flow\":\"capture\",\"name\":\"Headset Microphone (SIMULATED)\","}})
        EXPECT_TRUE(contains(install.out, "{\"id\":\"" + id + head + "\"changes\":[\"effect installed\"")) << install.out;

    const auto during = runZolctl(L"--json status");
    const std::string render = endpointObject(during.out, kRender);
    EXPECT_TRUE(contains(render, "\"supported\":true,\"installed\":true")) << render;
    EXPECT_TRUE(contains(render, "\"savedEffects\":{\"pre-mix\":\"!VALUE\",\"post-mix\":\"!VALUE\","
                                 "\"stream\":\"{5eedfeed-0000-4000-8000-53494d554c41}\""))
        << render;
    EXPECT_TRUE(contains(during.out, "\"productKey\":{\"exists\":true,\"values\":{\"InstallPath\":\"\\\"")) << during.out;

    // A refused unregistration is exit 1 and keeps the effect.
    {
        zol::test::EffectLibraryFailure failure(L"unregister");
        const auto run = runZolctl(L"uninstall");
        EXPECT_EQ(run.exitCode, 1u);
        EXPECT_EQ(run.err.rfind("zolctl: unInit returned -3", 0), 0u) << run.err;
    }
    const auto uninstall = runZolctl(L"--json uninstall");
    ASSERT_EQ(uninstall.exitCode, 0u) << uninstall.err;
    EXPECT_EQ(uninstall.out.rfind("{\"command\":\"unInit\",\"result\":1,", 0), 0u) << uninstall.out;
    EXPECT_TRUE(contains(uninstall.out, "\"changes\":[\"effect removed\"")) << uninstall.out;

    const auto after = runZolctl(L"--json status");
    for (const std::string& id : {kRender, kCapture}) EXPECT_EQ(endpointObject(after.out, id), endpointObject(before.out, id));
}

TEST_F(ZolctlEndpoints, WithoutAnAudioServiceNothingIsTouched) {
    audio_.reset();
    const auto before = runZolctl(L"--json status");
    const auto run = runZolctl(L"install");
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(run.err.rfind("zolctl: the Windows audio service (AudioSrv) is not there to restart", 0), 0u) << run.err;
    EXPECT_EQ(endpointObject(runZolctl(L"--json status").out, kRender), endpointObject(before.out, kRender));
}

}  // namespace
