// The installation driver, the effect library's registration and the audio service's restart,
// against the test prefix's registry and service manager: endpoints of table devices, stand-in
// services and "ZolSoundAPO.dll" journalling what happens, in order.
#include <gtest/gtest.h>

#include "apo_install/apo_info.h"
#include "apo_install/effect_library.h"
#include "apo_install/endpoint_catalogue.h"
#include "apo_install/fx_properties.h"
#include "apo_install/install_driver.h"
#include "apo_install/service_control.h"
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
using test::ListedDependents;
using test::StandInService;
using test::TestEndpoint;
using Lines = std::vector<std::string>;
using test::classes::kVendorA;

// Property 39 as Windows writes it for a USB headset's endpoints.
const std::wstring kHeadsetId = L"{1}.USB\\VID_0A1B&PID_00C2&MI_00\\7&2F1B3C4D&0&0000";
const std::wstring kOtherId = L"{1}.USB\\VID_046D&PID_0A44&MI_00\\7&11AA22BB&0&0000";
const device_link::SupportedDevice kHeadset = {0x0A1B, 0x00C2, 0x00060003};
const Lines kInstalled = {"ZolSoundAPO DllRegisterServer", "AudioSrv stop", "AudioSrv start"};
const Lines kRemoved = {"AudioSrv stop", "AudioSrv start", "ZolSoundAPO DllUnregisterServer"};

bool systemEffectsOn(const TestEndpoint& e) {
    return test::storedValue(e.fx(), property::kDisableSystemEffects) == test::StoredValue{REG_DWORD, std::string(4, '\0')};
}

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
    EXPECT_TRUE(systemEffectsOn(speakers));
    EXPECT_TRUE(systemEffectsOn(microphone));
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
    EXPECT_TRUE(systemEffectsOn(speakers));
    EXPECT_TRUE(journal.lines().empty());
    ASSERT_TRUE(record.load(speakers.id(), L""));
    record.uninstall();
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
