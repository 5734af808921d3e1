// Volume and mute exports against the endpoint enumerator stand-in (Wine's own endpoints cannot
// set a level and forget mute).
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <array>
#include <thread>

#include "support/core_audio_standin.h"
#include "volume/endpoint_volume.h"
#include "zol_ecd_api.h"

TEST(Volume, LevelsAndMutesPerFlowAndFailuresLeaveThemAlone) {
    zol::test::CoreAudioStandin audio;
    auto& state = audio.state();
    for (const auto& [level, percent] : {std::pair{0.295f, 29}, std::pair{0.999f, 99}, std::pair{1.5f, 100}}) {
        state.level[1] = level;
        EXPECT_EQ(_getVolum(1, 12345), percent) << level;
    }
    EXPECT_EQ((std::array{_SetVolum(55, 0, 7), _SetVolum(101, 0, 0), _SetVolum(-1, 0, 0), _SetMasterMute(1, 0)}), (std::array{1, 0, 0, 1}));
    state.mute[1] = 5;  // any nonzero BOOL is muted; the internal read folds it to 1
    EXPECT_EQ(std::make_pair(_GetMasterMute(0), zol::volume::readDefaultEndpointMute(1)), std::make_pair(1, 1));

    // Failing: a flow out of range, a missing endpoint, a thread in the multithreaded apartment.
    const auto failing = [](int flow) {
        EXPECT_EQ((std::array{_getVolum(flow, 0), _GetMasterMute(flow), _SetVolum(80, flow, 0), _SetMasterMute(0, flow)}),
                  (std::array{50, 0, 0, 0})) << flow;
    };
    state.present[1] = false;
    failing(2), failing(1);
    std::thread([&] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        failing(0);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
        CoUninitialize(), CoUninitialize();
    }).join();
    EXPECT_EQ(std::make_pair(state.level[0], state.mute[0]), std::make_pair(0.55f, TRUE));
    EXPECT_EQ(state.liveObjects, 0) << "interfaces left unreleased";
}
