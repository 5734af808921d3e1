// Installing the effect on one endpoint and taking it off again, on endpoints laid out the way
// Windows writes them: what lands in "FxProperties", "Properties", the child-effect store and the
// backup file, and that removal gives back what the endpoint had.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "apo_install/apo_info.h"
#include "apo_install/endpoint_catalogue.h"
#include "support/endpoint_fixture.h"
#include "apo_install/fx_properties.h"
#include "support/install_fixture.h"
#include "registry/registry.h"
#include "support/debug_channel.h"
#include "support/scratch_directory.h"
#include "support/scratch_key.h"

namespace zol::apo_install {
namespace {

using test::narrow;
using test::storedDword;
using test::storedText;
using test::storedValue;
using test::TestChildStore;
using test::TestEndpoint;

using namespace test::classes;
const std::wstring kAbsent = L"<absent>";
const std::wstring kSlotStyleHint = property::kSlotStyleHint;

std::wstring slot(std::size_t i) { return kFxSlotValueNames[i]; }

// The kit's own progress lines ("[brisol]:..."), without the registry layer's write notes.
std::vector<std::string> progressLines(test::DebugChannelListener& channel) {
    std::vector<std::string> lines;
    for (const std::string& line : channel.ownLines())
        if (line.rfind("[brisol]:", 0) == 0) lines.push_back(line);
    return lines;
}

DeviceAPOInfo loaded(const TestEndpoint& endpoint) {
    DeviceAPOInfo record;
    EXPECT_TRUE(record.load(endpoint.id(), L""));
    return record;
}

class FxEdit : public ::testing::Test {
protected:
    test::ProductKeyGuard productKey;
    test::ScratchDirectory workingDirectory{L"zol-install", true};
    test::DebugChannelListener channel;
};

TEST_F(FxEdit, RenderEndpointWithMixEffects) {
    TestEndpoint endpoint(false);
    endpoint.describe(L"Zol Headset", L"Line: 1/2", L"USB\\VID_0A1B&PID_00C2&MI_00")
        .fxValue(slot(kPreMixSlot), kVendorA)
        .fxValue(slot(kPostMixSlot), kVendorB)
        .fxDword(property::kDisableSystemEffects, 1);
    DeviceAPOInfo record = loaded(endpoint);
    ASSERT_EQ(record.loadedOptions.slotStyle, 0u);
    channel.clear();
    record.install();

    EXPECT_EQ(progressLines(channel),
              (std::vector<std::string>{"[brisol]:backup org Effects", "[brisol]:installing Effects",
                                        "[brisol]:proc m_sfx", "[brisol]:proc efx", "[brisol]:ext proc",
                                        "[brisol]:enable enhance"}));
    EXPECT_TRUE(record.appliedOptions == record.loadedOptions);

    const std::wstring store = childApoStoreKeyPath(endpoint.id());
    const std::wstring saved[] = {kVendorA, kVendorB, L"!VALUE", L"!VALUE", L"!VALUE"};
    for (std::size_t i = 0; i < kFxSlotCount; ++i) EXPECT_EQ(storedText(store, slot(i)), saved[i]) << i;
    EXPECT_EQ(storedText(store, L"PreMixChild"), kVendorA);
    EXPECT_EQ(storedText(store, L"PostMixChild"), kVendorB);
    EXPECT_EQ(storedText(store, L"AllowSilentBufferModification"), L"false");
    EXPECT_EQ(storedText(store, L"Version"), L"2");

    const std::wstring fx = endpoint.fx();
    EXPECT_EQ(storedText(fx, slot(kPreMixSlot)), kVendorA);
    EXPECT_EQ(storedText(fx, slot(kPostMixSlot)), kVendorB);
    EXPECT_EQ(storedText(fx, slot(kStreamSlot)), kStreamText);
    EXPECT_EQ(storedText(fx, slot(kModeSlot)), kAbsent);
    EXPECT_EQ(storedText(fx, slot(kEndpointSlot)), kEndpointText);
    const std::wstring modes(L"{C18E2F7E-933D-4965-B7D1-1EEF228D2AF3}\0\0", 40);
    const std::string modeBytes(reinterpret_cast<const char*>(modes.data()), modes.size() * sizeof(wchar_t));
    for (const wchar_t* name : {kStreamProcessingModes, kEndpointProcessingModes}) {
        const auto value = storedValue(fx, name);
        ASSERT_TRUE(value) << narrow(name);
        EXPECT_EQ(value->type, static_cast<DWORD>(REG_MULTI_SZ));
        EXPECT_EQ(value->bytes, modeBytes);
    }
    EXPECT_FALSE(storedValue(fx, property::kDisableSystemEffects));
    EXPECT_EQ(storedText(fx, kFxItemNameDisplay), kAbsent);  // only when install creates the key
    EXPECT_EQ(storedText(endpoint.properties(), kDeviceInterfacePathProperty), kAbsent);  // capture only

    // The backup holds the two values that existed, under a file name without ':' and '/'.
    ASSERT_EQ(workingDirectory.files(), std::vector<std::wstring>{L"backup_Line_ 1_2_Zol Headset.reg"});
    const std::string backup = workingDirectory.read(L"backup_Line_ 1_2_Zol Headset.reg");
    EXPECT_NE(backup.find("\"" + narrow(slot(kPreMixSlot)) + "\"=\"" + narrow(kVendorA) + "\""), std::string::npos);
    EXPECT_NE(backup.find("\"" + narrow(slot(kPostMixSlot)) + "\"=\"" + narrow(kVendorB) + "\""), std::string::npos);
    EXPECT_EQ(backup.find(narrow(slot(kStreamSlot))), std::string::npos);

    // An endpoint of the same name and description gets a file of its own; the first one stays.
    TestEndpoint twin(false);
    twin.describe(L"Zol Headset", L"Line: 1/2", L"H").fxValue(slot(kPreMixSlot), kVendorC);
    loaded(twin).install();
    const std::wstring twinFile = L"backup_Line_ 1_2_Zol Headset_" + twin.id() + L".reg";
    EXPECT_EQ(workingDirectory.read(L"backup_Line_ 1_2_Zol Headset.reg"), backup);
    EXPECT_NE(workingDirectory.read(twinFile).find(narrow(kVendorC)), std::string::npos);
    loaded(twin).uninstall();

    DeviceAPOInfo installed = loaded(endpoint);
    ASSERT_TRUE(installed.isInstalled());
    EXPECT_EQ(installed.version, L"2");
    installed.uninstall();
    EXPECT_EQ(storedText(fx, slot(kPreMixSlot)), kVendorA);
    EXPECT_EQ(storedText(fx, slot(kPostMixSlot)), kVendorB);
    for (std::size_t i : {kStreamSlot, kModeSlot, kEndpointSlot}) EXPECT_EQ(storedText(fx, slot(i)), kAbsent) << i;
    // What install added next to the slots stays: removal restores the five slots only.
    EXPECT_TRUE(storedValue(fx, kStreamProcessingModes));
    EXPECT_FALSE(test::rawKeyExists(kChildApoStoreKey));
    EXPECT_FALSE(loaded(endpoint).isInstalled());
}

TEST_F(FxEdit, CaptureEndpointWithoutFxProperties) {
    TestEndpoint endpoint(true);
    endpoint.describe(L"Zol Headset", L"Microphone", L"USB\\VID_0A1B&PID_00C2&MI_00");
    DeviceAPOInfo record = loaded(endpoint);
    channel.clear();
    record.install();
    EXPECT_EQ(progressLines(channel),
              (std::vector<std::string>{"[brisol]:init FxProperities", "[brisol]:installing Effects",
                                        "[brisol]:proc m_sfx", "[brisol]:ext proc", "[brisol]:enable enhance"}));

    const std::wstring fx = endpoint.fx();
    EXPECT_EQ(storedText(fx, kFxItemNameDisplay), L"ZolSound Kit");
    EXPECT_EQ(storedText(fx, slot(kStreamSlot)), kStreamText);
    EXPECT_EQ(storedText(fx, slot(kEndpointSlot)), L"{C18E2F7E-933D-4965-B7D1-1EEF228D2AF3}");
    EXPECT_TRUE(storedValue(fx, kStreamProcessingModes));
    EXPECT_FALSE(storedValue(fx, kEndpointProcessingModes));
    EXPECT_EQ(storedText(endpoint.properties(), kDeviceInterfacePathProperty),
              L"\\\\?\\SWD#MMDEVAPI#{0.0.1.00000000}." + endpoint.id() + L"#{2eef81be-33fa-4800-9670-1cd474972c3f}");

    const std::wstring store = childApoStoreKeyPath(endpoint.id());
    for (std::size_t i = 0; i < kFxSlotCount; ++i) EXPECT_EQ(storedText(store, slot(i)), L"!KEY") << i;
    EXPECT_EQ(storedText(store, L"PreMixChild"), L"");
    EXPECT_EQ(storedText(store, L"PostMixChild"), L"");
    EXPECT_EQ(storedText(store, L"Version"), L"2");
    EXPECT_TRUE(workingDirectory.files().empty());  // nothing to back up

    DeviceAPOInfo installed = loaded(endpoint);
    ASSERT_TRUE(installed.isInstalled());
    installed.uninstall();
    EXPECT_FALSE(test::rawKeyExists(fx));
    EXPECT_FALSE(test::rawKeyExists(kChildApoStoreKey));
    // The interface path stays: Windows itself writes it for capture endpoints.
    EXPECT_NE(storedText(endpoint.properties(), kDeviceInterfacePathProperty), kAbsent);
}

TEST_F(FxEdit, CaptureEndpointKeepsAnExistingInterfacePathAndModes) {
    TestEndpoint endpoint(true);
    endpoint.describe(L"D", L"Mic", L"H")
        .property(kDeviceInterfacePathProperty, L"\\\\?\\windows-own")
        .fxValue(slot(kStreamSlot), kVendorC)
        .fxValue(kStreamProcessingModes, L"not touched");
    DeviceAPOInfo record = loaded(endpoint);
    record.install();
    EXPECT_EQ(storedText(endpoint.properties(), kDeviceInterfacePathProperty), L"\\\\?\\windows-own");
    EXPECT_EQ(storedText(endpoint.fx(), kStreamProcessingModes), L"not touched");
    EXPECT_EQ(storedText(childApoStoreKeyPath(endpoint.id()), L"PreMixChild"), kVendorC);
    loaded(endpoint).uninstall();
    EXPECT_EQ(storedText(endpoint.fx(), slot(kStreamSlot)), kVendorC);
}

// Which former effects become the children, for each slot style that a load proposes.
TEST_F(FxEdit, ChildrenBySlotStyle) {
    struct Case {
        const char* what;
        bool capture;
        std::vector<std::pair<std::size_t, std::wstring>> slots;
        bool newerSlotValue;  // "{d04e05a6-...},13": the endpoint uses the newer slots
        bool slotStyleHint;   // property 41 of "Properties"
        std::uint32_t style;
        std::wstring preChild, postChild;
    };
    const std::vector<Case> cases = {
        {"style 1, stream and mode", false, {{kStreamSlot, kVendorC}, {kModeSlot, kVendorD}}, false, true, 1,
         kVendorC, kVendorD},
        {"style 1 falls back to the mix slots", false, {{kPreMixSlot, kVendorA}, {kPostMixSlot, kVendorB}}, true,
         true, 1, kVendorA, kVendorB},
        {"style 2, stream and endpoint", false, {{kStreamSlot, kVendorC}, {kEndpointSlot, kVendorD}}, false, false,
         2, kVendorC, kVendorD},
        {"style 2 falls back to the mix slots", false,
         {{kPreMixSlot, kVendorA}, {kPostMixSlot, kVendorB}, {kModeSlot, kVendorD}}, false, false, 2, kVendorA,
         kVendorB},
        {"style 2 on capture keeps no post-mix child", true, {{kStreamSlot, kVendorC}, {kEndpointSlot, kVendorD}},
         false, false, 2, kVendorC, L""},
        {"style 0, one side only", false, {{kPostMixSlot, kVendorB}}, false, false, 0, L"", kVendorB},
        {"an empty FxProperties", false, {}, false, true, 1, L"", L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestEndpoint endpoint(c.capture);
        endpoint.describe(L"D", L"N", L"H").emptyFx();
        for (const auto& [i, text] : c.slots) endpoint.fxValue(slot(i), text);
        if (c.newerSlotValue) endpoint.fxValue(L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},13", kVendorD);
        if (c.slotStyleHint) endpoint.property(kSlotStyleHint, L"x");
        DeviceAPOInfo record = loaded(endpoint);
        ASSERT_EQ(record.loadedOptions.slotStyle, c.style);
        record.install();
        const std::wstring store = childApoStoreKeyPath(endpoint.id());
        EXPECT_EQ(storedText(store, L"PreMixChild"), c.preChild);
        EXPECT_EQ(storedText(store, L"PostMixChild"), c.postChild);
        EXPECT_EQ(workingDirectory.files().size(), c.slots.empty() ? 0u : 1u);
        loaded(endpoint).uninstall();
        for (const std::wstring& file : workingDirectory.files()) DeleteFileW(file.c_str());
    }
}

TEST(ChildChoice, OlderWindowsKeepsTheMixSlots) {
    // Wine's kernel32 always reports 10.0, so the pre-8.1 branch is reached through the choice
    // itself rather than through install.
    const std::array<std::wstring, kFxSlotCount> saved = {L"!VALUE", L"!VALUE", kVendorC, kVendorD, kVendorA};
    const InstallOptions both{true, true, true, true, 0, false};
    EXPECT_EQ(chooseChildren(saved, both, false), (std::pair<std::wstring, std::wstring>{}));
    EXPECT_EQ(chooseChildren(saved, both, true), (std::pair<std::wstring, std::wstring>{kVendorC, kVendorD}));
    InstallOptions keepNone = both;
    keepNone.keepPreMixChild = keepNone.keepPostMixChild = false;
    EXPECT_EQ(chooseChildren(saved, keepNone, true), (std::pair<std::wstring, std::wstring>{}));
    InstallOptions unknownStyle = both;
    unknownStyle.slotStyle = 3;
    EXPECT_EQ(chooseChildren(saved, unknownStyle, true), (std::pair<std::wstring, std::wstring>{}));
    const std::array<std::wstring, kFxSlotCount> noKey = {L"!KEY", L"!KEY", L"!KEY", L"!KEY", L"!KEY"};
    EXPECT_EQ(chooseChildren(noKey, both, true), (std::pair<std::wstring, std::wstring>{}));
}

TEST_F(FxEdit, OptionsWithNeitherSideWriteNothing) {
    TestEndpoint endpoint(false);
    endpoint.describe(L"D", L"N", L"H").fxValue(slot(kPreMixSlot), kVendorA);
    DeviceAPOInfo record = loaded(endpoint);
    record.loadedOptions.preMixSlot = false;
    record.loadedOptions.postMixSlot = false;
    record.loadedOptions.slotStyle = 2;
    record.install();
    EXPECT_EQ(record.appliedOptions.slotStyle, 2u);  // still taken over
    EXPECT_FALSE(test::rawKeyExists(kChildApoStoreKey));
    EXPECT_EQ(storedText(endpoint.fx(), slot(kStreamSlot)), kAbsent);
    EXPECT_TRUE(workingDirectory.files().empty());
}

TEST_F(FxEdit, SilentBufferFlagAndSavedTextsComeFromTheRegistryNow) {
    TestEndpoint endpoint(false);
    endpoint.describe(L"D", L"N", L"H").fxValue(slot(kPreMixSlot), kVendorA);
    DeviceAPOInfo record = loaded(endpoint);
    record.loadedOptions.allowSilentBufferModification = true;
    endpoint.fxValue(slot(kPreMixSlot), kVendorB);  // changed after the load
    record.install();
    const std::wstring store = childApoStoreKeyPath(endpoint.id());
    EXPECT_EQ(storedText(store, slot(kPreMixSlot)), kVendorB);  // saved: what the registry held
    EXPECT_EQ(storedText(store, L"PreMixChild"), kVendorA);     // child: what the load saw
    EXPECT_EQ(storedText(store, L"AllowSilentBufferModification"), L"true");
    loaded(endpoint).uninstall();
}

TEST_F(FxEdit, StoreStaysWhileAnotherEndpointIsInstalled) {
    TestEndpoint first(false), second(true);
    first.describe(L"D", L"A", L"H");
    second.describe(L"D", L"B", L"H");
    loaded(first).install();
    loaded(second).install();
    loaded(first).uninstall();
    EXPECT_TRUE(test::rawKeyExists(kChildApoStoreKey));
    EXPECT_FALSE(test::rawKeyExists(childApoStoreKeyPath(first.id())));
    // A value of another endpoint in the oldest layout also keeps the store.
    TestChildStore other(test::freshGuidText());
    other.legacyChild(kVendorA);
    loaded(second).uninstall();
    EXPECT_TRUE(test::rawKeyExists(kChildApoStoreKey));
}

TEST_F(FxEdit, OldestLayoutThroughLoadAndReload) {
    TestEndpoint endpoint(false);
    endpoint.describe(L"D", L"N", L"H").fxValue(slot(kStreamSlot), kStreamText).fxValue(slot(kEndpointSlot),
                                                                                        kEndpointText);
    {
        TestChildStore store(endpoint.id());
        store.legacyChild(kVendorA);
        // load keeps the effect's own registrations as the former ones: uninstall writes them back
        // and the effect stays registered; only the value named after the endpoint goes.
        DeviceAPOInfo record = loaded(endpoint);
        ASSERT_TRUE(record.isInstalled());
        ASSERT_EQ(record.version, L"0");
        record.uninstall();
        EXPECT_EQ(storedText(endpoint.fx(), slot(kStreamSlot)), kStreamText);
        EXPECT_EQ(storedText(endpoint.fx(), slot(kEndpointSlot)), kEndpointText);
        EXPECT_EQ(storedText(kChildApoStoreKey, endpoint.id()), kAbsent);
    }
    {
        TestChildStore store(endpoint.id());
        store.legacyChild(kVendorA);
        // reload puts the stored child into the first slot that names the effect.
        DeviceAPOInfo record;
        ASSERT_TRUE(record.reload(endpoint.id(), L"{00000000-0000-0000-0000-000000000000}"));
        record.uninstall();
        EXPECT_EQ(storedText(endpoint.fx(), slot(kStreamSlot)), kVendorA);
        EXPECT_EQ(storedText(endpoint.fx(), slot(kEndpointSlot)), kEndpointText);
        EXPECT_EQ(storedText(kChildApoStoreKey, endpoint.id()), kAbsent);
    }
}

TEST_F(FxEdit, ReinstallBringsAnOlderLayoutToTheCurrentOne) {
    TestEndpoint endpoint(false);
    endpoint.describe(L"D", L"N", L"H").fxValue(slot(kStreamSlot), kStreamText);
    TestChildStore store(endpoint.id());
    store.value(slot(kStreamSlot), kVendorC).value(slot(kModeSlot), L"!VALUE");  // layout 1: no "Version"
    DeviceAPOInfo record = loaded(endpoint);
    ASSERT_TRUE(record.isOutdated());
    record.reinstall();
    EXPECT_EQ(storedText(store.subkey(), L"Version"), L"2");
    EXPECT_EQ(storedText(store.subkey(), slot(kStreamSlot)), kVendorC);  // the former effect, not ours
    EXPECT_EQ(storedText(endpoint.fx(), slot(kStreamSlot)), kStreamText);
    DeviceAPOInfo again = loaded(endpoint);
    EXPECT_FALSE(again.isOutdated());
    again.uninstall();
    EXPECT_EQ(storedText(endpoint.fx(), slot(kStreamSlot)), kVendorC);
}

TEST_F(FxEdit, EnableSystemEffects) {
    TestEndpoint render(false), capture(true), bare(false);
    render.describe(L"D", L"N", L"H").fxDword(property::kDisableSystemEffects, 1);
    capture.describe(L"D", L"N", L"H").emptyFx();
    bare.describe(L"D", L"N", L"H");
    enableSystemEffects(render.id());
    enableSystemEffects(capture.id());
    EXPECT_EQ(storedDword(render.fx(), property::kDisableSystemEffects), DWORD{0});
    EXPECT_EQ(storedDword(capture.fx(), property::kDisableSystemEffects), DWORD{0});
    // An id in neither flow key: nothing happens.
    const std::wstring stray = test::freshGuidText();
    EXPECT_NO_THROW(enableSystemEffects(stray));
    EXPECT_FALSE(test::rawKeyExists(endpointKeyPath(false, false, stray)));
    // Without "FxProperties" there is nothing to write into: the registry layer's error passes out.
    const std::string message = test::registryMessageOf([&] { enableSystemEffects(bare.id()); });
    EXPECT_NE(message.find("FxProperties"), std::string::npos) << message;
    EXPECT_FALSE(test::rawKeyExists(bare.fx()));
}

// For many FxProperties contents: install, then uninstall, gives back the five slot values
// exactly (type and data; absent stays absent), and the child-effect store is gone afterwards.
// Without a debug-channel listener: each log line would wait for it, and this test logs a lot.
class FxRoundTrip : public ::testing::Test {
protected:
    test::ProductKeyGuard productKey;
    test::ScratchDirectory workingDirectory{L"zol-install", true};
};

TEST_F(FxRoundTrip, InstallThenUninstallKeepsWhatTheUserHad) {
    const std::wstring otherClasses[] = {kVendorA, kVendorB, kVendorC, kVendorD};
    // Neither an empty text nor a marker text: those cannot come back (see EmptyOrMarkerTexts...).
    const std::wstring texts[] = {L"plain text", L"{not-a-guid}", L"0", L"{7E473820-7159-4426-A7D7-123DD7EB697}"};
    std::mt19937 random(20240607);
    // 3^5 slot combinations; a spread of 81 of them (53 is prime to 243, so none repeats), the
    // first (k = 0) without "FxProperties" at all. The other values vary at random.
    int cases = 0;
    for (int k = 0; k < 81; ++k) {
        const int combination = (k * 53) % 243;
        const bool capture = random() % 2 != 0;
        const bool withFx = combination != 0;
        TestEndpoint endpoint(capture);
        endpoint.describe(L"Desc", L"Name " + std::to_wstring(combination), L"USB\\VID_0A1B&PID_00C2");
        if (withFx) endpoint.emptyFx();
        int digits = combination;
        for (std::size_t i = 0; i < kFxSlotCount; ++i, digits /= 3) {
            if (!withFx || digits % 3 == 0) continue;  // absent
            endpoint.fxValue(slot(i), digits % 3 == 1 ? otherClasses[random() % 4] : texts[random() % 4]);
        }
        if (withFx && random() % 2) endpoint.fxValue(L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},13", kVendorD);
        if (withFx && random() % 2) endpoint.fxDword(property::kDisableSystemEffects, 1);
        if (withFx && random() % 2) endpoint.fxValue(kStreamProcessingModes, L"mode");
        if (random() % 2) endpoint.property(kSlotStyleHint, L"x");

        std::vector<std::optional<test::StoredValue>> before;
        for (std::size_t i = 0; i < kFxSlotCount; ++i) before.push_back(storedValue(endpoint.fx(), slot(i)));

        DeviceAPOInfo record = loaded(endpoint);
        ASSERT_FALSE(record.isInstalled()) << combination;
        record.install();
        DeviceAPOInfo installed = loaded(endpoint);
        ASSERT_TRUE(installed.isInstalled()) << combination;
        installed.uninstall();

        for (std::size_t i = 0; i < kFxSlotCount; ++i)
            EXPECT_EQ(storedValue(endpoint.fx(), slot(i)), before[i]) << "case " << combination << " slot " << i;
        EXPECT_EQ(test::rawKeyExists(endpoint.fx()), withFx) << combination;
        EXPECT_FALSE(test::rawKeyExists(kChildApoStoreKey)) << combination;
        for (const std::wstring& file : workingDirectory.files()) DeleteFileW(file.c_str());
        ++cases;
        if (HasFatalFailure()) return;
    }
    EXPECT_EQ(cases, 81);
}

}  // namespace
}  // namespace zol::apo_install
