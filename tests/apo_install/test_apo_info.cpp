// The endpoint catalogue, and installation records loaded in every slot combination and store layout.
#include <gtest/gtest.h>

#include <set>

#include "apo_install/apo_info.h"
#include "apo_install/endpoint_catalogue.h"
#include "registry/registry.h"
#include "support/endpoint_fixture.h"
#include "support/scratch_key.h"

namespace zol::apo_install {
namespace {

using namespace test::classes;
using test::TestEndpoint;
namespace p = property;
using Values = std::vector<std::pair<std::wstring, std::wstring>>;

std::wstring slot(std::size_t i) { return kFxSlotValueNames[i]; }
std::string text(const InstallOptions& o) {  // "1111 style 0 silent 0"
    return std::to_string(o.preMixSlot * 1000 + o.postMixSlot * 100 + o.keepPreMixChild * 10 + o.keepPostMixChild) + " style " +
           std::to_string(o.slotStyle) + " silent " + std::to_string(o.allowSilentBufferModification);
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
    test::rawDeleteTree(current.fx());
    setStore(withFx(current, {{slot(kModeSlot), kStreamText}}).id(), {{L"AllowSilentBufferModification", L"false"}, {L"PreMixChild", L""}});
    ASSERT_TRUE(record.load(current.id(), L""));
    EXPECT_EQ(text(record.loadedOptions), text({false, true, false, false, 1, false}));  // only the mode slot: the post-mix side
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

TEST(UsbSearch, MatchesLowerCasedHardwareIdsOfOneFlowAndTheCurrentTreeOnly) {
    TestEndpoint upper(false), lower(false), other(false), capture(true), previous(false, true);
    upper.describe(L"Speakers", L"Zol Headset", L"USB\\VID_0A1B&PID_00C2&MI_00\\7&1234");
    lower.deviceState(1).property(p::kHardwareIdFallback, L"usb\\vid_0a1b&pid_00c2&mi_00");
    // Property 39 wins over 2: this endpoint belongs to product 00C3.
    other.describe(L"Speakers", L"Other", L"USB\\VID_0A1B&PID_00C3").property(p::kHardwareIdFallback, L"USB\\VID_0A1B&PID_00C2");
    capture.describe(L"Microphone", L"Zol Headset", L"USB\\VID_0A1B&PID_00C2&MI_00");
    previous.describe(L"Speakers", L"Zol Headset", L"USB\\VID_0A1B&PID_00C2");
    const auto found = [&](std::uint16_t product, std::uint8_t flow) {  // which of these, in no particular order
        std::set<std::wstring> ids, ours = {upper.id(), lower.id(), other.id(), capture.id(), previous.id()};
        for (const EndpointMatch& match : findUsbEndpoints(0x0A1B, product, flow)) ids.insert(ours.count(match.endpointId) ? match.endpointId : L"");
        return ids.erase(L""), ids;
    };
    EXPECT_EQ(found(0x00C2, 0), (std::set<std::wstring>{upper.id(), lower.id()}));
    EXPECT_EQ(found(0x00C3, 0), std::set<std::wstring>{other.id()});
    EXPECT_EQ(found(0x00C2, 7), std::set<std::wstring>{capture.id()});  // any flow but 0 is capture
    EXPECT_EQ(getEndpointKeyPath(capture.id()), capture.key());
    EXPECT_EQ(getEndpointKeyPath(previous.id()), L"");
}

// The format's fields where its size has them (6 channels at 44.1 kHz, the extensible format's
// mask 0x3F), else property 3's mask; the older name and id properties; the system-effects switch.
TEST(EndpointProperties, FormatFallbacksAndSystemEffectsSwitch) {
    for (const auto& [size, tag, channels, rate, mask] : {std::tuple{0, 0, 0u, 0u, 0x63u}, {25, 0xFFFE, 0u, 0u, 0x63u}, {26, 1, 6u, 44100u, 0x63u},
                                                          {31, 0xFFFE, 6u, 44100u, 0x63u}, {32, 0xFFFE, 6u, 44100u, 0x3Fu}, {32, 1, 6u, 44100u, 0x63u}}) {
        TestEndpoint e(false);
        std::vector<std::uint8_t> bytes(40, 0);
        bytes[8] = tag & 0xFF, bytes[9] = tag >> 8, bytes[10] = 6, bytes[12] = 0x44, bytes[13] = 0xAC, bytes[28] = 0x3F;
        const DWORD speakers = 0x63;
        test::rawSetValue(e.describe(L"D", L"N", L"H").properties(), p::kPhysicalSpeakers, REG_DWORD, &speakers, sizeof speakers);
        if (size) test::rawSetValue(e.properties(), p::kDeviceFormat, REG_BINARY, bytes.data(), size);
        const EndpointProperties read = readEndpointProperties(e.key(), e.id());
        EXPECT_EQ(std::tuple(read.channelCount, read.sampleRate, read.channelMask), std::tuple(channels, rate, mask)) << size;
    }
    TestEndpoint fallback(false);
    fallback.deviceState(1).property(p::kDeviceDescription, L"D").property(p::kEndpointNameFallback, L"Name 6").property(p::kHardwareIdFallback, L"Id 2");
    const EndpointProperties read = readEndpointProperties(fallback.key(), L"given id");
    EXPECT_EQ(read.endpointId + L"|" + read.endpointName + L"|" + read.hardwareId, L"given id|Name 6|Id 2");
    for (int stored : {1, 0, 2, -1, -2}) {  // -1: FxProperties without the value, -2: no FxProperties
        TestEndpoint e(false);
        if (e.describe(L"D", L"N", L"H"), stored >= -1) e.emptyFx();
        if (stored >= 0) e.fxDword(p::kDisableSystemEffects, static_cast<DWORD>(stored));
        EXPECT_EQ(readEndpointProperties(e.key(), e.id()).systemEffectsDisabled, stored > 0) << stored;
    }
}

constexpr std::uint32_t kWord0 = 0x01001A7D;  // Bluetooth entry, company part 0x001A7D
constexpr std::uint64_t kLow = (0x001A7Dull << 24) | 0x100000, kHigh = (0x001A7Dull << 24) | 0x1000FF;

// A Bluetooth enumerator in the hardware id (else no search), the name cut before " Hands-Free" and
// compared exactly, the first device of that name only, the address range.
TEST(BluetoothMatch, Rules) {
    const struct {
        std::vector<std::pair<std::wstring, std::uint64_t>> paired;
        std::wstring hardwareId, name;
        bool matches;
        int visits;
    } rows[] = {
        {{{L"Headset", kLow}}, L"BTHENUM\\{0000111e}_VID&0002", L"Headset", true, 1},
        {{{L"Headset", kHigh}}, L"x BTHHFENUM\\{...}", L"Headset", true, 1},
        {{{L"Headset", kLow}}, L"bthenum\\{0000111e}", L"Headset", false, 0},
        {{{L"Headset", kLow}}, L"BTHHFENUM\\x", L"Headset Hands-Free AG Audio", true, 1},
        {{{L"Headset", kLow}}, L"BTHHFENUM\\x", L"headset", false, 1},
        {{{L"Speaker", kLow}, {L"Headset", kHigh + 1}, {L"Headset", kLow}}, L"BTHENUM\\x", L"Headset", false, 2},
        {{{L"Headset", kLow - 1}}, L"BTHENUM\\x", L"Headset", false, 1},
    };
    for (const auto& row : rows) {
        test::PairedBluetoothDevices paired(row.paired);
        EXPECT_EQ(matchesBluetoothDevice(kWord0, 0xFF100000, 0x001000FF, row.hardwareId, row.name), row.matches) << &row - rows;
        EXPECT_EQ(paired.visited(), row.visits) << &row - rows;
    }
}

}  // namespace
}  // namespace zol::apo_install
