// restartService against the test prefix's real service manager, with stand-in service
// programs as "AudioSrv" and its dependents. Wine's EnumDependentServicesW never lists
// dependents, so their stop and start order goes through DependentsFromConfiguration, which
// answers from the dependencies really registered with the manager.
#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <optional>

#include "common/system_error.h"
#include "apo_install/service_control.h"
#include "registry/registry.h"
#include "support/scratch_key.h"
#include "support/standin_services.h"

using zol::apo_install::DependentServiceEnumerator;
using zol::apo_install::restartService;
using zol::apo_install::Service;
using zol::apo_install::ServiceException;
using zol::common::systemErrorText;
using zol::test::DependentsFromConfiguration;
using zol::test::EventJournal;
using zol::test::narrow;
using zol::test::StandInService;
using zol::test::StandInServiceOptions;

namespace {

using Lines = std::vector<std::string>;
using zol::test::raisedMessage;

double secondsOf(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

DWORD processIdOf(const std::wstring& name) {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = OpenServiceW(manager, name.c_str(), SERVICE_QUERY_STATUS);
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status, &needed);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return status.dwProcessId;
}

class AudioServiceRestart : public ::testing::Test {
protected:
    StandInServiceOptions options(const std::wstring& name, std::vector<std::wstring> dependsOn = {}) {
        StandInServiceOptions o;
        o.name = name;
        o.dependsOn = std::move(dependsOn);
        o.journal = journal.path();
        return o;
    }
    EventJournal journal;
};

TEST_F(AudioServiceRestart, StoppedServiceIsOnlyStartedWithoutAskingForDependents) {
    StandInService audio(options(L"AudioSrv"));
    StandInService dependent(options(L"ZolTestDepA", {L"AudioSrv"}));
    DependentsFromConfiguration dependents(L"AudioSrv", {L"ZolTestDepA"});

    auto begin = std::chrono::steady_clock::now();
    restartService(L"AudioSrv", zol::apo_install::kServiceTimeLimitSeconds, dependents);
    std::cout << "[ measure  ] start of a stopped service: " << secondsOf(begin) << " s\n";

    EXPECT_EQ(audio.state(), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(dependents.calls, 0);
    EXPECT_EQ(journal.lines(), (Lines{"AudioSrv start"}));
}

TEST_F(AudioServiceRestart, RunningServiceRunsInANewProcessAfterwards) {
    StandInService audio(options(L"AudioSrv"));
    audio.start();
    const DWORD before = processIdOf(L"AudioSrv");
    journal.clear();

    auto begin = std::chrono::steady_clock::now();
    restartService(L"AudioSrv");  // the shipped overload: 30 s, the system's enumeration
    std::cout << "[ measure  ] restart of a running service: " << secondsOf(begin) << " s\n";

    EXPECT_EQ(audio.state(), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_NE(processIdOf(L"AudioSrv"), before);
    EXPECT_EQ(journal.lines(), (Lines{"AudioSrv stop", "AudioSrv start"}));
}

TEST_F(AudioServiceRestart, DependentsStopFirstInListedOrderAndStartLastInReverse) {
    StandInService audio(options(L"AudioSrv"));
    StandInService a(options(L"ZolTestDepA", {L"AudioSrv"}));
    StandInService b(options(L"ZolTestDepB", {L"AudioSrv"}));
    StandInService idle(options(L"ZolTestDepIdle", {L"AudioSrv"}));  // stopped: not active
    StandInService other(options(L"ZolTestOther"));                  // running, depends on nothing
    audio.start();
    a.start();
    b.start();
    other.start();
    journal.clear();
    DependentsFromConfiguration dependents(L"AudioSrv", {L"ZolTestDepA", L"ZolTestDepIdle", L"ZolTestOther", L"ZolTestDepB"});

    auto begin = std::chrono::steady_clock::now();
    restartService(L"AudioSrv", zol::apo_install::kServiceTimeLimitSeconds, dependents);
    std::cout << "[ measure  ] restart with two dependents: " << secondsOf(begin) << " s\n";

    EXPECT_EQ(journal.lines(), (Lines{"ZolTestDepA stop", "ZolTestDepB stop", "AudioSrv stop", "AudioSrv start",
                                      "ZolTestDepB start", "ZolTestDepA start"}));
    for (StandInService* s : {&audio, &a, &b, &other}) EXPECT_EQ(s->state(), static_cast<DWORD>(SERVICE_RUNNING)) << narrow(s->name());
    EXPECT_EQ(idle.state(), static_cast<DWORD>(SERVICE_STOPPED));
}

TEST_F(AudioServiceRestart, DependentThatIgnoresStopTimesOutAndLeavesTheRestAsReached) {
    StandInService audio(options(L"AudioSrv"));
    StandInService a(options(L"ZolTestDepA", {L"AudioSrv"}));
    auto stubbornOptions = options(L"ZolTestStubborn", {L"AudioSrv"});
    stubbornOptions.ignoreStop = true;
    StandInService stubborn(stubbornOptions);
    audio.start();
    a.start();
    stubborn.start();
    journal.clear();
    DependentsFromConfiguration dependents(L"AudioSrv", {L"ZolTestDepA", L"ZolTestStubborn"});

    auto begin = std::chrono::steady_clock::now();
    auto message = raisedMessage<ServiceException>([&] { restartService(L"AudioSrv", 1.0, dependents); });
    const double took = secondsOf(begin);

    ASSERT_TRUE(message);
    EXPECT_EQ(*message, L"Service stop timed out on service \"ZolTestStubborn\"");
    EXPECT_GE(took, 1.0);
    EXPECT_LT(took, 5.0);  // far from the shipped 30 s: the given limit was used
    EXPECT_EQ(journal.lines(), (Lines{"ZolTestDepA stop", "ZolTestStubborn stop"}));
    EXPECT_EQ(a.state(), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(stubborn.state(), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(audio.state(), static_cast<DWORD>(SERVICE_RUNNING));
}

// Stop and start each take about 0.6 s, well within 1 s on their own; the start phase only
// has what the stop phase left.
TEST_F(AudioServiceRestart, StopAndStartShareOneLimit) {
    auto slow = options(L"AudioSrv");
    slow.startDelayMs = 600;
    slow.stopDelayMs = 600;
    {
        StandInService audio(slow);
        audio.start();
        journal.clear();

        auto message = raisedMessage<ServiceException>([&] { restartService(L"AudioSrv", 1.0, DependentServiceEnumerator{}); });

        ASSERT_TRUE(message);
        EXPECT_EQ(*message, L"Service start timed out on service \"AudioSrv\"");
        EXPECT_EQ(journal.lines(), (Lines{"AudioSrv stop", "AudioSrv start"}));
    }
    // The same service with room for both phases restarts.
    StandInService audio(slow);
    audio.start();
    restartService(L"AudioSrv", 5.0, DependentServiceEnumerator{});
    EXPECT_EQ(audio.state(), static_cast<DWORD>(SERVICE_RUNNING));
}

TEST_F(AudioServiceRestart, SystemFailuresCarryCallNameQuotedServiceAndSystemText) {
    StandInService::remove(L"ZolNoSuchService");
    EXPECT_EQ(raisedMessage<ServiceException>([] { restartService(L"ZolNoSuchService"); }),
              L"OpenService failed for service \"ZolNoSuchService\" (" + zol::common::systemErrorText(ERROR_SERVICE_DOES_NOT_EXIST) + L")");

    // A dependent that vanished between enumeration and opening.
    StandInService audio(options(L"AudioSrv"));
    audio.start();
    class ListsAGhost : public DependentServiceEnumerator {
        BOOL enumerate(SC_HANDLE, DWORD, ENUM_SERVICE_STATUSW* services, DWORD size, DWORD* needed, DWORD* count) const override {
            static wchar_t ghost[] = L"ZolNoSuchService";
            *needed = sizeof(ENUM_SERVICE_STATUSW);
            *count = 0;
            if (size < *needed) {
                SetLastError(ERROR_MORE_DATA);
                return FALSE;
            }
            services[0] = {ghost, ghost, {}};
            *count = 1;
            return TRUE;
        }
    };
    EXPECT_EQ(raisedMessage<ServiceException>([] { restartService(L"AudioSrv", 30.0, ListsAGhost{}); }),
              L"OpenService failed for service \"ZolNoSuchService\" (" + zol::common::systemErrorText(ERROR_SERVICE_DOES_NOT_EXIST) + L")");
    EXPECT_EQ(audio.state(), static_cast<DWORD>(SERVICE_RUNNING));  // raised before any stop
}

TEST_F(AudioServiceRestart, FailedEnumerationStopsNothing) {
    StandInService audio(options(L"AudioSrv"));
    audio.start();
    journal.clear();

    class Refuses : public DependentServiceEnumerator {
    public:
        explicit Refuses(bool onSecondCall) : onSecondCall_(onSecondCall) {}
        BOOL enumerate(SC_HANDLE, DWORD, ENUM_SERVICE_STATUSW*, DWORD, DWORD* needed, DWORD* count) const override {
            *needed = onSecondCall_ ? 4096 : 0;
            *count = 0;
            SetLastError(onSecondCall_ && ++calls_ == 1 ? ERROR_MORE_DATA : ERROR_ACCESS_DENIED);
            return FALSE;
        }

    private:
        bool onSecondCall_;
        mutable int calls_ = 0;
    };
    const std::wstring expected =
        L"EnumDependentServices failed for service \"AudioSrv\" (" + zol::common::systemErrorText(ERROR_ACCESS_DENIED) + L")";
    EXPECT_EQ(raisedMessage<ServiceException>([] { restartService(L"AudioSrv", 30.0, Refuses(false)); }), expected);
    EXPECT_EQ(raisedMessage<ServiceException>([] { restartService(L"AudioSrv", 30.0, Refuses(true)); }), expected);
    EXPECT_TRUE(journal.lines().empty());
    EXPECT_EQ(audio.state(), static_cast<DWORD>(SERVICE_RUNNING));
}

// A refused stop, a refused start and a start still pending at the limit: each names its call.
TEST_F(AudioServiceRestart, RefusalsAndPendingStartRaiseTheirMessage) {
    struct Case {
        void (*adjust)(StandInServiceOptions&);
        bool running;
        double limit;
        std::wstring message;
        DWORD state;
    };
    const Case cases[] = {
        {[](StandInServiceOptions& o) { o.refuseStop = true; }, true, 30.0,
         L"ControlService failed for service \"AudioSrv\" (" + zol::common::systemErrorText(ERROR_INVALID_SERVICE_CONTROL) + L")",
         SERVICE_RUNNING},
        {[](StandInServiceOptions& o) { o.startType = SERVICE_DISABLED; }, false, 30.0,
         L"StartService failed for service \"AudioSrv\" (" + zol::common::systemErrorText(ERROR_SERVICE_DISABLED) + L")",
         SERVICE_STOPPED},
        {[](StandInServiceOptions& o) { o.startDelayMs = 2000; }, false, 0.5,
         L"Service start timed out on service \"AudioSrv\"", SERVICE_START_PENDING},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.message));
        auto o = options(L"AudioSrv");
        c.adjust(o);
        StandInService audio(o);
        if (c.running) audio.start();
        EXPECT_EQ(raisedMessage<ServiceException>([&] { restartService(L"AudioSrv", c.limit, DependentServiceEnumerator{}); }),
                  c.message);
        EXPECT_EQ(audio.state(), c.state);
    }
}

}  // namespace
