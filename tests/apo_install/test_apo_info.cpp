// Installation records loaded from endpoints in every slot combination and store layout.
#include <gtest/gtest.h>

#include "apo_install/apo_info.h"
#include "apo_install/endpoint_catalogue.h"
#include "common/system_error.h"
#include "registry/registry.h"
#include "support/endpoint_fixture.h"
#include "support/scratch_key.h"

namespace zol::apo_install {
namespace {

using namespace test::classes;
using test::TestEndpoint;
using Values = std::vector<std::pair<std::wstring, std::wstring>>;

std::wstring slot(std::size_t i) { return kFxSlotValueNames[i]; }
std::string text(const InstallOptions& o) {
    return std::to_string(o.preMixSlot) + std::to_string(o.postMixSlot) + std::to_string(o.keepPreMixChild) +
           std::to_string(o.keepPostMixChild) + " style " + std::to_string(o.slotStyle) + " silent " +
           std::to_string(o.allowSilentBufferModification);
}
TestEndpoint& withFx(TestEndpoint& e, const Values& fx) {
    for (const auto& [name, value] : fx) e.fxValue(name, value);
    return e;
}
void setStore(const std::wstring& id, const Values& values) {
    for (const auto& [name, value] : values) test::rawSetText(childApoStoreKeyPath(id), name, value);
}

// What a load makes of "FxProperties" without a child-effect store: the former registrations, the
// effect found or not, and the options proposed (slot style from the slots and property 41).
TEST(Records, LoadOfEveryKindOfFxProperties) {
    const std::wstring newer = L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},";
    std::wstring lowerStream = kStreamText;
    CharLowerBuffW(lowerStream.data(), static_cast<DWORD>(lowerStream.size()));
    const struct {
        bool capture, hasFx, hint41;
        Values fx;
        bool installed;
        InstallOptions options;
    } rows[] = {
        {false, false, false, {}, false, {true, true, true, true, 0, false}},
        {true, false, false, {}, false, {true, false, true, false, 0, false}},
        {false, true, true, {{slot(kPreMixSlot), kVendorA}, {slot(kPostMixSlot), kVendorB}}, false, {true, true, true, true, 0, false}},
        {false, true, true, {{slot(kPreMixSlot), kVendorA}, {slot(kStreamSlot), kVendorC}}, false, {true, true, true, true, 1, false}},
        {false, true, false, {{slot(kPreMixSlot), kVendorA}, {slot(kStreamSlot), kVendorC}}, false, {true, true, true, true, 2, false}},
        {false, true, false, {{slot(kPostMixSlot), kVendorA}, {newer + L"13", L"x"}}, false, {true, true, true, true, 2, false}},
        {false, true, true, {{slot(kPreMixSlot), kVendorA}, {newer + L"15", L"x"}}, false, {true, true, true, true, 1, false}},
        {false, true, false, {{slot(kModeSlot), kVendorC}, {slot(kEndpointSlot), kVendorB}}, false, {true, true, true, true, 2, false}},
        {false, true, false, {{slot(kStreamSlot), lowerStream}, {slot(kPreMixSlot), L"x"}}, true, {true, true, true, true, 0, false}},
        {true, true, false, {{slot(kPreMixSlot), kEndpointText}}, true, {true, false, true, false, 0, false}},
    };
    for (const auto& row : rows) {
        TestEndpoint endpoint(row.capture);
        withFx(endpoint.describe(L"D", L"N", L"H"), row.fx);
        if (row.hasFx) endpoint.emptyFx();
        if (row.hint41) endpoint.property(property::kSlotStyleHint, L"");
        DeviceAPOInfo record;
        ASSERT_TRUE(record.load(endpoint.id(), L""));
        const int at = static_cast<int>(&row - rows);
        EXPECT_EQ(record.isCapture(), row.capture) << at;
        EXPECT_EQ(record.isInstalled(), row.installed) << at;
        EXPECT_EQ(record.isOutdated(), row.installed) << at;  // no store: the oldest layout
        EXPECT_EQ(record.hasNoEffects(), !row.hasFx) << at;
        EXPECT_EQ(text(record.loadedOptions), text(row.options)) << at;
        for (std::size_t i = 0; i < kFxSlotCount; ++i) {
            std::wstring expected = row.hasFx ? kMarkerNoValue : kMarkerNoKey;
            for (const auto& [name, value] : row.fx) expected = name == slot(i) ? value : expected;
            EXPECT_EQ(record.orgGuid[i], expected) << at << " slot " << i;
        }
    }
}

TEST(Records, StoreLayouts) {
    test::ProductKeyGuard productKey;
    TestEndpoint one(false), current(false);
    // Layout 1 (no "Version"): the children are the saved slots of the side that was saved.
    withFx(one.describe(L"D", L"N", L"H"), {{slot(kStreamSlot), kStreamText}, {slot(kEndpointSlot), kEndpointText}});
    setStore(one.id(), {{slot(kStreamSlot), kVendorC}, {slot(kModeSlot), kVendorB}, {slot(kEndpointSlot), L"!VALUE"}});
    DeviceAPOInfo record;
    ASSERT_TRUE(record.load(one.id(), L""));
    EXPECT_TRUE(record.isOutdated());
    EXPECT_EQ(record.preMixChild + record.postMixChild, kVendorC + kVendorB);
    EXPECT_EQ(record.orgGuid[kPreMixSlot], L"!VALUE");  // not saved: what FxProperties had
    setStore(one.id(), {{slot(kPreMixSlot), kVendorA}, {slot(kPostMixSlot), L""}});
    ASSERT_TRUE(record.load(one.id(), L""));
    EXPECT_EQ(record.preMixChild + L"|" + record.postMixChild, kVendorA + L"|");

    // Layout 2: children and options from the store and the slots the effect holds.
    withFx(current.describe(L"D", L"N", L"H"), {{slot(kPreMixSlot), kVendorA}, {slot(kStreamSlot), kStreamText}, {slot(kEndpointSlot), kEndpointText}});
    setStore(current.id(), {{L"Version", L"2"}, {slot(kStreamSlot), kVendorC}, {L"PreMixChild", kVendorC},
                            {L"PostMixChild", L""}, {L"AllowSilentBufferModification", L"False"}});
    ASSERT_TRUE(record.load(current.id(), L""));
    EXPECT_FALSE(record.isOutdated());
    EXPECT_EQ(record.orgGuid, (std::array<std::wstring, 5>{kVendorA, L"!VALUE", kVendorC, L"!VALUE", kEndpointText}));
    EXPECT_EQ(text(record.loadedOptions), text({true, true, true, false, 2, true}));  // only "false" is false
    EXPECT_TRUE(record.hasPendingChange());
    record.appliedOptions = record.loadedOptions;
    EXPECT_FALSE(record.hasPendingChange());
    record.appliedOptions.slotStyle = 1;  // the other fields the same
    EXPECT_TRUE(record.hasPendingChange());
    const struct {
        Values fx, store;
        InstallOptions options;
    } rows[] = {{{{slot(kModeSlot), kStreamText}}, {{L"AllowSilentBufferModification", L"false"}, {L"PreMixChild", L""}}, {false, true, false, false, 1, false}},
                {{{slot(kPostMixSlot), kEndpointText}}, {{L"PreMixChild", kVendorA}, {L"PostMixChild", kVendorB}}, {false, true, true, true, 0, false}}};
    for (const auto& row : rows) {
        test::rawDeleteTree(current.fx());
        setStore(withFx(current, row.fx).id(), row.store);
        ASSERT_TRUE(record.load(current.id(), L""));
        EXPECT_EQ(text(record.loadedOptions), text(row.options));
    }
    for (const wchar_t* bad : {L"3", L"", L"2 ", L"1"}) {
        setStore(current.id(), {{L"Version", bad}});
        EXPECT_EQ(test::registryMessageOf([&] { record.load(current.id(), L""); }), "Unsupported version of APO installation detected!");
    }
}

// The oldest layout: one child, in a value named after the endpoint, which only reload reads.
TEST(Records, ReloadTakesTheOldestLayoutsChildIntoTheFirstEffectSlot) {
    test::ProductKeyGuard productKey;
    TestEndpoint render(false), capture(true);
    withFx(render.describe(L"D", L"N", L"H"), {{slot(kModeSlot), kVendorA}, {slot(kEndpointSlot), kEndpointText}});
    withFx(capture.describe(L"D", L"N", L"H"), {{slot(kStreamSlot), kStreamText}, {slot(kEndpointSlot), kStreamText}});
    test::rawSetText(kChildApoStoreKey, render.id(), kVendorB);
    test::rawSetText(kChildApoStoreKey, capture.id(), kVendorC);
    DeviceAPOInfo record;
    ASSERT_TRUE(record.reload(render.id(), L"{00000000-0000-0000-0000-000000000000}"));
    EXPECT_EQ(record.orgGuid[kModeSlot] + record.orgGuid[kEndpointSlot], kVendorA + kVendorB);
    EXPECT_EQ(record.preMixChild + L"|" + record.postMixChild, L"|" + kVendorB);
    ASSERT_TRUE(record.reload(capture.id(), L"{00000000-0000-0000-0000-000000000000}"));
    EXPECT_EQ(record.orgGuid[kStreamSlot] + record.orgGuid[kEndpointSlot], kVendorC + kStreamText);  // the first only
    EXPECT_EQ(record.preMixChild + L"|" + record.postMixChild, kVendorC + L"|");
    ASSERT_TRUE(record.load(render.id(), L""));
    EXPECT_EQ(record.orgGuid[kEndpointSlot] + L"|" + record.postMixChild, kEndpointText + L"|");
}

TEST(Records, TreesPresenceAndTheDefaultEndpoint) {
    TestEndpoint endpoint(false), previous(true, true);
    endpoint.describe(L"D", L"N", L"H");
    previous.describe(L"Old", L"Mic", L"H");
    DeviceAPOInfo record;
    EXPECT_FALSE(record.load(previous.id(), L""));  // load reads the tree its record names
    record.previousOs = true;
    ASSERT_TRUE(record.load(previous.id(), L""));
    EXPECT_EQ(record.endpointKey(), previous.key());
    std::wstring lower = endpoint.id();
    CharLowerBuffW(lower.data(), static_cast<DWORD>(lower.size()));
    for (const auto& [guid, isDefault] : {std::pair{lower, true}, {test::freshGuidText(), false}, {std::wstring(L"x"), false}}) {
        ASSERT_TRUE(record.reload(endpoint.id(), guid));  // always the current tree
        EXPECT_EQ(record.isDefaultEndpoint(), isDefault);
    }
    record.previousOs = false;
    ASSERT_TRUE(record.load(endpoint.id(), endpoint.id()));
    EXPECT_FALSE(record.isDefaultEndpoint());  // load never tests it
    for (DWORD state : {0x1u, 0x2u, 0x4u, 0x8u, 0xCu})  // bit 4: not present
        EXPECT_EQ(record.reload(endpoint.deviceState(state).id(), lower), (state & 4) == 0) << state;
    const std::wstring missing = test::freshGuidText();
    EXPECT_EQ(test::registryMessageOf([&] { record.reload(missing, L""); }),
              test::narrow(L"Error while reading registry value " + endpointKeyPath(false, true, missing) + L"\\DeviceState: " +
                           common::systemErrorText(ERROR_INVALID_HANDLE)));
}

}  // namespace
}  // namespace zol::apo_install
