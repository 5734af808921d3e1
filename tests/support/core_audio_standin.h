// Puts tests/standins/core_audio in place of the system's endpoint enumerator class for the
// life of this object, so the library's own Core Audio sequence runs against endpoints whose
// level and mute persist; the previous registration is put back afterwards. Suites that use
// it take the "core_audio" lock: the class registration is seen by the whole prefix.
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

    void setLevel(int flow, float level) { setLevel_(flow, level); }
    float level(int flow) { return level_(flow); }
    void setMute(int flow, BOOL mute) { setMute_(flow, mute); }
    BOOL mute(int flow) { return mute_(flow); }
    void setPresent(int flow, bool present) { setPresent_(flow, present); }
    void failClientActivation(bool fail) { failClientActivation_(fail); }
    long liveObjects() { return liveObjects_(); }
    long lastRole() { return lastRole_(); }
    long lastClsCtx() { return lastClsCtx_(); }
    // Back to two present endpoints at full level, unmuted.
    void reset();

private:
    HMODULE module_ = nullptr;
    bool hadRegistration_ = false;
    bool hadThreading_ = false;
    std::wstring previousServer_;
    std::wstring previousThreading_;
    void (*setLevel_)(int, float) = nullptr;
    float (*level_)(int) = nullptr;
    void (*setMute_)(int, BOOL) = nullptr;
    BOOL (*mute_)(int) = nullptr;
    void (*setPresent_)(int, BOOL) = nullptr;
    void (*failClientActivation_)(BOOL) = nullptr;
    long (*liveObjects_)() = nullptr;
    long (*lastRole_)() = nullptr;
    long (*lastClsCtx_)() = nullptr;
};

}  // namespace zol::test
