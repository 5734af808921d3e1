// The one lock every process takes around record -> registry -> section, so that two hosts
// changing the settings at once leave the registry and the section holding the same blocks.
#pragma once

#include <windows.h>

namespace zol::settings {

inline constexpr const wchar_t* kSettingsLockName = L"Global\\{372E213D-95EA-4306-A914-F50DB21A21CE}-lock";
// A holder that hangs must not hang every host with it.
inline constexpr DWORD kSettingsLockWaitMs = 10000;

// Held for the scope. Recursive on one thread, exclusive across threads and processes. When the
// lock cannot be had (no right to the object, or the wait ran out) the scope runs unlocked and
// the log says so: the settings are still written, only the ordering guarantee is lost.
class SettingsLock {
public:
    SettingsLock();
    ~SettingsLock();
    SettingsLock(const SettingsLock&) = delete;
    SettingsLock& operator=(const SettingsLock&) = delete;

    bool held() const { return held_; }

private:
    bool held_ = false;
};

}  // namespace zol::settings
