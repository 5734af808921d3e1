// eq and volume/mute commands against the real DLL: what zolctl prints is what the library
// stored, and a refused request is one error line and a non-zero exit code.
#include <windows.h>

#include <gtest/gtest.h>

#include "common/product_key.h"
#include "support/core_audio_standin.h"
#include "support/scratch_key.h"
#include "zolctl_process.h"

namespace {

using zol::test::runZolctl;

const wchar_t* const kSettingsValues[] = {L"{F5530E75-A2A5-43E8-B9DF-1A1E225B5D1A}",
                                          L"{6F8E9E8B-C370-48D3-A20E-D1CA1D61BB3C}",
                                          L"{983E6A3C-E1AE-49BD-9E50-8FCB108C3F8D}"};

std::string storedGains() {
    DWORD type = 0;
    std::string bytes;
    if (!zol::test::rawGetValue(zol::common::kProductKey, kSettingsValues[2], &type, &bytes)) return {};
    return bytes.substr(0, 10);
}

class ZolctlSettings : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        keyExisted_ = zol::test::rawKeyExists(zol::common::kProductKey);
        if (!keyExisted_) zol::test::rawCreateKey(zol::common::kProductKey);
    }
    static void TearDownTestSuite() {
        deleteValues();
        if (!keyExisted_) zol::test::rawDeleteTree(zol::common::kProductKey);
    }
    static void deleteValues() {
        for (const wchar_t* v : kSettingsValues)
            zol::test::rawDeleteValue(zol::common::kProductKey, v);
    }
    void SetUp() override { deleteValues(); }
    static bool keyExisted_;
};
bool ZolctlSettings::keyExisted_ = false;

TEST_F(ZolctlSettings, EqSetThenShowReportsWhatTheLibraryStored) {
    const auto set = runZolctl(L"eq set 1k=6 8=-3 30Hz=+2");
    ASSERT_EQ(set.exitCode, 0u) << set.err;
    EXPECT_EQ(storedGains(), std::string("\x02\x00\x00\x00\x00\x06\x00\xfd\x00\x00", 10));

    const auto show = runZolctl(L"--json eq show --coefficients");
    ASSERT_EQ(show.exitCode, 0u) << show.err;
    EXPECT_EQ(show.out.rfind("{\"sampleRate\":48000,\"bands\":[{\"band\":1,\"centreHz\":30,\"bandwidthHz\":10,\"q\":3,\"gainDb\":2,", 0), 0u)
        << show.out;
    EXPECT_NE(show.out.find("{\"band\":6,\"centreHz\":1000,\"bandwidthHz\":670,\"q\":1.49254,\"gainDb\":6,\"coefficients\":{\"a1\":-1.923"),
              std::string::npos)
        << show.out;
    EXPECT_NE(show.out.find("{\"band\":8,\"centreHz\":4000,\"bandwidthHz\":2685,\"q\":1.48976,\"gainDb\":-3,"), std::string::npos);

    const auto text = runZolctl(L"eq show");
    EXPECT_NE(text.out.find("   6       1000       670  1.49      +6.0\n"), std::string::npos) << text.out;

    // Only the named bands change; a later reset flattens all of them.
    ASSERT_EQ(runZolctl(L"eq set 2=1").exitCode, 0u);
    EXPECT_EQ(storedGains(), std::string("\x02\x01\x00\x00\x00\x06\x00\xfd\x00\x00", 10));
    ASSERT_EQ(runZolctl(L"eq reset").exitCode, 0u);
    EXPECT_EQ(storedGains(), std::string(10, '\0'));
}

TEST_F(ZolctlSettings, EqSetRefusesBadBandsAndGainsWithoutChangingAnything) {
    ASSERT_EQ(runZolctl(L"eq set 4k=5").exitCode, 0u);
    const std::string before = storedGains();
    for (const wchar_t* args : {L"eq set 4k=1 7k=3", L"eq set 4k=1 11=3", L"eq set 4k=1 1k=25", L"eq set 1k", L"eq set 1k=two"}) {
        const auto run = runZolctl(args);
        EXPECT_EQ(run.exitCode, 2u) << run.err;
        EXPECT_EQ(run.err.rfind("zolctl: ", 0), 0u) << run.err;
        EXPECT_EQ(storedGains(), before);
    }
}

TEST_F(ZolctlSettings, EqPlotDrawsTheLibrarysCoefficients) {
    ASSERT_EQ(runZolctl(L"eq set 250=9").exitCode, 0u);
    const auto run = runZolctl(L"eq plot --out zolctl_test_plot.svg");
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_NE(run.out.find("wrote zolctl_test_plot.svg (response peak +9."), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("  +0 dB |"), std::string::npos) << run.out;  // the terminal sketch
    EXPECT_TRUE(DeleteFileW(L"zolctl_test_plot.svg"));
}

TEST_F(ZolctlSettings, EqShowSectionSeesTheSettingsTheEffectReads) {
    ASSERT_EQ(runZolctl(L"eq set 16k=-4").exitCode, 0u);
    const auto run = runZolctl(L"--json eq show --section");
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_NE(run.out.find("\"section\":{\"present\":true,\"payloadSize\":8184,\"controlMatchesRecord\":true,"
                           "\"effectMatchesRecord\":true,"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("{\"band\":10,\"centreHz\":16000,\"bandwidthHz\":10738,\"q\":1.49004,\"gainDb\":-4}]}}"),
              std::string::npos)
        << run.out;
}

TEST(ZolctlSettingsNoKey, RegistryFailureIsExitFour) {
    if (zol::test::rawKeyExists(zol::common::kProductKey)) GTEST_SKIP() << "the product key exists in this prefix";
    const auto run = runZolctl(L"eq show");
    EXPECT_EQ(run.exitCode, 4u);
    EXPECT_EQ(run.err.rfind("zolctl: registry: ", 0), 0u) << run.err;
    EXPECT_FALSE(zol::test::rawKeyExists(zol::common::kProductKey));
}

TEST(ZolctlVolume, SetShowAndRefusal) {
    {
        zol::test::CoreAudioStandin standin;  // Wine's own endpoints refuse volume changes
        auto run = runZolctl(L"volume render 30");
        EXPECT_EQ(run.exitCode, 0u) << run.err;
        EXPECT_EQ(run.out, "render volume: 30 %\n");
        run = runZolctl(L"--json volume capture");
        EXPECT_EQ(run.out, "{\"flow\":\"capture\",\"volume\":100}\n");
        run = runZolctl(L"--json mute capture on");
        EXPECT_EQ(run.exitCode, 0u) << run.err;
        EXPECT_EQ(run.out, "{\"flow\":\"capture\",\"muted\":true}\n");
        run = runZolctl(L"mute toggle");  // the stand-in starts unmuted in each process
        EXPECT_EQ(run.out, "render: muted\n");
    }
    const auto run = runZolctl(L"volume render 40");  // Wine's endpoint refuses: the library reports 0
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(run.err, "zolctl: the default render endpoint did not take volume 40 % (no such endpoint, or it refuses volume changes)\n");
}

}  // namespace
