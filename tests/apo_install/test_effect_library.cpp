// The effect library's registration calls, against the stand-in "ZolSoundAPO.dll" beside this program.
#include <gtest/gtest.h>

#include "apo_install/effect_library.h"
#include "host_utils/host_path.h"
#include "support/standin_effect_library.h"
#include "support/standin_services.h"

namespace zol::apo_install {
namespace {

TEST(EffectLibrary, CallsAndWhatTheyReport) {
    test::EventJournal journal;
    test::removeEffectClasses();
    const std::wstring library = effectLibraryPath(), directory = host_utils::directoryPart(library);
    ASSERT_EQ(library, test::standInEffectLibraryPath());
    using R = EffectLibraryCall;
    for (const auto& [path, failing, result] : {std::tuple{directory + L"\\ZolNoSuchLibrary.dll", L"", R::NotLoaded},
                                                {effectLibraryPath(L"host.exe"), L"", R::NotLoaded},
                                                {directory + L"\\zol_ecd_api.dll", L"", R::NoEntryPoint},  // no registration exports
                                                {library, L"both", R::Failed}}) {
        test::EffectLibraryFailure failure(failing);
        EXPECT_EQ(registerEffectLibrary(path), result);
        EXPECT_FALSE(test::effectClassRegistered());
        EXPECT_EQ(unregisterEffectLibrary(path), result);
    }
    journal.clear();
    EXPECT_EQ(registerEffectLibrary(library), R::Done);
    EXPECT_TRUE(test::effectClassRegistered());
    EXPECT_EQ(unregisterEffectLibrary(library), R::Done);
    EXPECT_FALSE(test::effectClassRegistered());
    EXPECT_EQ(journal.lines(), (std::vector<std::string>{"ZolSoundAPO DllRegisterServer", "ZolSoundAPO DllUnregisterServer"}));
    EXPECT_EQ(GetModuleHandleW(library.c_str()), nullptr);  // freed after each call
}

}  // namespace
}  // namespace zol::apo_install
