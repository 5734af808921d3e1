// Stand-in services in the test prefix's service manager (tests/standins/audio_service), and the
// journal they and the stand-in effect library append their events to ("AudioSrv start",
// "ZolSoundAPO DllRegisterServer", ...), so a test reads the order things really happened in.
// Suites that use "AudioSrv" take the CTest lock audio_service.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "apo_install/service_control.h"

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
    std::wstring journal;     // empty: no journal
    bool ignoreStop = false;  // answers the stop request and keeps running
    bool refuseStop = false;  // runs without accepting stop requests
    DWORD startDelayMs = 0;   // time spent in START_PENDING
    DWORD stopDelayMs = 0;    // time spent in STOP_PENDING
    DWORD startType = SERVICE_DEMAND_START;
};

// Registered on construction (a leftover of the same name removed first), removed on destruction.
class StandInService {
public:
    explicit StandInService(StandInServiceOptions options);
    ~StandInService() { remove(options_.name); }
    StandInService(const StandInService&) = delete;
    StandInService& operator=(const StandInService&) = delete;

    const std::wstring& name() const { return options_.name; }
    DWORD state() const;  // 0 when there is no such service
    void start();         // and waits until it runs; throws std::runtime_error otherwise
    // Stops and deletes any service of that name, ending its process when it will not stop.
    static void remove(const std::wstring& name);

private:
    StandInServiceOptions options_;
};

// Stands in for Wine's EnumDependentServicesW, which lists none: the named services that are not
// stopped (a name the manager does not know counts as running), in the given order.
class ListedDependents : public zol::apo_install::DependentServiceEnumerator {
public:
    explicit ListedDependents(std::vector<std::wstring> names) : names_(std::move(names)) {}
    BOOL enumerate(SC_HANDLE service, DWORD serviceState, ENUM_SERVICE_STATUSW* services, DWORD bufferSize,
                   DWORD* bytesNeeded, DWORD* count) const override;
    mutable int calls = 0;

private:
    std::vector<std::wstring> names_;
};

}  // namespace zol::test
