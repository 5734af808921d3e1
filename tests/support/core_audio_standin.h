// Puts tests/standins/core_audio in place of the system's endpoint enumerator class for the life
// of this object (the whole prefix sees it: suites take the "core_audio" lock), so the library's
// Core Audio calls meet endpoints whose level and mute persist. Starts at two present endpoints
// at full level, unmuted; the previous registration is put back afterwards.
#pragma once

#include <windows.h>

#include <string>

namespace zol::test {

class CoreAudioStandin {
public:
    CoreAudioStandin();
    ~CoreAudioStandin();
    CoreAudioStandin(const CoreAudioStandin&) = delete;
    CoreAudioStandin& operator=(const CoreAudioStandin&) = delete;

    // The stand-in's state, flow 0 render, 1 capture.
    struct State {
        bool present[2];
        float level[2];
        BOOL mute[2];
        bool failClientActivation;
        long liveObjects;  // 0 after every call that released all it obtained
        long lastRole;
        long lastClsCtx;
    };
    State& state() { return *state_; }
    void reset();

private:
    HMODULE module_ = nullptr;
    State* state_ = nullptr;
    std::wstring previous_[2];  // server and threading model; empty when there was none
};

}  // namespace zol::test
