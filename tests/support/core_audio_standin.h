// Puts tests/standins/core_audio in place of the system's endpoint enumerator class for the life
// of this object (the whole prefix sees it: suites take the "core_audio" lock), so the library's
// Core Audio calls meet endpoints whose level and mute persist.
#pragma once

#include <windows.h>

#include <string>

#include "common/unique_handle.h"

namespace zol::test {

class CoreAudioStandin {
public:
    struct State {  // [0] render, [1] capture
        bool present[2];
        float level[2];
        BOOL mute[2];
        long liveObjects;  // 0 after every call that released all it obtained
    };
    CoreAudioStandin();
    ~CoreAudioStandin();
    State& state() { return *state_; }
    void reset();  // two present endpoints at full level, unmuted

private:
    common::unique_module module_;
    State* state_ = nullptr;
    std::wstring previous_[2];  // the former server and threading model ("" when none)
};

}  // namespace zol::test
