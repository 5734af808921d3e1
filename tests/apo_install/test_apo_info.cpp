// Installation records loaded from endpoints in every slot combination and store layout.
#include <gtest/gtest.h>
#include <objbase.h>

#include "common/windows_version.h"
#include "common/system_error.h"
#include "apo_install/apo_info.h"
#include "apo_install/endpoint_catalogue.h"
#include "support/endpoint_fixture.h"
#include "registry/registry.h"
#include "support/debug_channel.h"
#include "support/scratch_key.h"

namespace zol::apo_install {
namespace {

using test::narrow;
using test::TestChildStore;
using test::TestEndpoint;
namespace p = property;

using namespace test::classes;

std::wstring slot(FxSlot i) { return kFxSlotValueNames[i]; }

InstallOptions options(bool pre, bool post, bool keepPre, bool keepPost, std::uint32_t style, bool silent) {
    return InstallOptions{pre, post, keepPre, keepPost, style, silent};
}

std::string describe(const InstallOptions& o) {
    return std::to_string(o.preMixSlot) + std::to_string(o.postMixSlot) + std::to_string(o.keepPreMixChild) +
           std::to_string(o.keepPostMixChild) + " style " + std::to_string(o.slotStyle) + " silent " +
           std::to_string(o.allowSilentBufferModification);
}

#define EXPECT_OPTIONS(actual, expected) EXPECT_EQ(describe(actual), describe(expected))

std::string loadFailure(DeviceAPOInfo& record, const std::wstring& id, bool reload = false) {
    return test::registryMessageOf([&] { reload ? record.reload(id, L"") : record.load(id, L""); });
}

class Records : public ::testing::Test {
protected:
    test::DebugChannelListener channel;
};

TEST_F(Records, EndpointWithoutFxProperties) {
    for (bool capture : {false, true}) {
        TestEndpoint endpoint(capture);
        endpoint.describe(L"Zol Headset", L"Speakers", L"USB\\VID_0A1B&PID_00C2&MI_00");
        channel.clear();
        DeviceAPOInfo record;
        ASSERT_TRUE(record.load(endpoint.id(), L"{ignored}"));
        EXPECT_EQ(record.isCapture(), capture);
        EXPECT_EQ(record.getEndpointName(), L"Speakers");
        EXPECT_EQ(record.getDeviceDescription(), L"Zol Headset");
        EXPECT_EQ(record.getDisplayText(), L"Zol Headset Speakers " + endpoint.id());
        for (const std::wstring& saved : record.orgGuid) EXPECT_EQ(saved, L"!KEY");
        EXPECT_FALSE(record.isInstalled());
        EXPECT_TRUE(record.hasNoEffects());
        EXPECT_FALSE(record.isOutdated());
        EXPECT_EQ(record.version, L"0");
        EXPECT_FALSE(record.isDefaultEndpoint());
        EXPECT_OPTIONS(record.loadedOptions, options(true, !capture, true, !capture, 0, false));
        EXPECT_EQ(channel.ownLines(), (std::vector<std::string>{"[brisol]load(" + narrow(endpoint.id()) + ")",
                                                                "[brisol]:FxProperties NOT exist"}));
    }
}

TEST_F(Records, SlotStyleOfAnEndpointWithoutTheEffect) {
    // Windows 10 here (Wine's kernel32 reports 10.0); the older-system branch (style 0 whatever
    // the slots) needs a kernel32 older than 6.3 and is not reachable on this platform.
    ASSERT_TRUE(zol::common::isWindowsVersionAtLeast(6, 3));
    struct Case {
        const char* what;
        std::vector<std::pair<std::wstring, std::wstring>> fx;
        bool hint41;
        std::uint32_t style;
    } cases[] = {
        {"pre/post-mix only", {{slot(kPreMixSlot), kVendorA}, {slot(kPostMixSlot), kVendorB}}, true, 0},
        {"post-mix only", {{slot(kPostMixSlot), kVendorB}}, false, 0},
        {"plus stream, hint 41", {{slot(kPreMixSlot), kVendorA}, {slot(kStreamSlot), kVendorC}}, true, 1},
        {"plus stream, no hint", {{slot(kPreMixSlot), kVendorA}, {slot(kStreamSlot), kVendorC}}, false, 2},
        {"plus value 13", {{slot(kPreMixSlot), kVendorA}, {L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},13", L"x"}}, false, 2},
        {"plus value 15", {{slot(kPreMixSlot), kVendorA}, {L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},15", L"x"}}, true, 1},
        {"none of the five, hint 41", {}, true, 1},
        {"none of the five", {}, false, 2},
        {"mode and endpoint", {{slot(kModeSlot), kVendorC}, {slot(kEndpointSlot), kVendorD}}, false, 2},
    };
    for (const Case& c : cases) {
        TestEndpoint endpoint(false);
        endpoint.describe(L"D", L"N", L"H").emptyFx();
        if (c.hint41) endpoint.property(p::kSlotStyleHint, L"");
        for (const auto& [name, text] : c.fx) endpoint.fxValue(name, text);
        DeviceAPOInfo record;
        ASSERT_TRUE(record.load(endpoint.id(), L""));
        EXPECT_FALSE(record.isInstalled()) << c.what;
        EXPECT_FALSE(record.hasNoEffects()) << c.what;
        EXPECT_OPTIONS(record.loadedOptions, options(true, true, true, true, c.style, false)) << c.what;
    }
}

TEST_F(Records, SavedRegistrationsAndTheirLogLines) {
    TestEndpoint endpoint(true);
    endpoint.describe(L"D", L"N", L"H").fxValue(slot(kPreMixSlot), kVendorA).fxValue(slot(kModeSlot), kVendorB);
    channel.clear();
    DeviceAPOInfo record;
    ASSERT_TRUE(record.load(endpoint.id(), L""));
    const std::array<std::wstring, 5> expected = {kVendorA, L"!VALUE", L"!VALUE", kVendorB, L"!VALUE"};
    EXPECT_EQ(record.orgGuid, expected);
    std::vector<std::string> lines = {"[brisol]load(" + narrow(endpoint.id()) + ")"};
    for (int i = 0; i < 5; ++i) lines.push_back("[brisol]:orgGuid[" + std::to_string(i) + "]=" + narrow(expected[i]));
    EXPECT_EQ(channel.ownLines(), lines);
}

TEST_F(Records, LowerCaseEffectClassCountsAsInstalledWithoutAStore) {
    TestEndpoint endpoint(false);
    std::wstring lower = kStreamText;
    CharLowerBuffW(lower.data(), static_cast<DWORD>(lower.size()));
    endpoint.describe(L"D", L"N", L"H").fxValue(slot(kStreamSlot), lower).fxValue(slot(kPreMixSlot), L"not a guid");
    channel.clear();
    DeviceAPOInfo record;
    ASSERT_TRUE(record.load(endpoint.id(), L""));
    EXPECT_TRUE(record.isInstalled());
    EXPECT_EQ(record.version, L"0");
    EXPECT_TRUE(record.isOutdated());
    EXPECT_TRUE(record.hasPendingChange());  // never installed by this record: applied options are zero
    EXPECT_EQ(record.orgGuid[kStreamSlot], lower);  // the effect's own registration
    EXPECT_EQ(record.preMixChild, L"");
    EXPECT_OPTIONS(record.loadedOptions, options(true, true, true, true, 0, false));
    const auto lines = channel.ownLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "[brisol]:drv is installed");
}

TEST_F(Records, UnsupportedStoreVersion) {
    TestEndpoint endpoint(false);
    endpoint.describe(L"D", L"N", L"H").fxValue(slot(kStreamSlot), kStreamText);
    TestChildStore store(endpoint.id());
    for (const wchar_t* bad : {L"3", L"", L"2 ", L"1"}) {
        store.value(L"Version", bad);
        DeviceAPOInfo record;
        EXPECT_EQ(loadFailure(record, endpoint.id()), "Unsupported version of APO installation detected!")
            << narrow(bad);
        EXPECT_TRUE(record.isInstalled()) << "half filled when it stops";
    }
}

TEST_F(Records, StoreLayoutOneTakesChildrenFromTheSavedSlots) {
    TestEndpoint streamStyle(false), mixStyle(false);
    streamStyle.describe(L"D", L"N", L"H").fxValue(slot(kStreamSlot), kStreamText).fxValue(slot(kEndpointSlot),
                                                                                            kEndpointText);
    TestChildStore streamStore(streamStyle.id());
    streamStore.value(slot(kStreamSlot), kVendorC).value(slot(kModeSlot), kVendorD).value(slot(kEndpointSlot),
                                                                                        L"!VALUE");
    DeviceAPOInfo record;
    ASSERT_TRUE(record.load(streamStyle.id(), L""));
    EXPECT_EQ(record.version, L"1");
    EXPECT_TRUE(record.isOutdated());
    EXPECT_EQ(record.preMixChild, kVendorC);
    EXPECT_EQ(record.postMixChild, kVendorD);
    EXPECT_EQ(record.orgGuid[kEndpointSlot], L"!VALUE");
    EXPECT_EQ(record.orgGuid[kPreMixSlot], L"!VALUE");  // not saved: what FxProperties had
    EXPECT_OPTIONS(record.loadedOptions, options(true, true, true, true, 0, false));

    mixStyle.describe(L"D", L"N", L"H").fxValue(slot(kPreMixSlot), kStreamText).fxValue(slot(kPostMixSlot),
                                                                                        kEndpointText);
    TestChildStore mixStore(mixStyle.id());
    mixStore.value(slot(kPreMixSlot), kVendorA).value(slot(kPostMixSlot), kVendorB).value(slot(kStreamSlot), kVendorC);
    ASSERT_TRUE(record.load(mixStyle.id(), L""));
    EXPECT_EQ(record.preMixChild, kVendorA);
    EXPECT_EQ(record.postMixChild, kVendorB);
}

TEST_F(Records, StoreLayoutTwo) {
    TestEndpoint endpoint(false);
    endpoint.describe(L"D", L"N", L"H")
        .fxValue(slot(kPreMixSlot), kVendorA)
        .fxValue(slot(kStreamSlot), kStreamText)
        .fxValue(slot(kEndpointSlot), kEndpointText);
    TestChildStore store(endpoint.id());
    store.value(L"Version", L"2")
        .value(slot(kPreMixSlot), kVendorA)
        .value(slot(kPostMixSlot), L"!VALUE")
        .value(slot(kStreamSlot), kVendorC)
        .value(slot(kModeSlot), L"!VALUE")
        .value(slot(kEndpointSlot), L"!VALUE")
        .value(L"PreMixChild", kVendorC)
        .value(L"PostMixChild", L"")
        .value(L"AllowSilentBufferModification", L"False");
    DeviceAPOInfo record;
    ASSERT_TRUE(record.load(endpoint.id(), L""));
    EXPECT_TRUE(record.isInstalled());
    EXPECT_FALSE(record.isOutdated());
    EXPECT_EQ(record.version, L"2");
    EXPECT_EQ(record.orgGuid, (std::array<std::wstring, 5>{kVendorA, L"!VALUE", kVendorC, L"!VALUE", L"!VALUE"}));
    EXPECT_EQ(record.preMixChild, kVendorC);
    EXPECT_EQ(record.postMixChild, L"");
    // Slots 2 and 4 hold the effect: both sides, stream/endpoint style; only "false" is false.
    EXPECT_OPTIONS(record.loadedOptions, options(true, true, true, false, 2, true));
    EXPECT_TRUE(record.hasPendingChange());
    record.appliedOptions = record.loadedOptions;
    EXPECT_FALSE(record.hasPendingChange());

    store.value(L"AllowSilentBufferModification", L"false").value(L"PreMixChild", L"");
    test::rawDeleteTree(endpoint.fx());
    endpoint.fxValue(slot(kModeSlot), kStreamText);  // only the mode slot: style 1, post-mix side
    ASSERT_TRUE(record.load(endpoint.id(), L""));
    EXPECT_OPTIONS(record.loadedOptions, options(false, true, false, false, 1, false));
    EXPECT_TRUE(record.hasPendingChange());
    EXPECT_EQ(record.orgGuid[kModeSlot], L"!VALUE");  // from the store, not FxProperties

    test::rawDeleteTree(endpoint.fx());
    endpoint.fxValue(slot(kPostMixSlot), kEndpointText);
    store.value(L"PreMixChild", kVendorA).value(L"PostMixChild", kVendorB);
    ASSERT_TRUE(record.load(endpoint.id(), L""));
    EXPECT_OPTIONS(record.loadedOptions, options(false, true, true, true, 0, false));
}

TEST_F(Records, LoadOfAnUnknownIdLeavesTheRecordAlone) {
    TestEndpoint endpoint(false), previous(true, true);
    endpoint.describe(L"D", L"N", L"H");
    previous.describe(L"Old", L"Mic", L"USB\\VID_0A1B&PID_00C2");
    DeviceAPOInfo record;
    ASSERT_TRUE(record.load(endpoint.id(), L""));
    EXPECT_FALSE(record.load(test::freshGuidText(), L""));
    EXPECT_FALSE(record.load(previous.id(), L""));  // only in the previous-OS tree
    EXPECT_EQ(record.getEndpointId(), endpoint.id());
    EXPECT_EQ(record.getDeviceDescription(), L"D");

    record.previousOs = true;
    ASSERT_TRUE(record.load(previous.id(), L""));
    EXPECT_TRUE(record.isCapture());
    EXPECT_EQ(record.getDeviceDescription(), L"Old");
    EXPECT_EQ(record.endpointKey(), previous.key());
    EXPECT_FALSE(record.load(endpoint.id(), L""));  // only in the current tree
}

TEST_F(Records, OddCharactersInEndpointIds) {
    for (const std::wstring& id : {std::wstring(L"{id} 100%s %d %n"), std::wstring(L"caf\u00e9 \"quoted\" <a|b>?*")}) {
        TestEndpoint endpoint(false, false, id);
        endpoint.describe(L"D", L"N", L"H");
        channel.clear();
        DeviceAPOInfo record;
        ASSERT_TRUE(record.load(id, L""));
        EXPECT_EQ(record.getEndpointId(), id);
        const auto lines = channel.ownLines();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(test::widen(lines.front()).size(), (L"[brisol]load(" + id + L")").size());
    }
    // An empty id names the flow key itself, which has no properties: the read raises.
    DeviceAPOInfo record;
    EXPECT_EQ(loadFailure(record, L"").rfind("Error while reading registry value ", 0), 0u);
}

TEST_F(Records, MistypedSlotValueRaises) {
    TestEndpoint endpoint(false);
    endpoint.describe(L"D", L"N", L"H").fxDword(slot(kStreamSlot), 1);
    DeviceAPOInfo record;
    EXPECT_EQ(loadFailure(record, endpoint.id()),
              narrow(L"Registry value " + endpoint.fx() + L"\\" + slot(kStreamSlot) + L" has wrong type"));
}

TEST_F(Records, MatchesDeviceByHardwareIdAsStored) {
    TestEndpoint upper(false), lower(false);
    upper.describe(L"D", L"N", L"USB\\VID_0A1B&PID_00C2&MI_00\\7&2f");
    lower.describe(L"D", L"N", L"usb\\vid_0a1b&pid_00c2&mi_00\\7&2f");
    DeviceAPOInfo record;
    ASSERT_TRUE(record.load(upper.id(), L""));
    EXPECT_TRUE(record.matchesDevice(0x0A1B, 0x00C2, 0x00010003));
    EXPECT_FALSE(record.matchesDevice(0x0A1B, 0x00C3, 0));
    ASSERT_TRUE(record.load(lower.id(), L""));
    EXPECT_FALSE(record.matchesDevice(0x0A1B, 0x00C2, 0));
    // Bluetooth entries go through matchesBluetoothDevice (the catalogue suite's rules).
}

// --- reload ---

TEST_F(Records, ReloadSkipsEndpointsThatAreNotPresent) {
    for (DWORD state : {0x4u, 0xCu}) {
        TestEndpoint endpoint(true);
        endpoint.describe(L"D", L"N", L"H").deviceState(state);
        DeviceAPOInfo record;
        channel.clear();
        EXPECT_FALSE(record.reload(endpoint.id(), L"{00000000-0000-0000-0000-000000000000}")) << state;
        EXPECT_TRUE(record.isCapture()) << "already set when the state test refuses";
        EXPECT_EQ(record.getEndpointId(), L"");
    }
    for (DWORD state : {0x1u, 0x2u, 0x8u}) {
        TestEndpoint endpoint(false);
        endpoint.describe(L"D", L"N", L"H").deviceState(state);
        DeviceAPOInfo record;
        channel.clear();
        EXPECT_TRUE(record.reload(endpoint.id(), L"{00000000-0000-0000-0000-000000000000}")) << state;
        EXPECT_EQ(record.getEndpointId(), endpoint.id());
        for (const std::string& line : channel.ownLines())
            EXPECT_EQ(line.find("[brisol]load"), std::string::npos) << "reload writes no log lines";
    }
}

TEST_F(Records, ReloadOfAMissingIdRaisesOnTheCaptureKey) {
    const std::wstring id = test::freshGuidText();
    DeviceAPOInfo record;
    EXPECT_EQ(loadFailure(record, id, true),
              narrow(L"Error while reading registry value " + endpointKeyPath(false, true, id) +
                     L"\\DeviceState: " + zol::common::systemErrorText(ERROR_INVALID_HANDLE)));
}

TEST_F(Records, ReloadUsesTheCurrentTreeAndTestsTheDefaultEndpoint) {
    TestEndpoint endpoint(false);
    endpoint.describe(L"D", L"N", L"H");
    std::wstring lower = endpoint.id();
    CharLowerBuffW(lower.data(), static_cast<DWORD>(lower.size()));
    DeviceAPOInfo record;
    record.previousOs = true;  // not consulted by reload
    ASSERT_TRUE(record.reload(endpoint.id(), lower));
    EXPECT_TRUE(record.isDefaultEndpoint());
    ASSERT_TRUE(record.reload(endpoint.id(), test::freshGuidText()));
    EXPECT_FALSE(record.isDefaultEndpoint());
    ASSERT_TRUE(record.reload(endpoint.id(), L"not a guid"));
    EXPECT_FALSE(record.isDefaultEndpoint());
    // load never tests it, even when handed the endpoint's own GUID
    record.previousOs = false;
    ASSERT_TRUE(record.load(endpoint.id(), endpoint.id()));
    EXPECT_FALSE(record.isDefaultEndpoint());

    // An empty GUID makes reload look the default endpoint up (Wine's own, not this one).
    test::touchAudioStack();
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    const std::wstring wineDefault = getDefaultEndpointGuid(kRenderFlow);
    EXPECT_FALSE(wineDefault.empty());
    ASSERT_TRUE(record.reload(endpoint.id(), L""));
    EXPECT_FALSE(record.isDefaultEndpoint());
    CoUninitialize();
}

TEST_F(Records, ReloadTakesTheOldestLayoutsChildIntoTheFirstEffectSlot) {
    TestEndpoint render(false), capture(true);
    render.describe(L"D", L"N", L"H").fxValue(slot(kModeSlot), kVendorA).fxValue(slot(kEndpointSlot), kEndpointText);
    capture.describe(L"D", L"N", L"H").fxValue(slot(kStreamSlot), kStreamText).fxValue(slot(kEndpointSlot),
                                                                                      kStreamText);
    TestChildStore renderStore(render.id()), captureStore(capture.id());
    test::rawDeleteTree(renderStore.subkey());
    test::rawDeleteTree(captureStore.subkey());
    renderStore.legacyChild(kVendorB);
    captureStore.legacyChild(kVendorC);

    DeviceAPOInfo record;
    ASSERT_TRUE(record.reload(render.id(), L"{00000000-0000-0000-0000-000000000000}"));
    EXPECT_EQ(record.version, L"0");
    EXPECT_EQ(record.orgGuid[kEndpointSlot], kVendorB);
    EXPECT_EQ(record.orgGuid[kModeSlot], kVendorA);
    EXPECT_EQ(record.postMixChild, kVendorB);
    EXPECT_EQ(record.preMixChild, L"");

    ASSERT_TRUE(record.reload(capture.id(), L"{00000000-0000-0000-0000-000000000000}"));
    EXPECT_EQ(record.orgGuid[kStreamSlot], kVendorC);
    EXPECT_EQ(record.orgGuid[kEndpointSlot], kStreamText);  // only the first effect slot
    EXPECT_EQ(record.preMixChild, kVendorC);
    EXPECT_EQ(record.postMixChild, L"");

    // load ignores the oldest layout: the effect's own registrations stay.
    ASSERT_TRUE(record.load(render.id(), L""));
    EXPECT_EQ(record.orgGuid[kEndpointSlot], kEndpointText);
    EXPECT_EQ(record.postMixChild, L"");
}

TEST(BackupFileName, NineCharactersBecomeUnderscores) {
    EXPECT_EQ(backupFileName(L"Speakers", L"Zol Headset"), L"backup_Speakers_Zol Headset.reg");
    EXPECT_EQ(backupFileName(L"a<b>c:d\"e", L"f/g\\h|i?j*k"), L"backup_a_b_c_d_e_f_g_h_i_j_k.reg");
    EXPECT_EQ(backupFileName(L"", L""), L"backup__.reg");
}

}  // namespace
}  // namespace zol::apo_install
