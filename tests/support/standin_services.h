// Stand-in services in the test prefix's service manager, run by tests/standins/audio_service.
//
//   EventJournal journal;                       // temp file, also named to the stand-in DLL
//   StandInService audio({L"AudioSrv", {}, journal.path()});
//   StandInService client({L"ZolTestClient", {L"AudioSrv"}, journal.path()});
//   audio.start(); client.start();
//   ... journal.lines() == {"AudioSrv start", "ZolTestClient start", ...}
//
// A StandInService registers the service on construction (removing a leftover of the same name
// first) and stops and deletes it on destruction. Suites that use "AudioSrv" take the CTest
// lock audio_service. Dependents are registered with lpDependencies, as Windows knows them;
// Wine's manager stores them but never enumerates them (see DependentsFromConfiguration).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "apo_install/service_control.h"

namespace zol::test {

// A file the stand-ins append one line per event to ("NAME start", "NAME stop",
// "ZolSoundAPO DllRegisterServer", ...). While it lives, ZOL_STANDIN_JOURNAL names it to this
// process, so the stand-in effect library loaded here writes to it too.
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
    std::vector<std::wstring> dependsOn;  // services this one depends on
    std::wstring journal;                 // empty: no journal
    bool ignoreStop = false;              // answers the stop request and keeps running
    bool refuseStop = false;              // runs without accepting stop requests
    DWORD startDelayMs = 0;               // time spent in START_PENDING
    DWORD stopDelayMs = 0;                // time spent in STOP_PENDING (at least 50 ms)
    DWORD startType = SERVICE_DEMAND_START;
};

class StandInService {
public:
    explicit StandInService(StandInServiceOptions options);
    ~StandInService();
    StandInService(const StandInService&) = delete;
    StandInService& operator=(const StandInService&) = delete;

    const std::wstring& name() const { return options_.name; }
    DWORD state() const;
    void start();  // starts and waits until it runs (throws std::runtime_error otherwise)

    // Stops and deletes any service of that name (ending its process when it will not stop);
    // safe when there is none.
    static void remove(const std::wstring& name);

private:
    StandInServiceOptions options_;
};

// Path of zol_standin_service.exe, beside the running test program.
std::wstring standInServiceProgram();

// Enumerates dependents the way Windows does, from what the manager really holds: the services
// named as candidates whose configured dependencies name the service and which are running, in
// the candidates' order. Stands in for Wine's EnumDependentServicesW, which lists none. It
// answers for `target` only (the service handle it gets may not query configurations).
class DependentsFromConfiguration : public zol::apo_install::DependentServiceEnumerator {
public:
    DependentsFromConfiguration(std::wstring target, std::vector<std::wstring> candidates)
        : target_(std::move(target)), candidates_(std::move(candidates)) {}
    BOOL enumerate(SC_HANDLE service, DWORD serviceState, ENUM_SERVICE_STATUSW* services, DWORD bufferSize,
                   DWORD* bytesNeeded, DWORD* count) const override;
    mutable int calls = 0;

private:
    std::wstring target_;
    std::vector<std::wstring> candidates_;
};

}  // namespace zol::test
