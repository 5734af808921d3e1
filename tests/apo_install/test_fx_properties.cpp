// Installing the effect on one endpoint and taking it off again: what lands in "FxProperties",
// "Properties", the child-effect store and the backup file, and that removal gives back what was there.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "apo_install/apo_info.h"
#include "apo_install/endpoint_catalogue.h"
#include "apo_install/fx_properties.h"
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
const std::wstring kModeText = L"{C18E2F7E-933D-4965-B7D1-1EEF228D2AF3}";

std::wstring slot(std::size_t i) { return kFxSlotValueNames[i]; }
DeviceAPOInfo loaded(const TestEndpoint& endpoint) {
    DeviceAPOInfo record;
    EXPECT_TRUE(record.load(endpoint.id(), L""));
    return record;
}
// The texts of the five slots, then (for the store) of its other values, "|"-joined.
std::wstring slots(const std::wstring& key, const std::vector<std::wstring>& more = {}) {
    std::wstring joined;
    for (const wchar_t* name : kFxSlotValueNames) joined += storedText(key, name) + L"|";
    for (const std::wstring& name : more) joined += storedText(key, name) + L"|";
    return joined;
}
std::wstring store(const TestEndpoint& e) {
    return slots(childApoStoreKeyPath(e.id()), {L"PreMixChild", L"PostMixChild", L"AllowSilentBufferModification", L"Version"});
}
std::vector<std::string> progress(test::DebugChannelListener& channel) {  // the kit's lines, not the registry layer's notes
    std::vector<std::string> lines = channel.ownLines();
    return lines.erase(std::remove_if(lines.begin(), lines.end(), [](auto& l) { return l.rfind("[brisol]:", 0) != 0; }), lines.end()), lines;
}

class FxEdit : public ::testing::Test {
protected:
    test::ProductKeyGuard productKey;
    test::ScratchDirectory workingDirectory{L"zol-install", true};  // backup files land here
};

TEST_F(FxEdit, RenderEndpointWithMixEffectsAndACaptureEndpointWithoutFxProperties) {
    test::DebugChannelListener channel;
    TestEndpoint render(false), capture(true), twin(false);
    render.describe(L"Zol Headset", L"Line: 1/2", L"H").fxValue(slot(kPreMixSlot), kVendorA).fxValue(slot(kPostMixSlot), kVendorB);
    render.fxDword(property::kDisableSystemEffects, 1);
    capture.describe(L"Zol Headset", L"Microphone", L"H");
    DeviceAPOInfo first = loaded(render), second = loaded(capture);
    channel.clear();
    first.install(), second.install();
    EXPECT_EQ(progress(channel), (std::vector<std::string>{"[brisol]:backup org Effects", "[brisol]:installing Effects", "[brisol]:proc m_sfx",
                                                           "[brisol]:proc efx", "[brisol]:ext proc", "[brisol]:enable enhance",
                                                           "[brisol]:init FxProperities", "[brisol]:installing Effects", "[brisol]:proc m_sfx",
                                                           "[brisol]:ext proc", "[brisol]:enable enhance"}));
    EXPECT_EQ(store(render), kVendorA + L"|" + kVendorB + L"|!VALUE|!VALUE|!VALUE|" + kVendorA + L"|" + kVendorB + L"|false|2|");
    EXPECT_EQ(slots(render.fx(), {kFxItemNameDisplay, property::kDisableSystemEffects}),
              kVendorA + L"|" + kVendorB + L"|" + kStreamText + L"|<absent>|" + kEndpointText + L"|<absent>|<absent>|");
    const std::wstring modes = kModeText + std::wstring(2, L'\0');
    for (const wchar_t* name : {kStreamProcessingModes, kEndpointProcessingModes})
        EXPECT_EQ(test::storedValue(render.fx(), name), (test::StoredValue{REG_MULTI_SZ, std::string(reinterpret_cast<const char*>(modes.data()), 80)}));
    EXPECT_EQ(store(capture), L"!KEY|!KEY|!KEY|!KEY|!KEY|||false|2|");
    EXPECT_EQ(slots(capture.fx(), {kFxItemNameDisplay, kEndpointProcessingModes}), L"<absent>|<absent>|" + kStreamText + L"|<absent>|" + kModeText +
                                                                                      L"|ZolSound Kit|<absent>|");
    EXPECT_EQ(storedText(capture.properties(), kDeviceInterfacePathProperty) + storedText(render.properties(), kDeviceInterfacePathProperty),
              L"\\\\?\\SWD#MMDEVAPI#{0.0.1.00000000}." + capture.id() + L"#{2eef81be-33fa-4800-9670-1cd474972c3f}<absent>");

    // The backup holds the values that were there, under a name without ':' and '/'; a namesake gets its own file.
    const std::string backup = workingDirectory.read(L"backup_Line_ 1_2_Zol Headset.reg");
    EXPECT_NE(backup.find("\"" + narrow(slot(kPreMixSlot)) + "\"=\"" + narrow(kVendorA) + "\""), std::string::npos);
    EXPECT_EQ(backup.find(narrow(slot(kStreamSlot))), std::string::npos);
    loaded(twin.describe(L"Zol Headset", L"Line: 1/2", L"H").fxValue(slot(kPreMixSlot), kVendorC)).install();
    EXPECT_EQ(workingDirectory.files(), (std::vector<std::wstring>{L"backup_Line_ 1_2_Zol Headset.reg", L"backup_Line_ 1_2_Zol Headset_" + twin.id() + L".reg"}));
    EXPECT_EQ(workingDirectory.read(L"backup_Line_ 1_2_Zol Headset.reg"), backup);

    for (const TestEndpoint* e : {&render, &twin, &capture}) {
        loaded(*e).uninstall();
        EXPECT_EQ(test::rawKeyExists(kChildApoStoreKey), e != &capture) << "the store goes with the last entry";
    }
    EXPECT_EQ(slots(render.fx()), kVendorA + L"|" + kVendorB + L"|<absent>|<absent>|<absent>|");
    EXPECT_FALSE(test::rawKeyExists(capture.fx()));
    EXPECT_NE(storedText(capture.properties(), kDeviceInterfacePathProperty), L"<absent>");  // Windows writes it too
}

// Which former effects become the children (pre|post), for each slot style a load proposes.
TEST_F(FxEdit, ChildrenBySlotStyle) {
    using Slots = std::vector<std::pair<std::size_t, std::wstring>>;
    for (const auto& [capture, newerSlots, hint41, slots, style, children] :
         {std::tuple{false, false, true, Slots{{kStreamSlot, kVendorC}, {kModeSlot, kVendorB}}, 1u, kVendorC + L"|" + kVendorB},
          {false, true, true, Slots{{kPreMixSlot, kVendorA}, {kPostMixSlot, kVendorB}}, 1u, kVendorA + L"|" + kVendorB},  // falls back to the mix slots
          {false, false, false, Slots{{kStreamSlot, kVendorC}, {kEndpointSlot, kVendorB}}, 2u, kVendorC + L"|" + kVendorB},
          {false, false, false, Slots{{kPreMixSlot, kVendorA}, {kPostMixSlot, kVendorB}, {kModeSlot, kVendorC}}, 2u, kVendorA + L"|" + kVendorB},
          {true, false, false, Slots{{kStreamSlot, kVendorC}, {kEndpointSlot, kVendorB}}, 2u, kVendorC + L"|"},
          {false, false, false, Slots{{kPostMixSlot, kVendorB}}, 0u, L"|" + kVendorB}}) {
        TestEndpoint endpoint(capture);
        endpoint.describe(L"D", L"N", L"H").emptyFx();
        for (const auto& [i, text] : slots) endpoint.fxValue(slot(i), text);
        if (newerSlots) endpoint.fxValue(L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},13", kVendorC);
        if (hint41) endpoint.property(property::kSlotStyleHint, L"x");
        DeviceAPOInfo record = loaded(endpoint);
        EXPECT_EQ(record.loadedOptions.slotStyle, style);
        record.install();
        const std::wstring key = childApoStoreKeyPath(endpoint.id());
        EXPECT_EQ(storedText(key, L"PreMixChild") + L"|" + storedText(key, L"PostMixChild"), children);
        loaded(endpoint).uninstall();
    }
}

// Systems before 8.1 have no stream or mode slots to fall back on; markers, unkept sides and an
// unknown style give no child.
TEST(ChildChoice, OlderSystemsKeepTheMixSlots) {
    using Children = std::pair<std::wstring, std::wstring>;
    const std::array<std::wstring, kFxSlotCount> saved = {L"!VALUE", L"!VALUE", kVendorC, kVendorB, kVendorA}, noKey = {L"!KEY", L"!KEY", L"!KEY", L"!KEY", L"!KEY"};
    const InstallOptions both{true, true, true, true, 0, false}, keepNone{true, true, false, false, 0, false}, unknown{true, true, true, true, 3, false};
    EXPECT_EQ(chooseChildren(saved, both, false), Children{});
    EXPECT_EQ(chooseChildren(saved, both, true), (Children{kVendorC, kVendorB}));
    EXPECT_EQ(chooseChildren(saved, keepNone, true), Children{});
    EXPECT_EQ(chooseChildren(saved, unknown, true), Children{});
    EXPECT_EQ(chooseChildren(noKey, both, true), Children{});
}

TEST_F(FxEdit, ReinstallBringsLayoutOneToTheCurrentOne) {
    TestEndpoint endpoint(false);
    endpoint.describe(L"D", L"N", L"H").fxValue(slot(kStreamSlot), kStreamText).fxValue(slot(kEndpointSlot), kEndpointText);
    test::rawSetText(childApoStoreKeyPath(endpoint.id()), slot(kStreamSlot), kVendorC);  // no "Version"
    DeviceAPOInfo record = loaded(endpoint);
    ASSERT_TRUE(record.isOutdated());
    record.reinstall();
    EXPECT_EQ(storedText(childApoStoreKeyPath(endpoint.id()), slot(kStreamSlot)), kVendorC);  // the former effect, not ours
    EXPECT_FALSE(loaded(endpoint).isOutdated());
    loaded(endpoint).uninstall();
    EXPECT_EQ(storedText(endpoint.fx(), slot(kStreamSlot)), kVendorC);
}

// Install then uninstall gives back FxProperties exactly for 81 of the 3^5 slot combinations, the rest
// at random. No listener on the debugger channel: each line would wait for it, and this logs a lot.
TEST_F(FxEdit, InstallThenUninstallKeepsWhatTheUserHad) {
    const std::wstring others[] = {kVendorA, kVendorB, kVendorC, kEndpointText};
    const std::wstring texts[] = {L"plain text", L"{not-a-guid}", L"", L"!KEY", L"!VALUE", L"{7E473820-7159-4426-A7D7-123DD7EB697}"};
    std::mt19937 random(20240607);
    for (int k = 0; k < 81 && !HasFatalFailure(); ++k) {
        const int combination = (k * 53) % 243;  // 53 is prime to 243: none repeats; k = 0 without FxProperties
        TestEndpoint endpoint(random() % 2 != 0);
        endpoint.describe(L"Desc", L"Name " + std::to_wstring(combination), L"H");
        if (combination) endpoint.emptyFx();
        for (int i = 0, digits = combination; i < 5; ++i, digits /= 3)
            if (digits % 3) endpoint.fxValue(slot(i), digits % 3 == 1 ? others[random() % 3] : texts[random() % 6]);
        if (combination && random() % 2) endpoint.fxValue(L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},13", kVendorC);
        if (random() % 2) endpoint.property(property::kSlotStyleHint, L"x");
        auto before = test::storedTree(endpoint.fx());
        loaded(endpoint).install();
        ASSERT_TRUE(test::installedOn(endpoint.id())) << combination;
        loaded(endpoint).uninstall();
        auto after = test::storedTree(endpoint.fx());
        for (const wchar_t* kept : {kStreamProcessingModes, kEndpointProcessingModes})
            before.erase(std::wstring(L"\\") + kept), after.erase(std::wstring(L"\\") + kept);
        EXPECT_EQ(after, before) << "case " << combination;
        EXPECT_FALSE(test::rawKeyExists(kChildApoStoreKey)) << combination;
        for (const std::wstring& file : workingDirectory.files()) DeleteFileW(file.c_str());
    }
}

}  // namespace
}  // namespace zol::apo_install
