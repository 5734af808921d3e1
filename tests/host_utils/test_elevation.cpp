// Elevation and single instance, across real processes where the answer depends on another one.
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/unique_handle.h"
#include "zol_ecd_api.h"
#include "probe.h"
#include "support/scratch_key.h"
#include "support/test_paths.h"

namespace {

using namespace zol::test;

std::wstring probeBesideTheLibrary() { return besideThisProgram(L"process_probe.exe"); }
std::wstring freshMutexName() { return L"Global\\" + uniqueName(L"ZolInstanceTest"); }

// _RestartAsAdmin starts the calling program again, so it runs inside a probe, never here.
TEST(Elevation, RestartAsAdminStartsTheSameProgramWithoutArgumentsAndKeepsRunning) {
    ProbeDirectory records;
    const std::wstring callerRecord = records.recordPath(L"caller");
    const std::wstring restartedRecord = records.recordPath(L"restarted");
    Child caller;
    {
        ScopedEnvironment record(L"ZOL_PROBE_RECORD", callerRecord);
        ScopedEnvironment restart(L"ZOL_PROBE_RESTART_RECORD", restartedRecord);
        caller = startChild(probeBesideTheLibrary());
    }
    ProbeRecord seen = readRecord(callerRecord);
    ASSERT_FALSE(seen.empty()) << "the calling probe did not get through its call";
    EXPECT_EQ(seen[L"restartAsAdmin"], L"1") << "the shell accepted the \"runas\" start";
    EXPECT_EQ(exitCodeAfter(caller, 5000), 0u) << "the caller went on to its own end";

    ProbeRecord restarted = readRecord(restartedRecord);
    ASSERT_FALSE(restarted.empty()) << "no new instance started";
    EXPECT_EQ(restarted[L"module"], probeBesideTheLibrary());
    EXPECT_NE(restarted[L"pid"], seen[L"pid"]);
    EXPECT_EQ(restarted[L"showWindow"], std::to_wstring(SW_SHOWNORMAL));
    // The command line is the program alone, quoted or not as the shell likes.
    std::wstring line = restarted[L"commandLine"];
    while (!line.empty() && line.back() == L' ') line.pop_back();
    EXPECT_TRUE(line == probeBesideTheLibrary() || line == L"\"" + probeBesideTheLibrary() + L"\"") << narrow(line);
    // The new instance records and leaves at once; give it the moment to go before the files do.
    Sleep(200);
}

class SingleInstance : public ::testing::Test {
protected:
    void TearDown() override { endChildren(children); }

    // A probe that claims `name` through the library's export, records the answer and stays.
    ProbeRecord claimInProbe(const std::wstring& name, const std::wstring& recordName, DWORD lingerMs = 20000) {
        const std::wstring recordPath = records.recordPath(recordName);
        ScopedEnvironment record(L"ZOL_PROBE_RECORD", recordPath);
        ScopedEnvironment mutex(L"ZOL_PROBE_MUTEX", name);
        ScopedEnvironment linger(L"ZOL_PROBE_LINGER_MS", std::to_wstring(lingerMs));
        children.push_back(startChild(probeBesideTheLibrary()));
        return readRecord(recordPath);
    }

    ProbeDirectory records;
    std::vector<Child> children;
};

TEST_F(SingleInstance, FirstClaimCreatesLaterClaimsSeeIt) {
    const std::wstring name = freshMutexName();
    EXPECT_EQ(_IsGlobalMutexExist(name.c_str()), -1);
    EXPECT_EQ(_IsAlreadyRun(name.c_str()), 0);
    EXPECT_EQ(_IsGlobalMutexExist(name.c_str()), 0);
    EXPECT_EQ(_IsAlreadyRun(name.c_str()), 1) << "a second claim in the same process";
    EXPECT_EQ(claimInProbe(name, L"second")[L"alreadyRun"], L"1") << "a second process";
}

TEST_F(SingleInstance, AnotherProcessHoldsTheNameForItsLifetime) {
    const std::wstring name = freshMutexName();
    EXPECT_EQ(claimInProbe(name, L"first")[L"alreadyRun"], L"0");
    EXPECT_EQ(_IsGlobalMutexExist(name.c_str()), 0);

    TerminateProcess(children[0].process.get(), 0);
    ASSERT_NE(exitCodeAfter(children[0], 5000), STILL_ACTIVE);
    EXPECT_EQ(_IsGlobalMutexExist(name.c_str()), -1) << "the claim ends with its process";
    EXPECT_EQ(_IsAlreadyRun(name.c_str()), 0);
}

TEST_F(SingleInstance, TwoProcessesRacingForOneNameGetOneEach) {
    const std::wstring name = freshMutexName();
    const std::wstring first = records.recordPath(L"racer1");
    const std::wstring second = records.recordPath(L"racer2");
    {
        ScopedEnvironment mutex(L"ZOL_PROBE_MUTEX", name);
        ScopedEnvironment linger(L"ZOL_PROBE_LINGER_MS", L"20000");
        {
            ScopedEnvironment record(L"ZOL_PROBE_RECORD", first);
            children.push_back(startChild(probeBesideTheLibrary()));
        }
        ScopedEnvironment record(L"ZOL_PROBE_RECORD", second);
        children.push_back(startChild(probeBesideTheLibrary()));
    }
    const std::wstring answers = readRecord(first)[L"alreadyRun"] + readRecord(second)[L"alreadyRun"];
    EXPECT_TRUE(answers == L"01" || answers == L"10") << narrow(answers);
}

TEST_F(SingleInstance, TheMutexAdmitsTheUserFullyAndLocalServiceToWaitAndQuery) {
    const std::wstring name = freshMutexName();
    ASSERT_EQ(_IsAlreadyRun(name.c_str()), 0);
    zol::common::unique_kernel_handle mutex(OpenMutexW(READ_CONTROL, FALSE, name.c_str()));
    ASSERT_TRUE(mutex) << GetLastError();
    EXPECT_EQ(kernelObjectDacl(mutex.get()), "D:(A;;0x1f0001;;;" + currentUserSid() + ")(A;;0x100001;;;LS)");
}

TEST_F(SingleInstance, AMutexThatRefusesUsReportsTheErrorAndIsNotClaimed) {
    const std::wstring name = freshMutexName();
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;0x100001;;;LS)", SDDL_REVISION_1,
                                                                     &descriptor, nullptr));
    zol::common::unique_local descriptorOwner(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    zol::common::unique_kernel_handle foreign(CreateMutexW(&attributes, FALSE, name.c_str()));
    ASSERT_TRUE(foreign);

    EXPECT_EQ(_IsGlobalMutexExist(name.c_str()), ERROR_ACCESS_DENIED);
    EXPECT_EQ(_IsAlreadyRun(name.c_str()), 0) << "neither created nor opened";
}

TEST_F(SingleInstance, ANameTakenByAnotherKindOfObjectReportsTheError) {
    const std::wstring name = freshMutexName();
    zol::common::unique_kernel_handle event(CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
    ASSERT_TRUE(event);
    EXPECT_EQ(_IsGlobalMutexExist(name.c_str()), ERROR_INVALID_HANDLE);
    EXPECT_EQ(_IsAlreadyRun(name.c_str()), 0);
}

TEST_F(SingleInstance, NullEmptyAndOverlongNames) {
    EXPECT_EQ(_IsGlobalMutexExist(nullptr), -1);
    EXPECT_EQ(_IsGlobalMutexExist(L""), -1);
    EXPECT_EQ(_IsAlreadyRun(nullptr), 0);
    EXPECT_EQ(_IsAlreadyRun(L""), 0);
    EXPECT_EQ(_IsAlreadyRun(nullptr), 0) << "nothing was claimed by the first call";

    // Past MAX_PATH the name still goes to the system unchanged; whatever it decides, the two
    // exports must agree with each other.
    const std::wstring overlong = freshMutexName() + std::wstring(MAX_PATH + 20, L'x');
    EXPECT_EQ(_IsGlobalMutexExist(overlong.c_str()), -1);
    const int claimed = _IsAlreadyRun(overlong.c_str());
    EXPECT_EQ(claimed, 0);
    EXPECT_EQ(_IsGlobalMutexExist(overlong.c_str()), 0);
}

}  // namespace
