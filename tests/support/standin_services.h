// Stand-in services in the test prefix's service manager (tests/standins/audio_service), and the
// journal they and the stand-in effect library append their events to ("AudioSrv start",
// "ZolSoundAPO DllRegisterServer", ...). Suites that use "AudioSrv" take the CTest lock audio_service.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace zol::test {

// A temporary file; while it lives, ZOL_STANDIN_JOURNAL names it to the stand-in effect library.
class EventJournal {
public:
    EventJournal();
    ~EventJournal();
    EventJournal(const EventJournal&) = delete;
    EventJournal& operator=(const EventJournal&) = delete;
    const std::wstring& path() const { return path_; }
    std::vector<std::string> lines() const;
    void clear() const;

private:
    std::wstring path_;
};

struct StandInServiceOptions {
    std::wstring name;
    std::vector<std::wstring> dependsOn;
    std::wstring journal;
    bool refuseStop = false;  // accepts no stop
};

// Registered on construction (a namesake removed first), removed on destruction.
class StandInService {
public:
    explicit StandInService(StandInServiceOptions options);
    ~StandInService();
    StandInService(const StandInService&) = delete;
    StandInService& operator=(const StandInService&) = delete;
    void start();         // and waits until it runs; throws std::runtime_error otherwise

private:
    StandInServiceOptions options_;
};

// The stand-in "ZolSoundAPO.dll" (tests/standins/effect_library) beside the test programs, where the
// library looks for the effect library.
std::wstring standInEffectLibraryPath();
bool effectClassRegistered();  // the stream effect class's InprocServer32 key
void removeEffectClasses();
// Makes the stand-in's DllRegisterServer / DllUnregisterServer fail while it lives.
struct EffectLibraryFailure {
    explicit EffectLibraryFailure(const wchar_t* which);  // "register", "unregister" or "both"
    ~EffectLibraryFailure();
};

}  // namespace zol::test
