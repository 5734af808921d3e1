// restartService against the test prefix's service manager, with stand-in service programs as
// "AudioSrv" and its dependents, which ListedDependents names as Windows would.
#include <gtest/gtest.h>

#include <chrono>

#include "apo_install/service_control.h"
#include "common/system_error.h"
#include "support/scratch_key.h"
#include "support/standin_services.h"

namespace zol::apo_install {
namespace {

using Lines = std::vector<std::string>;
using test::ListedDependents;
using test::StandInService;

class Restart : public ::testing::Test {
protected:
    test::StandInServiceOptions options(const std::wstring& name) { return {name, {}, journal.path()}; }
    std::optional<std::wstring> failure(double limit, const DependentServiceEnumerator& dependents) {
        return test::raisedMessage<ServiceException>([&] { restartService(L"AudioSrv", limit, dependents); });
    }
    test::EventJournal journal;
};

TEST_F(Restart, DependentsStopFirstInListedOrderAndStartLastInReverse) {
    StandInService audio(options(L"AudioSrv")), a(options(L"ZolTestDepA")), b(options(L"ZolTestDepB")), idle(options(L"ZolTestIdle"));
    ListedDependents dependents({L"ZolTestDepA", L"ZolTestIdle", L"ZolTestDepB"});
    restartService(L"AudioSrv", kServiceTimeLimitSeconds, dependents);  // a stopped service is only started
    EXPECT_EQ(dependents.calls, 0);
    a.start();
    b.start();
    journal.clear();
    restartService(L"AudioSrv", kServiceTimeLimitSeconds, dependents);
    EXPECT_EQ(journal.lines(), (Lines{"ZolTestDepA stop", "ZolTestDepB stop", "AudioSrv stop", "AudioSrv start",
                                      "ZolTestDepB start", "ZolTestDepA start"}));
    for (StandInService* s : {&audio, &a, &b}) EXPECT_EQ(s->state(), DWORD{SERVICE_RUNNING}) << test::narrow(s->name());
    EXPECT_EQ(idle.state(), DWORD{SERVICE_STOPPED});
}

TEST_F(Restart, ADependentThatIgnoresStopTimesOutWithinTheGivenLimit) {
    auto stubbornOptions = options(L"ZolTestStubborn");
    stubbornOptions.ignoreStop = true;
    StandInService audio(options(L"AudioSrv")), a(options(L"ZolTestDepA")), stubborn(stubbornOptions);
    for (StandInService* s : {&audio, &a, &stubborn}) s->start();
    journal.clear();
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(failure(1.0, ListedDependents({L"ZolTestDepA", L"ZolTestStubborn"})),
              L"Service stop timed out on service \"ZolTestStubborn\"");
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    EXPECT_GE(took, 1.0);
    EXPECT_LT(took, 5.0);
    EXPECT_EQ(journal.lines(), (Lines{"ZolTestDepA stop", "ZolTestStubborn stop"}));
    EXPECT_EQ(a.state(), DWORD{SERVICE_STOPPED});
    EXPECT_EQ(audio.state(), DWORD{SERVICE_RUNNING});
}

// Stop and start take 0.6 s each: within 1 s on their own, but they share the one limit.
TEST_F(Restart, StopAndStartShareOneLimit) {
    auto slow = options(L"AudioSrv");
    slow.startDelayMs = slow.stopDelayMs = 600;
    for (double limit : {1.0, 5.0}) {
        StandInService audio(slow);
        audio.start();
        journal.clear();
        EXPECT_EQ(failure(limit, DependentServiceEnumerator{}),
                  limit < 2 ? std::optional<std::wstring>(L"Service start timed out on service \"AudioSrv\"") : std::nullopt);
        EXPECT_EQ(journal.lines(), (Lines{"AudioSrv stop", "AudioSrv start"}));
    }
}

// Every failure names its call, the quoted service and the system's text; nothing is stopped
// when the failure comes before the stops.
TEST_F(Restart, FailuresNameTheCallAndTheService) {
    class RefusesEnumeration : public DependentServiceEnumerator {
        BOOL enumerate(SC_HANDLE, DWORD, ENUM_SERVICE_STATUSW*, DWORD, DWORD* needed, DWORD* count) const override {
            *needed = 4096, *count = 0;
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
    };
    const auto failed = [](const wchar_t* call, const wchar_t* name, DWORD error) {
        return std::wstring(call) + L" failed for service \"" + name + L"\" (" + common::systemErrorText(error) + L")";
    };
    struct Row {
        void (*adjust)(test::StandInServiceOptions&);
        bool running;
        double limit;
        const DependentServiceEnumerator* dependents;
        std::wstring message;
        DWORD state;
    };
    const DependentServiceEnumerator none;
    const ListedDependents ghost({L"ZolNoSuchService"});
    const RefusesEnumeration refuses;
    const Row rows[] = {
        {[](test::StandInServiceOptions&) {}, true, 30.0, &ghost,
         failed(L"OpenService", L"ZolNoSuchService", ERROR_SERVICE_DOES_NOT_EXIST), SERVICE_RUNNING},
        {[](test::StandInServiceOptions&) {}, true, 30.0, &refuses,
         failed(L"EnumDependentServices", L"AudioSrv", ERROR_ACCESS_DENIED), SERVICE_RUNNING},
        {[](test::StandInServiceOptions& o) { o.refuseStop = true; }, true, 30.0, &none,
         failed(L"ControlService", L"AudioSrv", ERROR_INVALID_SERVICE_CONTROL), SERVICE_RUNNING},
        {[](test::StandInServiceOptions& o) { o.startType = SERVICE_DISABLED; }, false, 30.0, &none,
         failed(L"StartService", L"AudioSrv", ERROR_SERVICE_DISABLED), SERVICE_STOPPED},
        {[](test::StandInServiceOptions& o) { o.startDelayMs = 2000; }, false, 0.5, &none,
         L"Service start timed out on service \"AudioSrv\"", SERVICE_START_PENDING},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(test::narrow(row.message));
        auto o = options(L"AudioSrv");
        row.adjust(o);
        StandInService audio(o);
        if (row.running) audio.start();
        journal.clear();
        EXPECT_EQ(failure(row.limit, *row.dependents), row.message);
        EXPECT_EQ(audio.state(), row.state);
        if (row.running) EXPECT_TRUE(journal.lines().empty());
    }
    EXPECT_EQ(test::raisedMessage<ServiceException>([] { restartService(L"ZolNoSuchService"); }),
              failed(L"OpenService", L"ZolNoSuchService", ERROR_SERVICE_DOES_NOT_EXIST));
}

}  // namespace
}  // namespace zol::apo_install
