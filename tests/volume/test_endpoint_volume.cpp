// Volume and mute exports against the endpoint enumerator stand-in (Wine's own endpoints cannot
// set a level and forget mute).
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "support/core_audio_standin.h"
#include "volume/endpoint_volume.h"
#include "zol_ecd_api.h"

namespace {

TEST(Volume, LevelsAndMutesPerFlowAndEveryCallFailsWhenAStepFails) {
    zol::test::CoreAudioStandin audio;
    auto& state = audio.state();
    for (const auto& [level, percent] : {std::pair{0.295f, 29}, std::pair{0.999f, 99}, std::pair{1.5f, 100}}) {
        state.level[1] = level;
        EXPECT_EQ(_getVolum(1, 12345), percent) << level;
    }
    EXPECT_EQ(std::make_pair(state.lastRole, state.lastClsCtx), std::make_pair(1L, 23L)) << "eMultimedia, CLSCTX_ALL";
    EXPECT_EQ(_SetVolum(55, 0, 7) + _SetVolum(101, 0, 0) + _SetVolum(-1, 0, 0), 1);
    EXPECT_EQ(state.level[0], 0.55f);
    EXPECT_EQ(_SetMasterMute(1, 0), 1);
    EXPECT_EQ(state.mute[0], TRUE);
    EXPECT_EQ(_GetMasterMute(1), 0);
    state.mute[1] = 5;  // any nonzero BOOL is muted; the internal read folds it to 1
    EXPECT_EQ(zol::volume::readDefaultEndpointMute(1), 1);

    // A flow out of range, a missing endpoint, an audio client that cannot be had (never used,
    // but obtained), a thread in the multithreaded apartment (which keeps its one initialisation).
    const std::function<bool(int&)> breakers[] = {  // true: the thread is in the MTA
        [](int& flow) { return flow = 2, false; },
        [&](int& flow) { return state.present[flow = 1] = false; },
        [&](int&) { return state.failClientActivation = true, false; },
        [](int&) { return CoInitializeEx(nullptr, COINIT_MULTITHREADED) == S_OK; },
        [](int&) { return CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED) != S_OK; },  // already in an STA: works
    };
    for (const auto& breakStep : breakers) {
        audio.reset();
        std::thread([&] {
            int flow = 0;
            const bool inMta = breakStep(flow), broken = &breakStep != &breakers[4];
            state.level[flow & 1] = 0.3f;
            EXPECT_EQ(_getVolum(flow, 0), broken ? 50 : 30);
            EXPECT_EQ(_GetMasterMute(flow), 0);
            EXPECT_EQ(_SetVolum(80, flow, 0), broken ? 0 : 1);
            EXPECT_EQ(_SetMasterMute(1, flow), broken ? 0 : 1);
            EXPECT_EQ(state.level[flow & 1], broken ? 0.3f : 0.8f);
            EXPECT_EQ(state.mute[flow & 1], broken ? FALSE : TRUE);
            // The thread's own initialisation is still there: a second one is counted.
            EXPECT_EQ(CoInitializeEx(nullptr, inMta ? COINIT_MULTITHREADED : COINIT_APARTMENTTHREADED), broken && !inMta ? S_OK : S_FALSE);
            CoUninitialize();
            if (!broken || inMta) CoUninitialize();
        }).join();
        EXPECT_EQ(state.liveObjects, 0) << "interfaces left unreleased";
    }
}

}  // namespace
