// Installation records loaded from endpoints in every slot combination and store layout.
#include <gtest/gtest.h>
#include <objbase.h>

#include "apo_install/apo_info.h"
#include "apo_install/endpoint_catalogue.h"
#include "common/system_error.h"
#include "registry/registry.h"
#include "support/debug_channel.h"
#include "support/endpoint_fixture.h"
#include "support/scratch_key.h"

namespace zol::apo_install {
namespace {

using namespace test::classes;
using test::narrow;
using test::TestEndpoint;
using Slots = std::vector<std::pair<std::wstring, std::wstring>>;

std::wstring slot(std::size_t i) { return kFxSlotValueNames[i]; }
const std::wstring kValue13 = L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},13", kValue15 = L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},15";
const std::wstring kNoDefault = L"{00000000-0000-0000-0000-000000000000}";

std::string text(const InstallOptions& o) {
    return std::to_string(o.preMixSlot) + std::to_string(o.postMixSlot) + std::to_string(o.keepPreMixChild) +
           std::to_string(o.keepPostMixChild) + " style " + std::to_string(o.slotStyle) + " silent " +
           std::to_string(o.allowSilentBufferModification);
}

void setStore(const std::wstring& id, const Slots& values) {
    for (const auto& [name, value] : values) test::rawSetText(childApoStoreKeyPath(id), name, value);
}

std::wstring lowerCase(std::wstring s) {
    CharLowerBuffW(s.data(), static_cast<DWORD>(s.size()));
    return s;
}

struct LoadRow {
    const char* what;
    bool capture, withFx, hint41;
    Slots fx;
    bool installed;
    InstallOptions options;
};

// What a load makes of "FxProperties" without a child-effect store: the former registrations, the
// effect found or not, and the options it proposes (slot style from the slots and property 41).
TEST(Records, LoadOfEveryKindOfFxProperties) {
    const InstallOptions both{true, true, true, true, 0, false};
    auto style = [&](std::uint32_t s) { InstallOptions o = both; o.slotStyle = s; return o; };
    const LoadRow rows[] = {
        {"no FxProperties, render", false, false, false, {}, false, both},
        {"no FxProperties, capture", true, false, false, {}, false, {true, false, true, false, 0, false}},
        {"pre/post-mix only", false, true, true, {{slot(kPreMixSlot), kVendorA}, {slot(kPostMixSlot), kVendorB}}, false, style(0)},
        {"post-mix only", false, true, false, {{slot(kPostMixSlot), kVendorB}}, false, style(0)},
        {"plus stream, hint 41", false, true, true, {{slot(kPreMixSlot), kVendorA}, {slot(kStreamSlot), kVendorC}}, false, style(1)},
        {"plus stream", false, true, false, {{slot(kPreMixSlot), kVendorA}, {slot(kStreamSlot), kVendorC}}, false, style(2)},
        {"plus value 13", false, true, false, {{slot(kPreMixSlot), kVendorA}, {kValue13, L"x"}}, false, style(2)},
        {"plus value 15, hint 41", false, true, true, {{slot(kPreMixSlot), kVendorA}, {kValue15, L"x"}}, false, style(1)},
        {"empty, hint 41", false, true, true, {}, false, style(1)},
        {"mode and endpoint", false, true, false, {{slot(kModeSlot), kVendorC}, {slot(kEndpointSlot), kVendorD}}, false, style(2)},
        {"kit class in lower case", false, true, false, {{slot(kStreamSlot), lowerCase(kStreamText)}, {slot(kPreMixSlot), L"x"}}, true, both},
        {"kit class in the pre-mix slot only", true, true, false, {{slot(kPreMixSlot), kEndpointText}}, true, {true, false, true, false, 0, false}},
    };
    for (const LoadRow& row : rows) {
        SCOPED_TRACE(row.what);
        TestEndpoint endpoint(row.capture);
        endpoint.describe(L"D", L"N", L"H");
        if (row.withFx) endpoint.emptyFx();
        if (row.hint41) endpoint.property(property::kSlotStyleHint, L"");
        for (const auto& [name, value] : row.fx) endpoint.fxValue(name, value);
        DeviceAPOInfo record;
        ASSERT_TRUE(record.load(endpoint.id(), L""));
        EXPECT_EQ(record.isCapture(), row.capture);
        EXPECT_EQ(record.isInstalled(), row.installed);
        EXPECT_EQ(record.hasNoEffects(), !row.withFx);
        EXPECT_EQ(record.isOutdated(), row.installed);  // no store: the oldest layout
        EXPECT_EQ(text(record.loadedOptions), text(row.options));
        for (std::size_t i = 0; i < kFxSlotCount; ++i) {
            std::wstring expected = row.withFx ? kMarkerNoValue : kMarkerNoKey;
            for (const auto& [name, value] : row.fx)
                if (name == slot(i)) expected = value;
            EXPECT_EQ(record.orgGuid[i], expected) << i;
        }
    }
}

TEST(Records, LoadLogsTheFormerRegistrations) {
    test::DebugChannelListener channel;
    TestEndpoint bare(false), withFx(true);
    bare.describe(L"D", L"N", L"H");
    withFx.describe(L"D", L"N", L"H").fxValue(slot(kPreMixSlot), kVendorA).fxValue(slot(kModeSlot), kVendorB);
    channel.clear();
    DeviceAPOInfo record;
    ASSERT_TRUE(record.load(bare.id(), L""));
    ASSERT_TRUE(record.load(withFx.id(), L""));
    std::vector<std::string> lines = {"[brisol]load(" + narrow(bare.id()) + ")", "[brisol]:FxProperties NOT exist",
                                      "[brisol]load(" + narrow(withFx.id()) + ")"};
    for (int i = 0; i < 5; ++i) lines.push_back("[brisol]:orgGuid[" + std::to_string(i) + "]=" + narrow(record.orgGuid[i]));
    EXPECT_EQ(channel.ownLines(), lines);
    EXPECT_EQ(record.orgGuid[kModeSlot], kVendorB);
}

TEST(Records, StoreLayoutsOneAndTwo) {
    test::ProductKeyGuard productKey;
    TestEndpoint streamStyle(false), mixStyle(false), current(false);
    // Layout 1 (no "Version"): the children are the saved slots of the side that was saved.
    streamStyle.describe(L"D", L"N", L"H").fxValue(slot(kStreamSlot), kStreamText).fxValue(slot(kEndpointSlot), kEndpointText);
    setStore(streamStyle.id(), {{slot(kStreamSlot), kVendorC}, {slot(kModeSlot), kVendorD}, {slot(kEndpointSlot), L"!VALUE"}});
    mixStyle.describe(L"D", L"N", L"H").fxValue(slot(kPreMixSlot), kStreamText).fxValue(slot(kPostMixSlot), kEndpointText);
    setStore(mixStyle.id(), {{slot(kPreMixSlot), kVendorA}, {slot(kPostMixSlot), kVendorB}, {slot(kStreamSlot), kVendorC}});
    DeviceAPOInfo record;
    ASSERT_TRUE(record.load(streamStyle.id(), L""));
    EXPECT_EQ(record.version, L"1");
    EXPECT_TRUE(record.isOutdated());
    EXPECT_EQ(record.preMixChild + record.postMixChild, kVendorC + kVendorD);
    EXPECT_EQ(record.orgGuid[kPreMixSlot], L"!VALUE");  // not saved: what FxProperties had
    ASSERT_TRUE(record.load(mixStyle.id(), L""));
    EXPECT_EQ(record.preMixChild + record.postMixChild, kVendorA + kVendorB);

    // Layout 2: children and options from the store and the slots the effect holds.
    current.describe(L"D", L"N", L"H").fxValue(slot(kPreMixSlot), kVendorA).fxValue(slot(kStreamSlot), kStreamText)
        .fxValue(slot(kEndpointSlot), kEndpointText);
    setStore(current.id(), {{L"Version", L"2"}, {slot(kPreMixSlot), kVendorA}, {slot(kStreamSlot), kVendorC},
                            {L"PreMixChild", kVendorC}, {L"PostMixChild", L""}, {L"AllowSilentBufferModification", L"False"}});
    ASSERT_TRUE(record.load(current.id(), L""));
    EXPECT_FALSE(record.isOutdated());
    EXPECT_EQ(record.orgGuid, (std::array<std::wstring, 5>{kVendorA, L"!VALUE", kVendorC, L"!VALUE", kEndpointText}));
    EXPECT_EQ(text(record.loadedOptions), text({true, true, true, false, 2, true}));  // only "false" is false
    EXPECT_TRUE(record.hasPendingChange());
    record.appliedOptions = record.loadedOptions;
    EXPECT_FALSE(record.hasPendingChange());
    record.appliedOptions.slotStyle = 1;  // the other fields the same
    EXPECT_TRUE(record.hasPendingChange());

    setStore(current.id(), {{L"AllowSilentBufferModification", L"false"}, {L"PreMixChild", L""}});
    test::rawDeleteTree(current.fx());
    current.fxValue(slot(kModeSlot), kStreamText);  // only the mode slot: style 1, post-mix side
    ASSERT_TRUE(record.load(current.id(), L""));
    EXPECT_EQ(text(record.loadedOptions), text({false, true, false, false, 1, false}));
    test::rawDeleteTree(current.fx());
    current.fxValue(slot(kPostMixSlot), kEndpointText);
    setStore(current.id(), {{L"PreMixChild", kVendorA}, {L"PostMixChild", kVendorB}});
    ASSERT_TRUE(record.load(current.id(), L""));
    EXPECT_EQ(text(record.loadedOptions), text({false, true, true, true, 0, false}));

    for (const wchar_t* bad : {L"3", L"", L"2 ", L"1"}) {
        setStore(current.id(), {{L"Version", bad}});
        EXPECT_EQ(test::registryMessageOf([&] { record.load(current.id(), L""); }),
                  "Unsupported version of APO installation detected!") << narrow(bad);
    }
}

// The oldest layout: one child, in a value named after the endpoint; only reload reads it.
TEST(Records, ReloadTakesTheOldestLayoutsChildIntoTheFirstEffectSlot) {
    test::ProductKeyGuard productKey;
    TestEndpoint render(false), capture(true);
    render.describe(L"D", L"N", L"H").fxValue(slot(kModeSlot), kVendorA).fxValue(slot(kEndpointSlot), kEndpointText);
    capture.describe(L"D", L"N", L"H").fxValue(slot(kStreamSlot), kStreamText).fxValue(slot(kEndpointSlot), kStreamText);
    test::rawSetText(kChildApoStoreKey, render.id(), kVendorB);
    test::rawSetText(kChildApoStoreKey, capture.id(), kVendorC);
    DeviceAPOInfo record;
    ASSERT_TRUE(record.reload(render.id(), kNoDefault));
    EXPECT_EQ(record.orgGuid[kEndpointSlot], kVendorB);
    EXPECT_EQ(record.orgGuid[kModeSlot], kVendorA);
    EXPECT_EQ(record.preMixChild + L"|" + record.postMixChild, L"|" + kVendorB);
    ASSERT_TRUE(record.reload(capture.id(), kNoDefault));
    EXPECT_EQ(record.orgGuid[kStreamSlot], kVendorC);
    EXPECT_EQ(record.orgGuid[kEndpointSlot], kStreamText);  // only the first effect slot
    EXPECT_EQ(record.preMixChild + L"|" + record.postMixChild, kVendorC + L"|");
    ASSERT_TRUE(record.load(render.id(), L""));
    EXPECT_EQ(record.orgGuid[kEndpointSlot], kEndpointText);
    EXPECT_EQ(record.postMixChild, L"");
}

TEST(Records, WhichTreeAndWhetherPresent) {
    TestEndpoint endpoint(false), previous(true, true);
    endpoint.describe(L"D", L"N", L"H");
    previous.describe(L"Old", L"Mic", L"H");
    DeviceAPOInfo record;
    EXPECT_FALSE(record.load(previous.id(), L""));  // only in the previous-OS tree
    record.previousOs = true;
    ASSERT_TRUE(record.load(previous.id(), L""));
    EXPECT_EQ(record.endpointKey(), previous.key());
    EXPECT_FALSE(record.load(endpoint.id(), L""));
    // reload: always the current tree; not present (bit 4) refuses.
    for (DWORD state : {0x1u, 0x2u, 0x4u, 0x8u, 0xCu}) {
        endpoint.deviceState(state);
        EXPECT_EQ(record.reload(endpoint.id(), kNoDefault), (state & 4) == 0) << state;
    }
    const std::wstring missing = test::freshGuidText();
    EXPECT_EQ(test::registryMessageOf([&] { record.reload(missing, L""); }),
              narrow(L"Error while reading registry value " + endpointKeyPath(false, true, missing) + L"\\DeviceState: " +
                     common::systemErrorText(ERROR_INVALID_HANDLE)));
}

TEST(Records, ReloadTestsTheDefaultEndpoint) {
    TestEndpoint endpoint(false);
    endpoint.describe(L"D", L"N", L"H");
    DeviceAPOInfo record;
    for (const auto& [guid, isDefault] : {std::pair{lowerCase(endpoint.id()), true}, {test::freshGuidText(), false},
                                          {std::wstring(L"not a guid"), false}}) {
        ASSERT_TRUE(record.reload(endpoint.id(), guid));
        EXPECT_EQ(record.isDefaultEndpoint(), isDefault) << narrow(guid);
    }
    ASSERT_TRUE(record.load(endpoint.id(), endpoint.id()));
    EXPECT_FALSE(record.isDefaultEndpoint());  // load never tests it
}

}  // namespace
}  // namespace zol::apo_install
