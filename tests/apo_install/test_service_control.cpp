// restartService against the test prefix's service manager, with stand-in service programs as
// "AudioSrv" and its dependents (named by ListedDependents, as Windows would).
#include <gtest/gtest.h>

#include "apo_install/service_control.h"
#include "common/system_error.h"
#include "support/scratch_key.h"
#include "support/standin_services.h"

namespace zol::apo_install {
namespace {

using test::ListedDependents;
using test::StandInService;

TEST(Restart, DependentsStopFirstInListedOrderAndStartLastInReverse) {
    test::EventJournal journal;
    StandInService audio({L"AudioSrv", {}, journal.path()}), a({L"ZolTestDepA", {}, journal.path()}),
        b({L"ZolTestDepB", {}, journal.path()}), idle({L"ZolTestIdle", {}, journal.path()});
    ListedDependents dependents({L"ZolTestDepA", L"ZolTestIdle", L"ZolTestDepB"});
    restartService(L"AudioSrv", kServiceTimeLimitSeconds, dependents);  // a stopped service is only started
    EXPECT_EQ(dependents.calls, 0);
    a.start(), b.start();
    journal.clear();
    restartService(L"AudioSrv", kServiceTimeLimitSeconds, dependents);
    EXPECT_EQ(journal.lines(), (std::vector<std::string>{"ZolTestDepA stop", "ZolTestDepB stop", "AudioSrv stop", "AudioSrv start",
                                                         "ZolTestDepB start", "ZolTestDepA start"}));
    EXPECT_EQ(std::vector<DWORD>({audio.state(), a.state(), b.state(), idle.state()}),
              std::vector<DWORD>({SERVICE_RUNNING, SERVICE_RUNNING, SERVICE_RUNNING, SERVICE_STOPPED}));
}

// Each failure names its call, the quoted service and the system's text, or the time-out: stop
// and start share the one limit (0.6 s each fit in 1 s on their own).
TEST(Restart, FailuresAndTimeOuts) {
    struct Refuses : DependentServiceEnumerator {
        BOOL enumerate(SC_HANDLE, DWORD, ENUM_SERVICE_STATUSW*, DWORD, DWORD* needed, DWORD* count) const override {
            *needed = 4096, *count = 0;
            return SetLastError(ERROR_ACCESS_DENIED), FALSE;
        }
    } refuses;
    const DependentServiceEnumerator none;
    const ListedDependents ghost({L"ZolNoSuchService"});
    const auto failed = [](const wchar_t* call, const wchar_t* name, DWORD error) {
        return std::wstring(call) + L" failed for service \"" + name + L"\" (" + common::systemErrorText(error) + L")";
    };
    const struct {
        test::StandInServiceOptions options;
        bool running;
        double limit;
        const DependentServiceEnumerator* dependents;
        std::wstring message;
        DWORD state;
    } rows[] = {
        {{L"AudioSrv"}, true, 30, &ghost, failed(L"OpenService", L"ZolNoSuchService", ERROR_SERVICE_DOES_NOT_EXIST), SERVICE_RUNNING},
        {{L"AudioSrv"}, true, 30, &refuses, failed(L"EnumDependentServices", L"AudioSrv", ERROR_ACCESS_DENIED), SERVICE_RUNNING},
        {{L"AudioSrv", {}, {}, true}, true, 30, &none, failed(L"ControlService", L"AudioSrv", ERROR_INVALID_SERVICE_CONTROL), SERVICE_RUNNING},
        {{L"AudioSrv", {}, {}, false, 0, 0, SERVICE_DISABLED}, false, 30, &none, failed(L"StartService", L"AudioSrv", ERROR_SERVICE_DISABLED),
         SERVICE_STOPPED},
        {{L"AudioSrv", {}, {}, false, 2000}, false, 0.5, &none, L"Service start timed out on service \"AudioSrv\"", SERVICE_START_PENDING},
        {{L"AudioSrv", {}, {}, false, 600, 600}, true, 1, &none, L"Service start timed out on service \"AudioSrv\"", SERVICE_START_PENDING},
        {{L"AudioSrv", {}, {}, false, 600, 600}, true, 5, &none, L"", SERVICE_RUNNING},
    };
    for (const auto& row : rows) {
        StandInService audio(row.options);
        if (row.running) audio.start();
        EXPECT_EQ(test::raisedMessage<ServiceException>([&] { restartService(L"AudioSrv", row.limit, *row.dependents); }).value_or(L""),
                  row.message) << &row - rows;
        EXPECT_EQ(audio.state(), row.state) << &row - rows;
    }
    EXPECT_EQ(test::raisedMessage<ServiceException>([] { restartService(L"ZolNoSuchService"); }),
              failed(L"OpenService", L"ZolNoSuchService", ERROR_SERVICE_DOES_NOT_EXIST));
}

}  // namespace
}  // namespace zol::apo_install
