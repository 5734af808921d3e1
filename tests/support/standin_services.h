// Stand-in services in the test prefix's service manager (tests/standins/audio_service), and the
// journal they and the stand-in effect library append their events to ("AudioSrv start",
// "ZolSoundAPO DllRegisterServer", ...). Suites that use "AudioSrv" take the CTest lock audio_service.
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
    std::wstring journal;
    bool refuseStop = false;                  // accepts no stop
    DWORD startDelayMs = 0, stopDelayMs = 0;  // spent in START_PENDING, STOP_PENDING
    DWORD startType = SERVICE_DEMAND_START;
};

// Registered on construction (a namesake removed first), removed on destruction.
class StandInService {
public:
    explicit StandInService(StandInServiceOptions options);
    ~StandInService() { remove(options_.name); }
    StandInService(const StandInService&) = delete;
    StandInService& operator=(const StandInService&) = delete;
    const std::wstring& name() const { return options_.name; }
    DWORD state() const;  // 0: no such service
    void start();         // and waits until it runs; throws std::runtime_error otherwise
    static void remove(const std::wstring& name);  // ending its process when it will not stop

private:
    StandInServiceOptions options_;
};

// Stands in for Wine's EnumDependentServicesW, which lists none: the named services that are not
// stopped (a name the manager does not know counts as running), in the given order.
struct ListedDependents : zol::apo_install::DependentServiceEnumerator {
    explicit ListedDependents(std::vector<std::wstring> names) : names(std::move(names)) {}
    BOOL enumerate(SC_HANDLE, DWORD, ENUM_SERVICE_STATUSW* services, DWORD size, DWORD* needed, DWORD* count) const override;
    std::vector<std::wstring> names;
    mutable int calls = 0;
};

}  // namespace zol::test
