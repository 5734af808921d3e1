// The installation driver against the test prefix's registry and service manager: endpoints of
// table devices, the stand-in "AudioSrv" and "ZolSoundAPO.dll" journalling what happens, in order.
#include <gtest/gtest.h>

#include "apo_install/apo_info.h"
#include "apo_install/endpoint_catalogue.h"
#include "apo_install/fx_properties.h"
#include "apo_install/install_driver.h"
#include "common/product_key.h"
#include "common/system_error.h"
#include "device_link/supported_devices.h"
#include "host_utils/host_path.h"
#include "support/endpoint_fixture.h"
#include "support/message_box.h"
#include "support/scratch_directory.h"
#include "support/scratch_key.h"
#include "support/standin_effect_library.h"
#include "support/standin_services.h"

namespace zol::apo_install {
namespace {

using test::installedOn;
using test::TestEndpoint;
using Lines = std::vector<std::string>;
using test::classes::kVendorA;

// Property 39 as Windows writes it for a USB headset's endpoints.
const std::wstring kHeadsetId = L"{1}.USB\\VID_0A1B&PID_00C2&MI_00\\7&2F1B3C4D&0&0000";
const std::wstring kOtherId = L"{1}.USB\\VID_046D&PID_0A44&MI_00\\7&11AA22BB&0&0000";
const device_link::SupportedDevice kHeadset = {0x0A1B, 0x00C2, 0x00060003};
const Lines kInstalled = {"ZolSoundAPO DllRegisterServer", "AudioSrv stop", "AudioSrv start"};
const Lines kRemoved = {"AudioSrv stop", "AudioSrv start", "ZolSoundAPO DllUnregisterServer"};

std::optional<DWORD> systemEffectsSwitch(const TestEndpoint& e) { return test::storedDword(e.fx(), property::kDisableSystemEffects); }

class Driver : public ::testing::Test {
protected:
    Driver() {
        test::removeEffectClasses();
        audio.start();
        journal.clear();
    }
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
    EXPECT_TRUE(installedOn(speakers.id()) && installedOn(microphone.id()));
    EXPECT_EQ(systemEffectsSwitch(speakers), DWORD{0});
    EXPECT_EQ(systemEffectsSwitch(microphone), DWORD{0});
    EXPECT_EQ(journal.lines(), kInstalled);
    EXPECT_EQ(audio.state(), static_cast<DWORD>(SERVICE_RUNNING));

    journal.clear();
    EXPECT_EQ(applyEffectToSupportedDevices(kCaptureFlow, false, true, true), 2);
    EXPECT_EQ(journal.lines(), kRemoved);
    EXPECT_FALSE(test::effectClassRegistered());
    EXPECT_EQ(test::storedText(speakers.fx(), kFxSlotValueNames[kPreMixSlot]), kVendorA);
    EXPECT_FALSE(test::rawKeyExists(microphone.fx()));
    EXPECT_EQ(test::storedTree(unrelated.key()), unrelatedBefore);
}

TEST_F(Driver, NothingToChangeTouchesNeitherLibraryNorServiceButSwitchesSystemEffectsOn) {
    EXPECT_EQ(applyEffectToSupportedDevices(kCaptureFlow, true, true, true), 0);  // no endpoint of the device
    EXPECT_EQ(applyEffectToSupportedDevices(kCaptureFlow, false, true, true), 0);
    TestEndpoint speakers(false);
    speakers.describe(L"Zol Headset", L"Speakers", kHeadsetId);
    DeviceAPOInfo record;
    ASSERT_TRUE(record.load(speakers.id(), L""));
    record.install();
    speakers.fxDword(property::kDisableSystemEffects, 1);
    EXPECT_EQ(applyEffectToSupportedDevices(kCaptureFlow, true, true, true), 0);
    EXPECT_EQ(systemEffectsSwitch(speakers), DWORD{0});
    EXPECT_TRUE(journal.lines().empty());
    ASSERT_TRUE(record.load(speakers.id(), L""));
    record.uninstall();
}

TEST_F(Driver, EnableAllDevOnlyWhenExactlyTrue) {
    for (const wchar_t* text : {L"TRUE", L"1", L"true ", L"true"}) {
        test::rawSetText(common::kProductKey, kEnableAllDevValue, text);
        EXPECT_EQ(isEnableAllDevOn(), std::wstring(text) == L"true") << test::narrow(text);
    }
}

TEST_F(Driver, BluetoothEntryOnTheFirstFlowOnly) {
    const device_link::SupportedDevice entry = {0x01001122, 0x000000, 0x00FFFF};
    device_link::ScopedSupportedDeviceTable bluetooth(&entry, 1);
    test::PairedBluetoothDevices paired({{L"Zol BT", 0x001122000042ull}});
    const std::wstring hardwareId = L"BTHHFENUM\\{0000111e-0000-1000-8000-00805f9b34fb}_VID&0002000a_PID&0001";
    TestEndpoint microphone(true), speakers(false);
    for (TestEndpoint* e : {&microphone, &speakers})
        e->describe(L"Zol BT", L"Zol BT Hands-Free", hardwareId).property(property::kHardwareIdFallback, hardwareId);
    EXPECT_EQ(applyEffectToSupportedDevices(kCaptureFlow, true, true, false), 1);
    EXPECT_TRUE(installedOn(microphone.id()) && !installedOn(speakers.id()));  // bothFlows is for USB entries
    EXPECT_EQ(journal.lines(), kInstalled);
    EXPECT_EQ(applyEffectToBluetoothDevice(kCaptureFlow, false, entry.word0, entry.word1, entry.word2), 1);
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

}  // namespace
}  // namespace zol::apo_install
