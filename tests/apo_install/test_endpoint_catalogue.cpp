// The endpoint catalogue over endpoints laid out like Windows' own.
#include <gtest/gtest.h>

#include <algorithm>

#include "apo_install/apo_info.h"
#include "apo_install/endpoint_catalogue.h"
#include "common/system_error.h"
#include "registry/registry.h"
#include "support/endpoint_fixture.h"
#include "support/scratch_key.h"

namespace zol::apo_install {
namespace {

using test::TestEndpoint;
namespace p = property;

TEST(UsbSearch, MatchesLowerCasedHardwareIdsOfOneFlowAndTheCurrentTreeOnly) {
    TestEndpoint upper(false), lower(false), other(false), capture(true), previous(false, true);
    upper.describe(L"Speakers", L"Zol Headset", L"USB\\VID_0A1B&PID_00C2&MI_00\\7&1234");
    lower.deviceState(1).property(p::kHardwareIdFallback, L"usb\\vid_0a1b&pid_00c2&mi_00");
    // Property 39 wins over 2: this endpoint belongs to product 00C3.
    other.describe(L"Speakers", L"Other", L"USB\\VID_0A1B&PID_00C3").property(p::kHardwareIdFallback, L"USB\\VID_0A1B&PID_00C2");
    capture.describe(L"Microphone", L"Zol Headset", L"USB\\VID_0A1B&PID_00C2&MI_00");
    previous.describe(L"Speakers", L"Zol Headset", L"USB\\VID_0A1B&PID_00C2");
    const auto found = [&](std::uint16_t product, std::uint8_t flow) {
        std::vector<std::wstring> ids;
        for (const EndpointMatch& match : findUsbEndpoints(0x0A1B, product, flow))
            for (const TestEndpoint* e : {&upper, &lower, &other, &capture, &previous})
                if (e->id() == match.endpointId) ids.push_back(match.endpointId);
        std::sort(ids.begin(), ids.end());
        return ids;
    };
    std::vector<std::wstring> render = {upper.id(), lower.id()};
    std::sort(render.begin(), render.end());
    EXPECT_EQ(found(0x00C2, 0), render);
    EXPECT_EQ(found(0x00C3, 0), std::vector<std::wstring>{other.id()});
    EXPECT_EQ(found(0x00C2, 7), std::vector<std::wstring>{capture.id()});  // any flow but 0 is capture
    EXPECT_EQ(getEndpointKeyPath(capture.id()), capture.key());
    EXPECT_EQ(getEndpointKeyPath(previous.id()), L"");
}

TEST(EndpointProperties, FallbacksFormatAndSystemEffectsSwitch) {
    // Format sizes and tags: 6 channels at 44.1 kHz, channel mask 0x3F where the extensible format has it.
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
        e.describe(L"D", L"N", L"H");
        if (stored >= -1) e.emptyFx();
        if (stored >= 0) e.fxDword(p::kDisableSystemEffects, static_cast<DWORD>(stored));
        EXPECT_EQ(readEndpointProperties(e.key(), e.id()).systemEffectsDisabled, stored > 0) << stored;
    }
}

TEST(EndpointProperties, MissingOrMistypedValuesRaiseNamingTheValue) {
    static const DWORD seven = 7;
    const std::pair<void (*)(TestEndpoint&), std::wstring> rows[] = {  // how the endpoint is spoilt, what the message names
        {[](TestEndpoint& e) { test::rawDeleteValue(e.properties(), p::kDeviceDescription); }, std::wstring(L"Properties\\") + p::kDeviceDescription},
        {[](TestEndpoint& e) { test::rawDeleteValue(e.properties(), p::kEndpointName); }, std::wstring(L"Properties\\") + p::kEndpointNameFallback},
        {[](TestEndpoint& e) { test::rawDeleteValue(e.properties(), p::kHardwareId); }, std::wstring(L"Properties\\") + p::kHardwareIdFallback},
        {[](TestEndpoint& e) { test::rawSetValue(e.properties(), p::kDeviceDescription, REG_DWORD, &seven, 4); },
         std::wstring(L"Properties\\") + p::kDeviceDescription + L"!"},
        {[](TestEndpoint& e) { e.property(p::kDeviceFormat, L"x"); }, std::wstring(L"Properties\\") + p::kDeviceFormat + L"!"},
        {[](TestEndpoint& e) { e.property(p::kPhysicalSpeakers, L"x"); }, std::wstring(L"Properties\\") + p::kPhysicalSpeakers + L"!"},
        {[](TestEndpoint& e) { e.fxValue(p::kDisableSystemEffects, L"1"); }, std::wstring(L"FxProperties\\") + p::kDisableSystemEffects + L"!"},
    };
    for (const auto& [spoil, value] : rows) {  // "!": of the wrong type
        TestEndpoint e(false);
        spoil(e.describe(L"D", L"N", L"H"));
        const std::wstring at = e.key() + L"\\" + value.substr(0, value.find(L'!'));
        EXPECT_EQ(test::registryMessageOf([&] { readEndpointProperties(e.key(), e.id()); }),
                  test::narrow(value.back() == L'!' ? L"Registry value " + at + L" has wrong type"
                                                    : L"Error while reading registry value " + at + L": " + common::systemErrorText(ERROR_FILE_NOT_FOUND)));
    }
}

constexpr std::uint32_t kWord0 = 0x01001A7D;  // Bluetooth entry, company part 0x001A7D
constexpr std::uint64_t kLow = (0x001A7Dull << 24) | 0x100000, kHigh = (0x001A7Dull << 24) | 0x1000FF;

// A Bluetooth enumerator in the hardware id (no search otherwise), the name cut before
// " Hands-Free" and compared exactly, the first device of that name only, both range ends.
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
        {{{L"Headset", kLow}}, L"BTHHFENUM\\x", L"Headset Stereo", false, 1},
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

TEST(BluetoothSearch, FirstEndpointWithNameAndFallbackIdWhoseDeviceMatches) {
    test::PairedBluetoothDevices paired({{L"Other", kLow}, {L"Zol BT", kLow + 0x10}});
    TestEndpoint noName(false), other(false), ours(false), capture(true), old(false, true);
    noName.deviceState(1).property(p::kEndpointNameFallback, L"Zol BT").property(p::kHardwareIdFallback, L"BTHENUM\\a");
    other.describe(L"Headphones", L"Other", L"x").property(p::kHardwareIdFallback, L"BTHENUM\\b");
    ours.describe(L"Headphones", L"Zol BT Hands-Free", L"USB\\not used").property(p::kHardwareIdFallback, L"BTHHFENUM\\c");
    capture.describe(L"Headset", L"Zol BT Hands-Free", L"x").property(p::kHardwareIdFallback, L"BTHHFENUM\\c");
    old.describe(L"Headphones", L"Zol BT", L"x").property(p::kHardwareIdFallback, L"BTHENUM\\d");
    DeviceAPOInfo record;
    EXPECT_EQ(record.findBluetoothEndpoint(kWord0, 0x100010, 0x100010, false, 0), ours.id());
    EXPECT_EQ(record.findBluetoothEndpoint(kWord0, 0x100010, 0x100010, false, 1), capture.id());
    EXPECT_EQ(record.findBluetoothEndpoint(kWord0, 0x100011, 0x100020, false, 0), L"");
    EXPECT_EQ(record.findBluetoothEndpoint(kWord0, 0, 0xFFFFFF, true, 0), old.id());
    EXPECT_TRUE(record.previousOs);
}

}  // namespace
}  // namespace zol::apo_install
