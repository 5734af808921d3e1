// zolctl status on the SIMULATED headset's endpoints: found through the library's catalogue,
// recognised as a supported device, with their current effects and slot style.
#include <gtest/gtest.h>

#include "zolctl_process.h"

namespace {

using zol::test::runProgram;
using zol::test::runZolctl;

const std::string kRender = "{5eed0001-0a1b-4c20-8000-53494d554c41}";
const std::string kCapture = "{5eed0002-0a1b-4c20-8000-53494d554c41}";

class ZolctlStatus : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(runProgram(L"seed_endpoints.exe", L"add").exitCode, 0u); }
    void TearDown() override { EXPECT_EQ(runProgram(L"seed_endpoints.exe", L"remove").exitCode, 0u); }
};

// The JSON object of one endpoint in status --json (objects hold no nested braces before
// "fxProperties", so the object ends at the first "}}" after it).
std::string endpointObject(const std::string& json, const std::string& id) {
    const size_t at = json.find("{\"id\":\"" + id + "\"");
    if (at == std::string::npos) return {};
    const size_t end = json.find("}}", json.find("\"fxProperties\":", at));
    return json.substr(at, end == std::string::npos ? std::string::npos : end + 2 - at);
}

TEST_F(ZolctlStatus, SeededEndpointsAreSupportedAndNotInstalled) {
    const auto run = runZolctl(L"--json status");
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    const std::string render = endpointObject(run.out, kRender);
    EXPECT_EQ(render,
              "{\"id\":\"" + kRender +
                  "\",\"flow\":\"render\",\"present\":true,\"name\":\"Headset Earphone (SIMULATED)\","
                  "\"description\":\"ZolSoundKit USB headset (SIMULATED)\","
                  "\"hardwareId\":\"USB\\\\VID_0A1B&PID_00C2&MI_00\\\\7&SIMULATED&0&0000\",\"default\":false,"
                  "\"supported\":true,\"installed\":false,\"systemEffectsDisabled\":false,\"slotStyle\":2,"
                  "\"currentEffects\":{\"pre-mix\":\"!VALUE\",\"post-mix\":\"!VALUE\","
                  "\"stream\":\"{5eedfeed-0000-4000-8000-53494d554c41}\",\"mode\":\"!VALUE\",\"endpoint\":\"!VALUE\"},"
                  "\"fxProperties\":{\"pre-mix\":null,\"post-mix\":null,\"stream\":\"{5eedfeed-0000-4000-8000-53494d554c41}\","
                  "\"mode\":null,\"endpoint\":null}}");
    const std::string capture = endpointObject(run.out, kCapture);
    EXPECT_NE(capture.find("\"flow\":\"capture\""), std::string::npos) << capture;
    EXPECT_NE(capture.find("\"supported\":true,\"installed\":false"), std::string::npos) << capture;
    EXPECT_NE(capture.find("\"currentEffects\":{\"pre-mix\":\"!KEY\""), std::string::npos) << capture;
    EXPECT_NE(capture.find("\"fxProperties\":null"), std::string::npos) << capture;

    const auto text = runZolctl(L"status");
    EXPECT_NE(text.out.find("  [render ] Headset Earphone (SIMULATED)\n      id " + kRender +
                            "\n      ZolSoundKit USB headset (SIMULATED), hardware id USB\\VID_0A1B&PID_00C2&MI_00\\7&SIMULATED&0&0000\n"
                            "      supported headset: YES   effect installed: no"),
              std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find("current effects: none (no FxProperties)"), std::string::npos);
}

TEST_F(ZolctlStatus, RemovedEndpointsAreGoneAndOthersAreNotSupported) {
    ASSERT_EQ(runProgram(L"seed_endpoints.exe", L"remove").exitCode, 0u);
    const auto run = runZolctl(L"--json status");
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(run.out.find(kRender), std::string::npos);
    EXPECT_EQ(run.out.find("\"supported\":true"), std::string::npos) << run.out;
    ASSERT_EQ(runProgram(L"seed_endpoints.exe", L"add").exitCode, 0u);  // for TearDown
}

}  // namespace
