// The installation driver against the test prefix's registry and service manager: seeded
// endpoints of table devices, a stand-in "AudioSrv" (tests/standins/audio_service) and the
// stand-in "ZolSoundAPO.dll" beside this program, both writing what happens to one journal, so
// the order of registration, restart and unregistration is read from there.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <map>

#include "common/system_error.h"
#include "apo_install/apo_info.h"
#include "apo_install/effect_library.h"
#include "apo_install/endpoint_catalogue.h"
#include "support/endpoint_fixture.h"
#include "apo_install/fx_properties.h"
#include "apo_install/install_driver.h"
#include "support/install_fixture.h"
#include "common/product_key.h"
#include "host_utils/host_path.h"
#include "device_link/supported_devices.h"
#include "registry/registry.h"
#include "support/debug_channel.h"
#include "support/message_box.h"
#include "support/scratch_directory.h"
#include "support/scratch_key.h"
#include "support/standin_effect_library.h"
#include "support/standin_services.h"

namespace zol::apo_install {
namespace {

using device_link::ScopedSupportedDeviceTable;
using device_link::SupportedDevice;
using test::narrow;
using test::storedDword;
using test::storedText;
using test::storedValue;
using test::TestEndpoint;
using Lines = std::vector<std::string>;

using test::classes::kVendorA;
// The hardware ids Windows gives the endpoints of a USB headset (property 39): the interface's
// device instance path behind an enumerator prefix.
const std::wstring kHeadsetHardwareId = L"{1}.USB\\VID_0A1B&PID_00C2&MI_00\\7&2F1B3C4D&0&0000";
const std::wstring kOtherHardwareId = L"{1}.USB\\VID_046D&PID_0A44&MI_00\\7&11AA22BB&0&0000";
const SupportedDevice kHeadset = {0x0A1B, 0x00C2, 0x00060003};
// A Bluetooth entry: company part 0x001122, lower address bits 0x000000 to 0x00FFFF.
const SupportedDevice kBluetoothHeadset = {0x01001122, 0x000000, 0x00FFFF};

std::wstring slot(std::size_t i) { return kFxSlotValueNames[i]; }

bool installedOn(const TestEndpoint& endpoint, bool previousOs = false) {
    return test::installedOn(endpoint.id(), previousOs);
}



void setEnableAllDev(const std::wstring& text) { test::rawSetText(zol::common::kProductKey, kEnableAllDevValue, text); }

// Wine's own endpoints lack the name and hardware id that Windows always writes, so loading them
// raises. For the all-endpoints pass, give every endpoint of the prefix what Windows would have
// written; take back afterwards what was added (and what the pass left on Wine's endpoints).
class WindowsLikeEndpoints {
public:
    WindowsLikeEndpoints() {
        test::touchAudioStack();
        for (std::uint8_t flow : {kRenderFlow, kCaptureFlow}) {
            const std::wstring flowKey = flowKeyPath(false, flow);
            if (!test::rawKeyExists(flowKey)) continue;
            for (const std::wstring& id : registry::listSubkeys(flowKey)) {
                Endpoint e{flowKey + L"\\" + id, {}, test::rawKeyExists(flowKey + L"\\" + id + L"\\FxProperties"),
                           test::rawKeyExists(flowKey + L"\\" + id + L"\\Properties") &&
                               storedValue(flowKey + L"\\" + id + L"\\Properties", kDeviceInterfacePathProperty)};
                const std::wstring properties = e.key + L"\\Properties";
                const std::pair<const wchar_t*, std::wstring> windowsWrites[] = {
                    {property::kDeviceDescription, L"Speakers"},
                    {property::kEndpointName, L"Wine endpoint"},
                    {property::kHardwareId, L"{1}.PULSE\\" + id}};
                for (const auto& [name, text] : windowsWrites) {
                    if (storedValue(properties, name)) continue;
                    test::rawSetText(properties, name, text);
                    e.added.emplace_back(name);
                }
                endpoints_.push_back(std::move(e));
            }
        }
    }
    ~WindowsLikeEndpoints() {
        for (const Endpoint& e : endpoints_) {
            for (const std::wstring& name : e.added) test::rawDeleteValue(e.key + L"\\Properties", name);
            if (!e.hadFx) test::rawDeleteTree(e.key + L"\\FxProperties");
            if (!e.hadInterfacePath) test::rawDeleteValue(e.key + L"\\Properties", kDeviceInterfacePathProperty);
        }
    }
    std::size_t count() const { return endpoints_.size(); }

private:
    struct Endpoint {
        std::wstring key;
        std::vector<std::wstring> added;
        bool hadFx;
        bool hadInterfacePath;
    };
    std::vector<Endpoint> endpoints_;
};

class Driver : public ::testing::Test {
protected:
    Driver() {
        test::removeEffectClasses();
        audio.start();
        journal.clear();
    }
    ~Driver() override { test::removeEffectClasses(); }

    test::StandInServiceOptions audioOptions(bool refuseStop = false) {
        test::StandInServiceOptions o;
        o.name = kAudioServiceName;
        o.journal = journal.path();
        o.refuseStop = refuseStop;
        return o;
    }

    test::ProductKeyGuard productKey;
    test::ScratchDirectory workingDirectory{L"zol-install", true};
    test::DebugChannelListener channel;
    test::EventJournal journal;
    test::StandInService audio{audioOptions()};
};

TEST_F(Driver, TableDeviceOnBothFlowsAndAnUnrelatedDevice) {
    ScopedSupportedDeviceTable table(&kHeadset, 1);
    TestEndpoint speakers(false), microphone(true), unrelated(false);
    speakers.describe(L"Zol Headset", L"Speakers", kHeadsetHardwareId).fxValue(slot(kPreMixSlot), kVendorA);
    microphone.describe(L"Zol Headset", L"Microphone", kHeadsetHardwareId);
    unrelated.describe(L"Webcam", L"Speakers", kOtherHardwareId)
        .fxValue(slot(kPreMixSlot), kVendorA)
        .fxDword(property::kDisableSystemEffects, 1);
    const auto unrelatedBefore = test::storedTree(unrelated.fx(), false);

    EXPECT_EQ(applyEffectToSupportedDevices(kCaptureFlow, true, true, true), 2);
    EXPECT_TRUE(installedOn(speakers));
    EXPECT_TRUE(installedOn(microphone));
    EXPECT_EQ(storedDword(speakers.fx(), property::kDisableSystemEffects), DWORD{0});
    EXPECT_EQ(storedDword(microphone.fx(), property::kDisableSystemEffects), DWORD{0});
    EXPECT_EQ(journal.lines(), (Lines{"ZolSoundAPO DllRegisterServer", "AudioSrv stop", "AudioSrv start"}));
    EXPECT_TRUE(test::streamEffectClassRegistered());
    EXPECT_TRUE(test::endpointEffectClassRegistered());
    EXPECT_EQ(audio.state(), static_cast<DWORD>(SERVICE_RUNNING));

    journal.clear();
    EXPECT_EQ(applyEffectToSupportedDevices(kCaptureFlow, false, true, true), 2);
    EXPECT_EQ(journal.lines(), (Lines{"AudioSrv stop", "AudioSrv start", "ZolSoundAPO DllUnregisterServer"}));
    EXPECT_FALSE(test::streamEffectClassRegistered());
    EXPECT_FALSE(installedOn(speakers));
    EXPECT_EQ(storedText(speakers.fx(), slot(kPreMixSlot)), kVendorA);
    EXPECT_FALSE(test::rawKeyExists(microphone.fx()));
    EXPECT_FALSE(test::rawKeyExists(kChildApoStoreKey));

    EXPECT_EQ(test::storedTree(unrelated.fx(), false), unrelatedBefore);
    EXPECT_FALSE(test::rawKeyExists(childApoStoreKeyPath(unrelated.id())));
}

TEST_F(Driver, OneFlowOnlyWithoutBothFlows) {
    ScopedSupportedDeviceTable table(&kHeadset, 1);
    TestEndpoint speakers(false), microphone(true);
    speakers.describe(L"Zol Headset", L"Speakers", kHeadsetHardwareId);
    microphone.describe(L"Zol Headset", L"Microphone", kHeadsetHardwareId);
    EXPECT_EQ(applyEffectToSupportedDevices(kRenderFlow, true, false, false), 1);
    EXPECT_TRUE(installedOn(speakers));
    EXPECT_FALSE(installedOn(microphone));
    EXPECT_FALSE(test::rawKeyExists(microphone.fx()));
    EXPECT_EQ(applyEffectToSupportedDevices(kRenderFlow, false, false, false), 1);
}

TEST_F(Driver, NothingToDoTouchesNeitherLibraryNorService) {
    ScopedSupportedDeviceTable table(&kHeadset, 1);
    // No endpoint of the device at all.
    EXPECT_EQ(applyEffectToSupportedDevices(kCaptureFlow, true, true, true), 0);
    EXPECT_EQ(applyEffectToSupportedDevices(kCaptureFlow, false, true, true), 0);
    EXPECT_TRUE(journal.lines().empty());

    // Already installed everywhere: still 0, but each endpoint's system effects are switched on.
    TestEndpoint speakers(false);
    speakers.describe(L"Zol Headset", L"Speakers", kHeadsetHardwareId);
    DeviceAPOInfo record;
    ASSERT_TRUE(record.load(speakers.id(), L""));
    record.install();
    test::rawSetValue(speakers.fx(), property::kDisableSystemEffects, REG_DWORD, "\x01\0\0\0", 4);
    EXPECT_EQ(applyEffectToSupportedDevices(kCaptureFlow, true, true, true), 0);
    EXPECT_EQ(storedDword(speakers.fx(), property::kDisableSystemEffects), DWORD{0});
    EXPECT_TRUE(journal.lines().empty());
    EXPECT_FALSE(test::streamEffectClassRegistered());
    ASSERT_TRUE(record.load(speakers.id(), L""));
    record.uninstall();
}

TEST_F(Driver, EnableAllDevNeedsExactlyTrue) {
    ScopedSupportedDeviceTable table(&kHeadset, 1);
    TestEndpoint speakers(false), unrelated(false);
    speakers.describe(L"Zol Headset", L"Speakers", kHeadsetHardwareId);
    unrelated.describe(L"Webcam", L"Speakers", kOtherHardwareId);
    for (const wchar_t* text : {L"TRUE", L"1", L"true "}) {
        SCOPED_TRACE(narrow(text));
        setEnableAllDev(text);
        EXPECT_FALSE(isEnableAllDevOn());
        journal.clear();
        EXPECT_EQ(applyEffectToSupportedDevices(kCaptureFlow, true, true, true), 1);
        EXPECT_EQ(journal.lines().front(), "ZolSoundAPO DllRegisterServer");  // the table pass ran
        EXPECT_FALSE(installedOn(unrelated));
        EXPECT_EQ(applyEffectToSupportedDevices(kCaptureFlow, false, true, true), 1);
    }
    // "true" without honourEnableAllDev: the table pass as well.
    setEnableAllDev(L"true");
    EXPECT_TRUE(isEnableAllDevOn());
    EXPECT_EQ(applyEffectToSupportedDevices(kCaptureFlow, true, true, false), 1);
    EXPECT_FALSE(installedOn(unrelated));
    EXPECT_EQ(applyEffectToSupportedDevices(kCaptureFlow, false, true, false), 1);
}

TEST_F(Driver, EnableAllDevTreatsEveryEndpoint) {
    ScopedSupportedDeviceTable table(&kHeadset, 1);
    WindowsLikeEndpoints windowsLike;
    TestEndpoint speakers(false), unrelated(false), unrelatedMic(true);
    speakers.describe(L"Zol Headset", L"Speakers", kHeadsetHardwareId);
    unrelated.describe(L"Webcam", L"Speakers", kOtherHardwareId);
    unrelatedMic.describe(L"Webcam", L"Microphone", kOtherHardwareId).fxValue(slot(kStreamSlot), kVendorA);
    const std::size_t all = windowsLike.count() + 3;
    setEnableAllDev(L"true");

    EXPECT_EQ(applyEffectToSupportedDevices(kCaptureFlow, true, true, true), static_cast<std::int32_t>(all));
    for (const TestEndpoint* e : {&speakers, &unrelated, &unrelatedMic}) {
        EXPECT_TRUE(installedOn(*e));
        EXPECT_EQ(storedDword(e->fx(), property::kDisableSystemEffects), DWORD{0});
    }
    // No registration in this mode, only the restart.
    EXPECT_EQ(journal.lines(), (Lines{"AudioSrv stop", "AudioSrv start"}));

    journal.clear();
    EXPECT_EQ(applyEffectToAllEndpoints(true), 0);  // nothing left to do: no restart
    EXPECT_TRUE(journal.lines().empty());

    EXPECT_EQ(applyEffectToSupportedDevices(kCaptureFlow, false, true, true), static_cast<std::int32_t>(all));
    EXPECT_EQ(journal.lines(), (Lines{"AudioSrv stop", "AudioSrv start"}));
    EXPECT_EQ(storedText(unrelatedMic.fx(), slot(kStreamSlot)), kVendorA);
    EXPECT_FALSE(test::rawKeyExists(kChildApoStoreKey));
}

TEST_F(Driver, DeviceWithAnEndpointThatVanishesBeforeItsLoad) {
    ScopedSupportedDeviceTable table(&kHeadset, 1);
    TestEndpoint first(true), second(true);
    first.describe(L"Zol Headset", L"Microphone", kHeadsetHardwareId);
    second.describe(L"Zol Headset", L"Microphone 2", kHeadsetHardwareId);
    // Whichever endpoint the search lists first: when its load begins, the other one is
    // unplugged and its key goes; the pass cannot log the next load before this hook returns.
    std::wstring vanished;
    const auto unplugTheOtherOnFirstLoad = [&](const TestEndpoint& a, const TestEndpoint& b) {
        vanished.clear();
        channel.setHook([&vanished, a = &a, b = &b](const std::string& line) {
            if (!vanished.empty() || line.rfind("[brisol]load(", 0) != 0) return;
            vanished = line.find(narrow(a->id())) != std::string::npos ? b->key() : a->key();
            test::rawDeleteTree(vanished);
        });
    };
    unplugTheOtherOnFirstLoad(first, second);
    EXPECT_EQ(applyEffectToUsbDevice(kCaptureFlow, true, 0x0A1B, 0x00C2), -1);
    channel.setHook(nullptr);
    ASSERT_FALSE(vanished.empty());
    const TestEndpoint& kept = vanished == first.key() ? second : first;
    EXPECT_TRUE(installedOn(kept));  // changed, though the device counts for nothing
    EXPECT_FALSE(test::rawKeyExists(vanished));

    // In the table pass that device adds nothing: no registration, no restart.
    DeviceAPOInfo record;
    ASSERT_TRUE(record.load(kept.id(), L""));
    record.uninstall();
    TestEndpoint third(true);
    third.describe(L"Zol Headset", L"Microphone 3", kHeadsetHardwareId);
    unplugTheOtherOnFirstLoad(kept, third);
    EXPECT_EQ(applyEffectToSupportedDevices(kCaptureFlow, true, false, false), 0);
    channel.setHook(nullptr);
    EXPECT_TRUE(journal.lines().empty());
    const TestEndpoint& left = vanished == kept.key() ? third : kept;
    if (installedOn(left) && record.load(left.id(), L"")) record.uninstall();
}

TEST_F(Driver, BluetoothEntryOnTheFirstFlowOnly) {
    const SupportedDevice entries[] = {kBluetoothHeadset};
    ScopedSupportedDeviceTable table(entries, 1);
    test::PairedBluetoothDevices paired({{L"Zol BT", 0x001122000042ull}});
    TestEndpoint microphone(true), speakers(false);
    const std::wstring btHardwareId = L"BTHHFENUM\\{0000111e-0000-1000-8000-00805f9b34fb}_VID&0002000a_PID&0001";
    microphone.describe(L"Zol BT", L"Zol BT Hands-Free", btHardwareId).property(property::kHardwareIdFallback,
                                                                              btHardwareId);
    speakers.describe(L"Zol BT", L"Zol BT Hands-Free AG Audio", btHardwareId)
        .property(property::kHardwareIdFallback, btHardwareId);

    EXPECT_EQ(applyEffectToSupportedDevices(kCaptureFlow, true, true, false), 1);
    EXPECT_TRUE(installedOn(microphone));
    EXPECT_FALSE(installedOn(speakers));  // bothFlows does not apply to Bluetooth entries
    EXPECT_EQ(storedDword(microphone.fx(), property::kDisableSystemEffects), DWORD{0});
    EXPECT_EQ(journal.lines(), (Lines{"ZolSoundAPO DllRegisterServer", "AudioSrv stop", "AudioSrv start"}));
    EXPECT_EQ(applyEffectToBluetoothDevice(kCaptureFlow, true, entries[0].word0, entries[0].word1, entries[0].word2),
              0);
    EXPECT_EQ(applyEffectToBluetoothDevice(kCaptureFlow, false, entries[0].word0, entries[0].word1, entries[0].word2),
              1);
}

TEST_F(Driver, BluetoothEndpointOfThePreviousOsTree) {
    const SupportedDevice entry = kBluetoothHeadset;
    test::PairedBluetoothDevices paired({{L"Zol BT", 0x00112200FFFFull}});
    const std::wstring btHardwareId = L"BTHENUM\\{0000110b-0000-1000-8000-00805f9b34fb}_LOCALMFG&000a";
    TestEndpoint older(true, true);
    older.describe(L"Zol BT", L"Zol BT", btHardwareId).property(property::kHardwareIdFallback, btHardwareId);
    EXPECT_EQ(applyEffectToBluetoothDevice(kCaptureFlow, true, entry.word0, entry.word1, entry.word2), 1);
    EXPECT_TRUE(installedOn(older, true));
    // The switch is written through the current tree only: this endpoint is not there.
    EXPECT_FALSE(storedValue(older.fx(), property::kDisableSystemEffects));
    EXPECT_EQ(applyEffectToBluetoothDevice(kCaptureFlow, false, entry.word0, entry.word1, entry.word2), 1);

    // Out of the address range in both trees: no endpoint.
    EXPECT_EQ(applyEffectToBluetoothDevice(kCaptureFlow, true, entry.word0, 0x010000, 0x01FFFF), -1);
}

TEST_F(Driver, FailedRestartShowsTheMessageAndSkipsUnregistration) {
    ScopedSupportedDeviceTable table(&kHeadset, 1);
    TestEndpoint speakers(false);
    speakers.describe(L"Zol Headset", L"Speakers", kHeadsetHardwareId);
    ASSERT_EQ(applyEffectToSupportedDevices(kRenderFlow, true, false, false), 1);

    // An "AudioSrv" that runs but does not accept the stop request.
    test::StandInService::remove(kAudioServiceName);
    test::StandInService refusing(audioOptions(true));
    refusing.start();
    journal.clear();

    std::int32_t result = 0;
    std::optional<test::SeenMessageBox> box;
    const auto answeringTheBox = [&](const std::function<std::int32_t()>& call) {
        test::MessageBoxPresser presser(10000);
        result = call();
        box = presser.wait();
    };
    answeringTheBox([] { return applyEffectToSupportedDevices(kRenderFlow, false, false, false); });
    EXPECT_EQ(result, kServiceNotRestarted);
    ASSERT_TRUE(box) << "no message box appeared";
    EXPECT_EQ(box->text, L"ControlService failed for service \"AudioSrv\" (" + zol::common::systemErrorText(1052) + L")");
    EXPECT_EQ(box->caption, host_utils::hostExecutablePath());
    // The endpoint was restored, but the library stays registered: its step comes after the restart.
    EXPECT_FALSE(installedOn(speakers));
    EXPECT_EQ(journal.lines(), Lines{});
    EXPECT_TRUE(test::streamEffectClassRegistered());

    // The all-endpoints pass reports the same way, under the same caption.
    WindowsLikeEndpoints windowsLike;
    answeringTheBox([] { return applyEffectToAllEndpoints(true); });
    EXPECT_EQ(result, kServiceNotRestarted);
    ASSERT_TRUE(box) << "no message box appeared";
    EXPECT_EQ(box->caption, host_utils::hostExecutablePath());
    EXPECT_TRUE(installedOn(speakers));  // registry changes stay
    test::StandInService::remove(kAudioServiceName);
    test::StandInService again(audioOptions());
    again.start();
    EXPECT_GT(applyEffectToAllEndpoints(false), 0);
}

}  // namespace
}  // namespace zol::apo_install
