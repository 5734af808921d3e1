// The effect library's location and registration calls, against the stand-in "ZolSoundAPO.dll"
// that the build puts beside this program, and the stand-in's settings reader.
#include <gtest/gtest.h>

#include <cstring>

#include "apo_install/effect_library.h"
#include "host_utils/host_path.h"
#include "common/unique_handle.h"
#include "standins/effect_library/effect_library_switches.h"
#include "support/scratch_key.h"
#include "support/standin_effect_library.h"
#include "support/standin_services.h"

using namespace zol::apo_install;
using zol::test::EffectLibraryFailure;
using zol::test::endpointEffectClassRegistered;
using zol::test::EventJournal;
using zol::test::removeEffectClasses;
using zol::test::standInEffectLibraryPath;
using zol::test::streamEffectClassRegistered;

namespace {

class EffectLibraryRegistration : public ::testing::Test {
protected:
    void SetUp() override { removeEffectClasses(); }
    void TearDown() override { removeEffectClasses(); }
    EventJournal journal;
};

TEST_F(EffectLibraryRegistration, RegisterAddsBothClassesAndUnregisterRemovesThem) {
    ASSERT_FALSE(streamEffectClassRegistered());

    EXPECT_EQ(registerEffectLibrary(effectLibraryPath()), EffectLibraryCall::Done);
    EXPECT_TRUE(streamEffectClassRegistered());
    EXPECT_TRUE(endpointEffectClassRegistered());
    DWORD type = 0;
    std::string server;
    ASSERT_TRUE(zol::test::rawGetValue(
        L"HKEY_CLASSES_ROOT\\CLSID\\" ZOL_STANDIN_STREAM_EFFECT_CLSID L"\\InprocServer32", L"", &type, &server));
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(server.data())), effectLibraryPath());

    EXPECT_EQ(unregisterEffectLibrary(effectLibraryPath()), EffectLibraryCall::Done);
    EXPECT_FALSE(streamEffectClassRegistered());
    EXPECT_FALSE(endpointEffectClassRegistered());

    EXPECT_EQ(journal.lines(), (std::vector<std::string>{"ZolSoundAPO DllRegisterServer", "ZolSoundAPO DllUnregisterServer"}));
    // Freed after each call: nothing of it stays in the process.
    EXPECT_EQ(GetModuleHandleW(effectLibraryPath().c_str()), nullptr);
}

TEST_F(EffectLibraryRegistration, MissingLibraryIsNotLoaded) {
    const std::wstring missing = zol::host_utils::directoryPart(effectLibraryPath()) + L"\\ZolNoSuchLibrary.dll";
    EXPECT_EQ(registerEffectLibrary(missing), EffectLibraryCall::NotLoaded);
    EXPECT_EQ(unregisterEffectLibrary(missing), EffectLibraryCall::NotLoaded);
    EXPECT_EQ(registerEffectLibrary(effectLibraryPath(L"host.exe")), EffectLibraryCall::NotLoaded);
    EXPECT_FALSE(streamEffectClassRegistered());
}

TEST_F(EffectLibraryRegistration, LibraryWithoutTheEntryPointsIsReportedAsSuch) {
    // The control library itself is a DLL without registration exports.
    const std::wstring other = zol::host_utils::directoryPart(effectLibraryPath()) + L"\\zol_ecd_api.dll";
    EXPECT_EQ(registerEffectLibrary(other), EffectLibraryCall::NoEntryPoint);
    EXPECT_EQ(unregisterEffectLibrary(other), EffectLibraryCall::NoEntryPoint);
    EXPECT_FALSE(streamEffectClassRegistered());
}

TEST_F(EffectLibraryRegistration, FailingCallsAreReportedAndChangeNothing) {
    {
        EffectLibraryFailure failing(L"register");
        EXPECT_EQ(registerEffectLibrary(effectLibraryPath()), EffectLibraryCall::Failed);
        EXPECT_FALSE(streamEffectClassRegistered());
    }
    ASSERT_EQ(registerEffectLibrary(effectLibraryPath()), EffectLibraryCall::Done);
    {
        EffectLibraryFailure failing(L"unregister");
        EXPECT_EQ(unregisterEffectLibrary(effectLibraryPath()), EffectLibraryCall::Failed);
        EXPECT_TRUE(streamEffectClassRegistered());
        EXPECT_TRUE(endpointEffectClassRegistered());
    }
}

}  // namespace
