// Installing the effect on one endpoint and taking it off again: what lands in "FxProperties",
// "Properties", the child-effect store and the backup file, and that removal gives back what was there.
#include <windows.h>

#include <gtest/gtest.h>

#include <random>

#include "apo_install/apo_info.h"
#include "apo_install/endpoint_catalogue.h"
#include "apo_install/fx_properties.h"
#include "registry/registry.h"
#include "support/debug_channel.h"
#include "support/endpoint_fixture.h"
#include "support/scratch_directory.h"
#include "support/scratch_key.h"

namespace zol::apo_install {
namespace {

using namespace test::classes;
using test::narrow;
using test::storedText;
using test::TestEndpoint;
const std::wstring kAbsent = L"<absent>";
const std::wstring kModeText = L"{C18E2F7E-933D-4965-B7D1-1EEF228D2AF3}";

std::wstring slot(std::size_t i) { return kFxSlotValueNames[i]; }

DeviceAPOInfo loaded(const TestEndpoint& endpoint) {
    DeviceAPOInfo record;
    EXPECT_TRUE(record.load(endpoint.id(), L""));
    return record;
}

// The texts of the five slots and then of the store's values, "|"-joined.
std::wstring slots(const std::wstring& key) {
    std::wstring joined;
    for (std::size_t i = 0; i < kFxSlotCount; ++i) joined += storedText(key, slot(i)) + L"|";
    return joined;
}
std::wstring store(const TestEndpoint& e) {
    const std::wstring key = childApoStoreKeyPath(e.id());
    return slots(key) + storedText(key, L"PreMixChild") + L"|" + storedText(key, L"PostMixChild") + L"|" +
           storedText(key, L"AllowSilentBufferModification") + L"|" + storedText(key, L"Version");
}

std::vector<std::string> progress(test::DebugChannelListener& channel) {
    std::vector<std::string> lines;
    for (const std::string& line : channel.ownLines())
        if (line.rfind("[brisol]:", 0) == 0) lines.push_back(line);
    return lines;
}

class FxEdit : public ::testing::Test {
protected:
    test::ProductKeyGuard productKey;
    test::ScratchDirectory workingDirectory{L"zol-install", true};  // backup files land here
};

TEST_F(FxEdit, RenderEndpointWithMixEffects) {
    test::DebugChannelListener channel;
    TestEndpoint endpoint(false);
    endpoint.describe(L"Zol Headset", L"Line: 1/2", L"H").fxValue(slot(kPreMixSlot), kVendorA)
        .fxValue(slot(kPostMixSlot), kVendorB).fxDword(property::kDisableSystemEffects, 1);
    DeviceAPOInfo record = loaded(endpoint);
    channel.clear();
    record.install();
    EXPECT_EQ(progress(channel), (std::vector<std::string>{"[brisol]:backup org Effects", "[brisol]:installing Effects",
                                                           "[brisol]:proc m_sfx", "[brisol]:proc efx", "[brisol]:ext proc",
                                                           "[brisol]:enable enhance"}));
    EXPECT_EQ(store(endpoint), kVendorA + L"|" + kVendorB + L"|!VALUE|!VALUE|!VALUE|" + kVendorA + L"|" + kVendorB + L"|false|2");
    EXPECT_EQ(slots(endpoint.fx()), kVendorA + L"|" + kVendorB + L"|" + kStreamText + L"|<absent>|" + kEndpointText + L"|");
    const std::wstring modes = kModeText + std::wstring(2, L'\0');
    for (const wchar_t* name : {kStreamProcessingModes, kEndpointProcessingModes})
        EXPECT_EQ(test::storedValue(endpoint.fx(), name),
                  (test::StoredValue{REG_MULTI_SZ, std::string(reinterpret_cast<const char*>(modes.data()), modes.size() * 2)}));
    EXPECT_FALSE(test::storedValue(endpoint.fx(), property::kDisableSystemEffects));
    EXPECT_EQ(storedText(endpoint.fx(), kFxItemNameDisplay), kAbsent);  // only when install creates the key
    EXPECT_EQ(storedText(endpoint.properties(), kDeviceInterfacePathProperty), kAbsent);  // capture only

    // The backup holds the values that existed, under a name without ':' and '/'; a namesake
    // endpoint gets a file of its own.
    const std::string backup = workingDirectory.read(L"backup_Line_ 1_2_Zol Headset.reg");
    EXPECT_NE(backup.find("\"" + narrow(slot(kPreMixSlot)) + "\"=\"" + narrow(kVendorA) + "\""), std::string::npos);
    EXPECT_EQ(backup.find(narrow(slot(kStreamSlot))), std::string::npos);
    TestEndpoint twin(false);
    twin.describe(L"Zol Headset", L"Line: 1/2", L"H").fxValue(slot(kPreMixSlot), kVendorC);
    loaded(twin).install();
    EXPECT_EQ(workingDirectory.read(L"backup_Line_ 1_2_Zol Headset.reg"), backup);
    EXPECT_NE(workingDirectory.read(L"backup_Line_ 1_2_Zol Headset_" + twin.id() + L".reg").find(narrow(kVendorC)), std::string::npos);
    loaded(twin).uninstall();

    loaded(endpoint).uninstall();
    EXPECT_EQ(slots(endpoint.fx()), kVendorA + L"|" + kVendorB + L"|<absent>|<absent>|<absent>|");
    EXPECT_TRUE(test::storedValue(endpoint.fx(), kStreamProcessingModes));  // removal restores the five slots only
    EXPECT_FALSE(test::rawKeyExists(kChildApoStoreKey));
}

TEST_F(FxEdit, CaptureEndpointWithoutFxProperties) {
    test::DebugChannelListener channel;
    TestEndpoint endpoint(true);
    endpoint.describe(L"Zol Headset", L"Microphone", L"H");
    DeviceAPOInfo record = loaded(endpoint);
    channel.clear();
    record.install();
    EXPECT_EQ(progress(channel), (std::vector<std::string>{"[brisol]:init FxProperities", "[brisol]:installing Effects",
                                                           "[brisol]:proc m_sfx", "[brisol]:ext proc", "[brisol]:enable enhance"}));
    EXPECT_EQ(storedText(endpoint.fx(), kFxItemNameDisplay), L"ZolSound Kit");
    EXPECT_EQ(slots(endpoint.fx()), L"<absent>|<absent>|" + kStreamText + L"|<absent>|" + kModeText + L"|");
    EXPECT_FALSE(test::storedValue(endpoint.fx(), kEndpointProcessingModes));
    EXPECT_EQ(storedText(endpoint.properties(), kDeviceInterfacePathProperty),
              L"\\\\?\\SWD#MMDEVAPI#{0.0.1.00000000}." + endpoint.id() + L"#{2eef81be-33fa-4800-9670-1cd474972c3f}");
    EXPECT_EQ(store(endpoint), L"!KEY|!KEY|!KEY|!KEY|!KEY|||false|2");
    EXPECT_TRUE(workingDirectory.files().empty());  // nothing to back up
    loaded(endpoint).uninstall();
    EXPECT_FALSE(test::rawKeyExists(endpoint.fx()));
    EXPECT_FALSE(test::rawKeyExists(kChildApoStoreKey));
    EXPECT_NE(storedText(endpoint.properties(), kDeviceInterfacePathProperty), kAbsent);  // Windows writes it too
}

// Which former effects become the children, for each slot style a load proposes.
TEST_F(FxEdit, ChildrenBySlotStyle) {
    struct Row {
        const char* what;
        bool capture, newerSlotValue, hint41;
        std::vector<std::pair<std::size_t, std::wstring>> slots;
        std::uint32_t style;
        std::wstring children;
    } rows[] = {
        {"style 1, stream and mode", false, false, true, {{kStreamSlot, kVendorC}, {kModeSlot, kVendorD}}, 1, kVendorC + L"|" + kVendorD},
        {"style 1 falls back to the mix slots", false, true, true, {{kPreMixSlot, kVendorA}, {kPostMixSlot, kVendorB}}, 1,
         kVendorA + L"|" + kVendorB},
        {"style 2, stream and endpoint", false, false, false, {{kStreamSlot, kVendorC}, {kEndpointSlot, kVendorD}}, 2,
         kVendorC + L"|" + kVendorD},
        {"style 2 falls back to the mix slots", false, false, false,
         {{kPreMixSlot, kVendorA}, {kPostMixSlot, kVendorB}, {kModeSlot, kVendorD}}, 2, kVendorA + L"|" + kVendorB},
        {"style 2 on capture", true, false, false, {{kStreamSlot, kVendorC}, {kEndpointSlot, kVendorD}}, 2, kVendorC + L"|"},
        {"style 0, one side only", false, false, false, {{kPostMixSlot, kVendorB}}, 0, L"|" + kVendorB},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TestEndpoint endpoint(row.capture);
        endpoint.describe(L"D", L"N", L"H").emptyFx();
        for (const auto& [i, text] : row.slots) endpoint.fxValue(slot(i), text);
        if (row.newerSlotValue) endpoint.fxValue(L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},13", kVendorD);
        if (row.hint41) endpoint.property(property::kSlotStyleHint, L"x");
        DeviceAPOInfo record = loaded(endpoint);
        ASSERT_EQ(record.loadedOptions.slotStyle, row.style);
        record.install();
        const std::wstring key = childApoStoreKeyPath(endpoint.id());
        EXPECT_EQ(storedText(key, L"PreMixChild") + L"|" + storedText(key, L"PostMixChild"), row.children);
        loaded(endpoint).uninstall();
    }
}

TEST(ChildChoice, OlderWindowsKeepsTheMixSlots) {  // Wine reports 10.0: reached through the choice itself
    const std::array<std::wstring, kFxSlotCount> saved = {L"!VALUE", L"!VALUE", kVendorC, kVendorD, kVendorA};
    const InstallOptions both{true, true, true, true, 0, false};
    using Children = std::pair<std::wstring, std::wstring>;
    EXPECT_EQ(chooseChildren(saved, both, false), Children{});
    EXPECT_EQ(chooseChildren(saved, both, true), (Children{kVendorC, kVendorD}));
    EXPECT_EQ(chooseChildren(saved, {true, true, false, false, 0, false}, true), Children{});
    EXPECT_EQ(chooseChildren(saved, {true, true, true, true, 3, false}, true), Children{});
}

TEST_F(FxEdit, SavedTextsComeFromTheRegistryAtInstallAndNeitherSideWritesNothing) {
    TestEndpoint endpoint(false), neither(false);
    endpoint.describe(L"D", L"N", L"H").fxValue(slot(kPreMixSlot), kVendorA);
    DeviceAPOInfo record = loaded(endpoint);
    record.loadedOptions.allowSilentBufferModification = true;
    endpoint.fxValue(slot(kPreMixSlot), kVendorB);  // changed after the load
    record.install();
    EXPECT_EQ(store(endpoint), kVendorB + L"|!VALUE|!VALUE|!VALUE|!VALUE|" + kVendorA + L"||true|2");
    loaded(endpoint).uninstall();

    neither.describe(L"D", L"N", L"H").fxValue(slot(kPreMixSlot), kVendorA);
    record = loaded(neither);
    record.loadedOptions = {false, false, true, true, 2, false};
    record.install();
    EXPECT_EQ(record.appliedOptions.slotStyle, 2u);  // still taken over
    EXPECT_FALSE(test::rawKeyExists(kChildApoStoreKey));
    EXPECT_EQ(slots(neither.fx()), kVendorA + L"|<absent>|<absent>|<absent>|<absent>|");
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
    test::rawSetText(kChildApoStoreKey, test::freshGuidText(), kVendorA);  // another endpoint's, oldest layout
    loaded(second).uninstall();
    EXPECT_TRUE(test::rawKeyExists(kChildApoStoreKey));
}

TEST_F(FxEdit, UninstallOfTheOldestLayoutAndReinstallOfLayoutOne) {
    TestEndpoint endpoint(false);
    endpoint.describe(L"D", L"N", L"H").fxValue(slot(kStreamSlot), kStreamText).fxValue(slot(kEndpointSlot), kEndpointText);
    // load keeps the effect's own registrations as the former ones; reload puts the stored child
    // into the first slot naming the effect. Either way only the value named after the endpoint goes.
    for (const std::wstring& restored : {kStreamText, kVendorA}) {
        test::rawSetText(kChildApoStoreKey, endpoint.id(), kVendorA);
        DeviceAPOInfo record;
        ASSERT_TRUE(restored == kVendorA ? record.reload(endpoint.id(), L"{00000000-0000-0000-0000-000000000000}")
                                         : record.load(endpoint.id(), L""));
        record.uninstall();
        EXPECT_EQ(slots(endpoint.fx()), L"<absent>|<absent>|" + restored + L"|<absent>|" + kEndpointText + L"|");
        EXPECT_EQ(storedText(kChildApoStoreKey, endpoint.id()), kAbsent);
        endpoint.fxValue(slot(kStreamSlot), kStreamText);
    }
    test::rawSetText(childApoStoreKeyPath(endpoint.id()), slot(kStreamSlot), kVendorC);  // layout 1: no "Version"
    DeviceAPOInfo record = loaded(endpoint);
    ASSERT_TRUE(record.isOutdated());
    record.reinstall();
    EXPECT_EQ(storedText(childApoStoreKeyPath(endpoint.id()), slot(kStreamSlot)), kVendorC);  // the former effect, not ours
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
    EXPECT_EQ(test::storedDword(render.fx(), property::kDisableSystemEffects), DWORD{0});
    EXPECT_EQ(test::storedDword(capture.fx(), property::kDisableSystemEffects), DWORD{0});
    EXPECT_NO_THROW(enableSystemEffects(test::freshGuidText()));  // in neither flow: nothing happens
    EXPECT_NE(test::registryMessageOf([&] { enableSystemEffects(bare.id()); }).find("FxProperties"), std::string::npos);
    EXPECT_FALSE(test::rawKeyExists(bare.fx()));
}

// Install then uninstall gives back the five slot values exactly (type and data; absent stays
// absent) for a spread of 81 of the 3^5 slot combinations, the rest of the endpoint at random.
// Without a debug-channel listener: each log line would wait for it, and this logs a lot.
TEST_F(FxEdit, InstallThenUninstallKeepsWhatTheUserHad) {
    const std::wstring others[] = {kVendorA, kVendorB, kVendorC, kVendorD};
    const std::wstring texts[] = {L"plain text", L"{not-a-guid}", L"", L"!KEY", L"!VALUE", L"{7E473820-7159-4426-A7D7-123DD7EB697}"};
    std::mt19937 random(20240607);
    for (int k = 0; k < 81 && !HasFatalFailure(); ++k) {
        const int combination = (k * 53) % 243;  // 53 is prime to 243: none repeats; k = 0 without FxProperties
        TestEndpoint endpoint(random() % 2 != 0);
        endpoint.describe(L"Desc", L"Name " + std::to_wstring(combination), L"H");
        if (combination) endpoint.emptyFx();
        for (int i = 0, digits = combination; i < 5; ++i, digits /= 3)
            if (digits % 3) endpoint.fxValue(slot(i), digits % 3 == 1 ? others[random() % 4] : texts[random() % 6]);
        if (combination && random() % 2) endpoint.fxValue(L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},13", kVendorD);
        if (combination && random() % 2) endpoint.fxDword(property::kDisableSystemEffects, 1);
        if (random() % 2) endpoint.property(property::kSlotStyleHint, L"x");
        auto before = test::storedTree(endpoint.fx(), false);

        DeviceAPOInfo record = loaded(endpoint);
        ASSERT_FALSE(record.isInstalled()) << combination;
        record.install();
        DeviceAPOInfo installed = loaded(endpoint);
        ASSERT_TRUE(installed.isInstalled()) << combination;
        installed.uninstall();
        auto after = test::storedTree(endpoint.fx(), false);
        for (const wchar_t* kept : {kStreamProcessingModes, kEndpointProcessingModes, property::kDisableSystemEffects})
            before.erase(std::wstring(L"\\") + kept), after.erase(std::wstring(L"\\") + kept);
        EXPECT_EQ(after, before) << "case " << combination;
        EXPECT_FALSE(test::rawKeyExists(kChildApoStoreKey)) << combination;
        for (const std::wstring& file : workingDirectory.files()) DeleteFileW((workingDirectory.path() + L"\\" + file).c_str());
    }
}

}  // namespace
}  // namespace zol::apo_install
