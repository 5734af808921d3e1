// The installation driver and the effect library's registration against the test prefix's registry
// and service manager: endpoints of table devices, the stand-in "AudioSrv" and "ZolSoundAPO.dll"
// journalling what happens, in order.
#include <gtest/gtest.h>

#include "apo_install/apo_info.h"
#include "apo_install/effect_library.h"
#include "apo_install/endpoint_catalogue.h"
#include "apo_install/install_driver.h"
#include "apo_install/service_control.h"
#include "common/system_error.h"
#include "device_link/supported_devices.h"
#include "host_utils/host_path.h"
#include "support/endpoint_fixture.h"
#include "support/message_box.h"
#include "support/scratch_directory.h"
#include "support/scratch_key.h"
#include "support/standin_services.h"

namespace zol::apo_install {
namespace {

using test::installedOn;
using test::TestEndpoint;
using Lines = std::vector<std::string>;
using test::classes::kVendorA;

const std::wstring kHeadsetId = L"{1}.USB\\VID_0A1B&PID_00C2&MI_00\\7&2F1B3C4D&0&0000";  // property 39 as Windows writes it
const std::wstring kOtherId = L"{1}.USB\\VID_046D&PID_0A44&MI_00\\7&11AA22BB&0&0000";
const device_link::SupportedDevice kHeadset = {0x0A1B, 0x00C2, 0x00060003};

bool systemEffectsOn(const TestEndpoint& e) {
    return test::storedValue(e.fx(), property::kDisableSystemEffects) == test::StoredValue{REG_DWORD, std::string(4, '\0')};
}

class Driver : public ::testing::Test {
protected:
    Driver() { test::removeEffectClasses(), audio.start(), journal.clear(); }
    ~Driver() override { test::removeEffectClasses(); }
    test::ProductKeyGuard productKey;
    test::ScratchDirectory workingDirectory{L"zol-install", true};
    test::EventJournal journal;
    test::StandInService audio{{kAudioServiceName, {}, journal.path()}};
    device_link::ScopedSupportedDeviceTable table{&kHeadset, 1};
};

TEST_F(Driver, TableDeviceOnBothFlowsOnlyAndInOrder) {
    TestEndpoint speakers(false), microphone(true), unrelated(false);
    speakers.describe(L"Zol Headset", L"Speakers", kHeadsetId).fxValue(kFxSlotValueNames[kPreMixSlot], kVendorA);
    microphone.describe(L"Zol Headset", L"Microphone", kHeadsetId);
    unrelated.describe(L"Webcam", L"Speakers", kOtherId).fxDword(property::kDisableSystemEffects, 1);
    const auto unrelatedBefore = test::storedTree(unrelated.key());

    EXPECT_EQ(applyEffectToSupportedDevices(kRenderFlow, true, false, false), 1);
    EXPECT_FALSE(installedOn(microphone.id()));
    journal.clear();
    EXPECT_EQ(applyEffectToSupportedDevices(kCaptureFlow, true, true, true), 1);  // the rest: the microphone
    EXPECT_TRUE(installedOn(speakers.id()) && installedOn(microphone.id()) && systemEffectsOn(speakers) && systemEffectsOn(microphone));
    EXPECT_EQ(journal.lines(), (Lines{"ZolSoundAPO DllRegisterServer", "AudioSrv stop", "AudioSrv start"}));

    journal.clear();
    EXPECT_EQ(applyEffectToSupportedDevices(kCaptureFlow, false, true, true), 2);
    EXPECT_EQ(journal.lines(), (Lines{"AudioSrv stop", "AudioSrv start", "ZolSoundAPO DllUnregisterServer"}));
    EXPECT_FALSE(test::effectClassRegistered());
    EXPECT_EQ(test::storedText(speakers.fx(), kFxSlotValueNames[kPreMixSlot]), kVendorA);
    EXPECT_FALSE(test::rawKeyExists(microphone.fx()));
    EXPECT_EQ(test::storedTree(unrelated.key()), unrelatedBefore);
}

TEST_F(Driver, NothingToChangeTouchesNeitherLibraryNorServiceButSwitchesSystemEffectsOn) {
    EXPECT_EQ(applyEffectToSupportedDevices(kCaptureFlow, true, true, true), 0);  // no endpoint of the device
    EXPECT_EQ(applyEffectToSupportedDevices(kCaptureFlow, false, true, true), 0);
    TestEndpoint speakers(false);
    DeviceAPOInfo record;
    ASSERT_TRUE(record.load(speakers.describe(L"Zol Headset", L"Speakers", kHeadsetId).id(), L""));
    record.install();
    speakers.fxDword(property::kDisableSystemEffects, 1);
    EXPECT_EQ(applyEffectToSupportedDevices(kCaptureFlow, true, true, true), 0);
    EXPECT_TRUE(systemEffectsOn(speakers) && journal.lines().empty());
    ASSERT_TRUE(record.load(speakers.id(), L""));
    record.uninstall();
}

TEST_F(Driver, FailedRestartShowsTheMessageAndSkipsUnregistration) {
    TestEndpoint speakers(false);
    speakers.describe(L"Zol Headset", L"Speakers", kHeadsetId);
    ASSERT_EQ(applyEffectToSupportedDevices(kRenderFlow, true, false, false), 1);
    test::StandInService refusing({kAudioServiceName, {}, journal.path(), true});  // accepts no stop
    refusing.start();
    journal.clear();
    test::MessageBoxPresser presser(10000);
    EXPECT_EQ(applyEffectToSupportedDevices(kRenderFlow, false, false, false), kServiceNotRestarted);
    const auto box = presser.wait();
    ASSERT_TRUE(box) << "no message box appeared";
    EXPECT_EQ(box->text, L"ControlService failed for service \"AudioSrv\" (" + common::systemErrorText(1052) + L")");
    EXPECT_EQ(box->caption, host_utils::hostExecutablePath());
    EXPECT_FALSE(installedOn(speakers.id()));  // the endpoint was restored; the library stays registered
    EXPECT_TRUE(journal.lines().empty());
    EXPECT_TRUE(test::effectClassRegistered());
}

// Wine never lists dependents: the test names two running ones, as the system would in stop order.
class ListedDependents : public apo_install::DependentServiceEnumerator {
public:
    explicit ListedDependents(std::vector<std::wstring> names) : names_(std::move(names)) {}
    BOOL enumerate(SC_HANDLE, DWORD, ENUM_SERVICE_STATUSW* out, DWORD size, DWORD* needed, DWORD* count) const override {
        *needed = static_cast<DWORD>(names_.size() * (sizeof(ENUM_SERVICE_STATUSW) + 64 * sizeof(wchar_t)));
        if (size < *needed) return SetLastError(ERROR_MORE_DATA), FALSE;
        auto* text = reinterpret_cast<wchar_t*>(out + names_.size());
        for (std::size_t i = 0; i < names_.size(); ++i, text += 64) out[i] = {wcscpy(text, names_[i].c_str()), text, {}};
        return *count = static_cast<DWORD>(names_.size()), TRUE;
    }

private:
    std::vector<std::wstring> names_;
};

TEST_F(Driver, DependentsStopFirstInListedOrderAndStartLastInReverse) {
    test::StandInService a{{L"ZolTestDepA", {kAudioServiceName}, journal.path()}}, b{{L"ZolTestDepB", {kAudioServiceName}, journal.path()}};
    a.start(), b.start(), journal.clear();
    apo_install::restartService(kAudioServiceName, apo_install::kServiceTimeLimitSeconds, ListedDependents({L"ZolTestDepA", L"ZolTestDepB"}));
    EXPECT_EQ(journal.lines(), (Lines{"ZolTestDepA stop", "ZolTestDepB stop", "AudioSrv stop", "AudioSrv start", "ZolTestDepB start", "ZolTestDepA start"}));
}

TEST(EffectLibrary, FailuresAreReportedAndChangeNothing) {
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
    EXPECT_EQ(GetModuleHandleW(library.c_str()), nullptr);  // freed after each call
}

}  // namespace
}  // namespace zol::apo_install
