// Volume and mute exports against the endpoint enumerator stand-in (Wine's own endpoints cannot
// set a level and forget mute).
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <thread>

#include "support/core_audio_standin.h"
#include "volume/endpoint_volume.h"
#include "zol_ecd_api.h"

namespace {

constexpr int kRender = 0, kCapture = 1;

class Volume : public ::testing::Test {
protected:
    static void SetUpTestSuite() { audio.emplace(); }
    static void TearDownTestSuite() { audio.reset(); }
    void SetUp() override { audio->reset(); }
    void TearDown() override { EXPECT_EQ(state.liveObjects, 0) << "interfaces left unreleased"; }
    inline static std::optional<zol::test::CoreAudioStandin> audio;
    zol::test::CoreAudioStandin::State& state = audio->state();
};

TEST_F(Volume, LevelsTruncateAndMuteFoldsPerFlow) {
    const std::pair<float, int> levels[] = {{0.295f, 29}, {0.999f, 99}, {1.0f, 100}, {0.01f, 1}, {1.5f, 100}};
    for (const auto& [level, percent] : levels) {
        state.level[kCapture] = level;
        EXPECT_EQ(_getVolum(kCapture, 12345), percent) << level;
    }
    EXPECT_EQ(state.lastRole, 1) << "eMultimedia";
    EXPECT_EQ(state.lastClsCtx, 23) << "CLSCTX_ALL";
    for (int percent : {29, 100, 0, 55}) {
        EXPECT_EQ(_SetVolum(percent, kRender, 7), 1);
        EXPECT_EQ(state.level[kRender], static_cast<float>(percent / 100.0));
    }
    EXPECT_EQ(_SetVolum(101, kRender, 0), 0);
    EXPECT_EQ(_SetVolum(-1, kRender, 0), 0);
    EXPECT_EQ(state.level[kRender], 0.55f);
    EXPECT_EQ(_SetMasterMute(1, kRender), 1);
    EXPECT_EQ(state.mute[kRender], TRUE);
    EXPECT_EQ(_GetMasterMute(kCapture), 0);
    state.mute[kCapture] = 5;  // any nonzero BOOL is muted; the internal read folds it to 1
    EXPECT_EQ(zol::volume::readDefaultEndpointMute(kCapture), 1);
    EXPECT_EQ(_SetMasterMute(0, kRender), 1);
    EXPECT_EQ(_GetMasterMute(kRender), 0);
}

// A failed step fails the call: -1 flows, a missing endpoint, an audio client that cannot be had
// (never used, but obtained), a thread in the multithreaded apartment.
TEST_F(Volume, EveryCallFailsWhenAStepFails) {
    const std::function<bool(int&)> breakers[] = {  // true: the thread is in the MTA
        [](int& flow) { return flow = 2, false; },
        [&](int& flow) { return state.present[flow = kCapture] = false; },
        [&](int&) { return state.failClientActivation = true, false; },
        [](int&) { return CoInitializeEx(nullptr, COINIT_MULTITHREADED) == S_OK; },
    };
    for (const auto& breakStep : breakers) {
        audio->reset();
        std::thread([&] {
            int flow = kRender;
            const bool inMta = breakStep(flow);
            state.level[flow & 1] = 0.3f;
            state.mute[flow & 1] = TRUE;
            EXPECT_EQ(_getVolum(flow, 0), 50);
            EXPECT_EQ(_GetMasterMute(flow), 0);
            EXPECT_EQ(_SetVolum(80, flow, 0), 0);
            EXPECT_EQ(_SetMasterMute(0, flow), 0);
            EXPECT_EQ(state.level[flow & 1], 0.3f);
            EXPECT_EQ(state.mute[flow & 1], TRUE);
            if (inMta) {  // the thread keeps its one initialisation: a second one is counted
                EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
                CoUninitialize(), CoUninitialize();
            }
            EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
            CoUninitialize();
        }).join();
    }
}

TEST_F(Volume, AThreadAlreadyInAnApartmentKeepsIt) {
    std::thread([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        EXPECT_EQ(_SetVolum(70, kRender, 0), 1);
        EXPECT_EQ(_getVolum(kRender, 0), 70);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
        CoUninitialize();
        CoUninitialize();
    }).join();
}

}  // namespace
