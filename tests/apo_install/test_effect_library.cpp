// The effect library's registration calls, against the stand-in "ZolSoundAPO.dll" beside this program.
#include <gtest/gtest.h>

#include "apo_install/effect_library.h"
#include "host_utils/host_path.h"
#include "support/scratch_key.h"
#include "support/standin_effect_library.h"
#include "support/standin_services.h"

namespace zol::apo_install {
namespace {

TEST(EffectLibrary, CallsAndWhatTheyReport) {
    test::EventJournal journal;
    test::removeEffectClasses();
    const std::wstring library = effectLibraryPath(), directory = host_utils::directoryPart(library);
    EXPECT_EQ(library, test::standInEffectLibraryPath());
    struct Row {
        std::wstring path;
        const wchar_t* failing;  // the stand-in's switch
        EffectLibraryCall registered, unregistered;
    } rows[] = {
        {directory + L"\\ZolNoSuchLibrary.dll", nullptr, EffectLibraryCall::NotLoaded, EffectLibraryCall::NotLoaded},
        {effectLibraryPath(L"host.exe"), nullptr, EffectLibraryCall::NotLoaded, EffectLibraryCall::NotLoaded},
        {directory + L"\\zol_ecd_api.dll", nullptr, EffectLibraryCall::NoEntryPoint, EffectLibraryCall::NoEntryPoint},
        {library, L"both", EffectLibraryCall::Failed, EffectLibraryCall::Failed},
    };
    for (const Row& row : rows) {
        test::EffectLibraryFailure failing(row.failing ? row.failing : L"");
        EXPECT_EQ(registerEffectLibrary(row.path), row.registered) << test::narrow(row.path);
        EXPECT_FALSE(test::effectClassRegistered());
        EXPECT_EQ(unregisterEffectLibrary(row.path), row.unregistered);
    }
    journal.clear();
    EXPECT_EQ(registerEffectLibrary(library), EffectLibraryCall::Done);
    EXPECT_TRUE(test::effectClassRegistered());
    {
        test::EffectLibraryFailure failing(L"unregister");
        EXPECT_EQ(unregisterEffectLibrary(library), EffectLibraryCall::Failed);
        EXPECT_TRUE(test::effectClassRegistered());
    }
    EXPECT_EQ(unregisterEffectLibrary(library), EffectLibraryCall::Done);
    EXPECT_FALSE(test::effectClassRegistered());
    EXPECT_EQ(journal.lines(), (std::vector<std::string>{"ZolSoundAPO DllRegisterServer", "ZolSoundAPO DllUnregisterServer",
                                                         "ZolSoundAPO DllUnregisterServer"}));
    EXPECT_EQ(GetModuleHandleW(library.c_str()), nullptr);  // freed after each call
}

}  // namespace
}  // namespace zol::apo_install
