// Volume and mute exports against the endpoint enumerator stand-in, whose endpoints keep their
// level and mute between instances (Wine's own cannot set a level and forget mute).
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <thread>

#include "support/core_audio_standin.h"
#include "volume/endpoint_volume.h"
#include "zol_ecd_api.h"

namespace {

constexpr int kRender = 0;
constexpr int kCapture = 1;

class KeptEndpoints : public ::testing::Test {
protected:
    static void SetUpTestSuite() { standin_ = new zol::test::CoreAudioStandin(); }
    static void TearDownTestSuite() {
        delete standin_;
        standin_ = nullptr;
    }
    void SetUp() override { standin_->reset(); }
    // Every call releases all it obtained, and asks for the multimedia role in every context.
    void TearDown() override {
        EXPECT_EQ(standin_->liveObjects(), 0) << "interfaces left unreleased";
    }
    static zol::test::CoreAudioStandin* standin_;
};
zol::test::CoreAudioStandin* KeptEndpoints::standin_ = nullptr;

TEST_F(KeptEndpoints, GetTruncatesTheLevelAndCapsItAt100) {
    const struct {
        float level;
        int percent;
    } cases[] = {{0.295f, 29}, {0.999f, 99}, {1.0f, 100}, {0.0f, 0}, {0.5f, 50}, {0.01f, 1}, {1.5f, 100}};
    for (const auto& c : cases) {
        standin_->setLevel(kCapture, c.level);
        EXPECT_EQ(_getVolum(kCapture, 12345), c.percent) << "level " << c.level;
    }
    EXPECT_EQ(standin_->lastRole(), 1) << "eMultimedia";
    EXPECT_EQ(standin_->lastClsCtx(), 23) << "CLSCTX_ALL";
}

TEST_F(KeptEndpoints, SetAndMuteRoundTripPerFlowAndRefuseOutOfRange) {
    for (int percent : {29, 100, 0, 55}) {
        EXPECT_EQ(_SetVolum(percent, kRender, 7), 1);
        EXPECT_EQ(standin_->level(kRender), static_cast<float>(percent / 100.0));
        EXPECT_EQ(_getVolum(kRender, 0), percent);
    }
    EXPECT_EQ(_SetVolum(101, kRender, 0), 0);
    EXPECT_EQ(_SetVolum(-1, kRender, 0), 0);
    EXPECT_EQ(standin_->level(kRender), 0.55f);
    EXPECT_EQ(standin_->level(kCapture), 1.0f) << "the other flow is not touched";

    EXPECT_EQ(_SetMasterMute(1, kRender), 1);
    EXPECT_NE(_GetMasterMute(kRender), 0);
    EXPECT_EQ(_GetMasterMute(kCapture), 0);
    EXPECT_EQ(_SetMasterMute(0, kRender), 1);
    EXPECT_EQ(_GetMasterMute(kRender), 0);
    // Any nonzero BOOL is muted; the internal read folds it to 1.
    standin_->setMute(kCapture, 5);
    EXPECT_NE(_GetMasterMute(kCapture), 0);
    EXPECT_EQ(zol::volume::readDefaultEndpointMute(kCapture), 1);
}

TEST_F(KeptEndpoints, EveryCallFailsWhenAStepFails) {
    // Flow 2: the endpoint lookup refuses it.
    EXPECT_EQ(_getVolum(2, 0), 50);
    EXPECT_EQ(_GetMasterMute(2), 0);
    EXPECT_EQ(_SetVolum(20, 2, 0), 0);
    EXPECT_EQ(_SetMasterMute(1, 2), 0);

    // No default capture device.
    standin_->setPresent(kCapture, false);
    standin_->setMute(kCapture, TRUE);
    EXPECT_EQ(_getVolum(kCapture, 0), 50);
    EXPECT_EQ(_GetMasterMute(kCapture), 0);
    EXPECT_EQ(_SetVolum(20, kCapture, 0), 0);
    EXPECT_EQ(_SetMasterMute(0, kCapture), 0);
    EXPECT_EQ(_getVolum(kRender, 0), 100) << "render is still there";
    standin_->setPresent(kCapture, true);

    // The audio client is never used, but failing to obtain it fails the call all the same.
    standin_->failClientActivation(true);
    standin_->setMute(kRender, TRUE);
    EXPECT_EQ(_getVolum(kRender, 0), 50);
    EXPECT_EQ(_GetMasterMute(kRender), 0);
    EXPECT_EQ(_SetVolum(20, kRender, 0), 0);
    EXPECT_EQ(_SetMasterMute(0, kRender), 0);
    EXPECT_EQ(standin_->level(kRender), 1.0f);
    EXPECT_EQ(standin_->mute(kRender), TRUE);
}

TEST_F(KeptEndpoints, AThreadInAMultithreadedApartmentIsRefusedAndKeepsItsCom) {
    standin_->setLevel(kRender, 0.3f);
    std::thread([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        EXPECT_EQ(_getVolum(kRender, 0), 50);
        EXPECT_EQ(_GetMasterMute(kRender), 0);
        EXPECT_EQ(_SetVolum(80, kRender, 0), 0);
        EXPECT_EQ(_SetMasterMute(1, kRender), 0);
        // Still in the MTA with the one initialisation this thread made: a second one is
        // counted (S_FALSE), and after balancing both the thread can become an STA.
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
        CoUninitialize();
        CoUninitialize();
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        CoUninitialize();
    }).join();
    EXPECT_EQ(standin_->level(kRender), 0.3f);
    EXPECT_EQ(standin_->mute(kRender), FALSE);
}

TEST_F(KeptEndpoints, AThreadAlreadyInAnApartmentKeepsIt) {
    std::thread([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        EXPECT_EQ(_SetVolum(70, kRender, 0), 1);
        EXPECT_EQ(_getVolum(kRender, 0), 70);
        // The library balanced its own S_FALSE initialisation and left the thread's in place.
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
        CoUninitialize();
        CoUninitialize();
    }).join();
}

}  // namespace
