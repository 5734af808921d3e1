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

using test::narrow;
using test::PairedBluetoothDevices;
using test::TestEndpoint;
namespace p = property;

// The matches among `ours`, in the order the flow key lists them.
std::vector<std::wstring> found(std::uint16_t vid, std::uint16_t pid, std::uint8_t flow, const std::vector<const TestEndpoint*>& ours) {
    std::vector<std::wstring> ids;
    for (const EndpointMatch& match : findUsbEndpoints(vid, pid, flow))
        for (const TestEndpoint* e : ours)
            if (e->id() == match.endpointId) ids.push_back(match.endpointId);
    return ids;
}

TEST(UsbSearch, MatchesLowerCasedHardwareIdsOfOneFlowAndTheCurrentTreeOnly) {
    TestEndpoint upper(false), lower(false), other(false), capture(true), previous(false, true);
    upper.describe(L"Speakers", L"Zol Headset", L"USB\\VID_0A1B&PID_00C2&MI_00\\7&1234");
    lower.deviceState(1).property(p::kHardwareIdFallback, L"usb\\vid_0a1b&pid_00c2&mi_00");
    // Property 39 wins over 2: this endpoint belongs to product 00C3.
    other.describe(L"Speakers", L"Other", L"USB\\VID_0A1B&PID_00C3").property(p::kHardwareIdFallback, L"USB\\VID_0A1B&PID_00C2");
    capture.describe(L"Microphone", L"Zol Headset", L"USB\\VID_0A1B&PID_00C2&MI_00");
    previous.describe(L"Speakers", L"Zol Headset", L"USB\\VID_0A1B&PID_00C2");
    const std::vector<const TestEndpoint*> all = {&upper, &lower, &other, &capture, &previous};
    std::vector<std::wstring> renderIds = found(0x0A1B, 0x00C2, 0, all);
    EXPECT_EQ(renderIds.size(), 2u);
    EXPECT_TRUE(std::is_permutation(renderIds.begin(), renderIds.end(), std::vector<std::wstring>{upper.id(), lower.id()}.begin()));
    EXPECT_EQ(found(0x0A1B, 0x00C3, 0, all), std::vector<std::wstring>{other.id()});
    EXPECT_EQ(found(0x0A1B, 0x00C2, 7, all), std::vector<std::wstring>{capture.id()});  // any flow but 0 is capture
    EXPECT_TRUE(found(0x1A1B, 0x00C2, 0, all).empty());
}

TEST(EndpointKeyPath, RenderFirstThenCaptureNeverThePreviousTree) {
    const std::wstring both = test::freshGuidText();
    TestEndpoint capture(true), previous(false, true), bothRender(false, false, both), bothCapture(true, false, both);
    EXPECT_EQ(getEndpointKeyPath(capture.id()), std::wstring(kCurrentTreeKey) + L"\\Capture\\" + capture.id());
    EXPECT_EQ(getEndpointKeyPath(both), std::wstring(kCurrentTreeKey) + L"\\Render\\" + both);
    EXPECT_EQ(getEndpointKeyPath(previous.id()), L"");
}

// 6 channels at 44.1 kHz, channel mask 0x3F where the extensible format has it.
std::vector<std::uint8_t> format(std::size_t size, std::uint16_t tag) {
    std::vector<std::uint8_t> bytes(40, 0);
    bytes[8] = tag & 0xFF, bytes[9] = tag >> 8, bytes[10] = 6, bytes[12] = 0x44, bytes[13] = 0xAC, bytes[28] = 0x3F;
    bytes.resize(size);
    return bytes;
}

TEST(EndpointProperties, FallbacksFormatAndSystemEffectsSwitch) {
    struct Row {
        std::size_t formatSize;  // 0: none
        std::uint16_t tag;
        std::uint32_t channels, rate, mask;
    } rows[] = {{0, 0, 0, 0, 0x63}, {25, 0xFFFE, 0, 0, 0x63}, {26, 1, 6, 44100, 0x63}, {31, 0xFFFE, 6, 44100, 0x63},
                {32, 0xFFFE, 6, 44100, 0x3F}, {32, 1, 6, 44100, 0x63}};
    for (const Row& row : rows) {
        TestEndpoint e(false);
        e.describe(L"Speakers", L"Name", L"Hardware");
        const DWORD speakers = 0x63;
        test::rawSetValue(e.properties(), p::kPhysicalSpeakers, REG_DWORD, &speakers, sizeof speakers);
        const auto bytes = format(row.formatSize, row.tag);
        if (row.formatSize) test::rawSetValue(e.properties(), p::kDeviceFormat, REG_BINARY, bytes.data(), DWORD(bytes.size()));
        const EndpointProperties read = readEndpointProperties(e.key(), e.id());
        EXPECT_EQ(std::vector<std::uint32_t>({read.channelCount, read.sampleRate, read.channelMask}),
                  std::vector<std::uint32_t>({row.channels, row.rate, row.mask})) << row.formatSize;
    }
    TestEndpoint fallback(false);
    fallback.deviceState(1).property(p::kDeviceDescription, L"Headset").property(p::kEndpointNameFallback, L"Name 6")
        .property(p::kHardwareIdFallback, L"Hardware 2");
    const EndpointProperties read = readEndpointProperties(fallback.key(), L"given id");
    EXPECT_EQ(read.endpointId + L"|" + read.endpointName + L"|" + read.hardwareId, L"given id|Name 6|Hardware 2");
    for (int stored : {1, 0, 2, -1, -2}) {  // -1: FxProperties without the value, -2: no FxProperties
        TestEndpoint e(false);
        e.describe(L"D", L"N", L"H");
        if (stored >= 0) e.fxDword(p::kDisableSystemEffects, static_cast<DWORD>(stored));
        if (stored == -1) e.emptyFx();
        EXPECT_EQ(readEndpointProperties(e.key(), e.id()).systemEffectsDisabled, stored > 0) << stored;
    }
}

TEST(EndpointProperties, MissingOrMistypedValuesRaiseNamingTheValue) {
    static const DWORD seven = 7;
    struct Row {
        void (*spoil)(TestEndpoint&);
        std::wstring value;  // below the endpoint key
        bool missing;        // else of the wrong type
    } rows[] = {
        {[](TestEndpoint& e) { test::rawDeleteValue(e.properties(), p::kDeviceDescription); },
         std::wstring(L"Properties\\") + p::kDeviceDescription, true},
        {[](TestEndpoint& e) { test::rawDeleteValue(e.properties(), p::kEndpointName); },
         std::wstring(L"Properties\\") + p::kEndpointNameFallback, true},
        {[](TestEndpoint& e) { test::rawDeleteValue(e.properties(), p::kHardwareId); },
         std::wstring(L"Properties\\") + p::kHardwareIdFallback, true},
        {[](TestEndpoint& e) { test::rawSetValue(e.properties(), p::kDeviceDescription, REG_DWORD, &seven, 4); },
         std::wstring(L"Properties\\") + p::kDeviceDescription, false},
        {[](TestEndpoint& e) { e.property(p::kDeviceFormat, L"x"); }, std::wstring(L"Properties\\") + p::kDeviceFormat, false},
        {[](TestEndpoint& e) { e.property(p::kPhysicalSpeakers, L"x"); }, std::wstring(L"Properties\\") + p::kPhysicalSpeakers, false},
        {[](TestEndpoint& e) { e.fxValue(p::kDisableSystemEffects, L"1"); }, std::wstring(L"FxProperties\\") + p::kDisableSystemEffects, false},
    };
    for (const Row& row : rows) {
        TestEndpoint e(false);
        e.describe(L"D", L"N", L"H");
        row.spoil(e);
        const std::wstring at = e.key() + L"\\" + row.value;
        EXPECT_EQ(test::registryMessageOf([&] { readEndpointProperties(e.key(), e.id()); }),
                  narrow(row.missing ? L"Error while reading registry value " + at + L": " + common::systemErrorText(ERROR_FILE_NOT_FOUND)
                                     : L"Registry value " + at + L" has wrong type"));
    }
}

constexpr std::uint32_t kWord0 = 0x01001A7D;  // Bluetooth entry, company part 0x001A7D
constexpr std::uint64_t kCompany = 0x001A7Dull << 24;

// A Bluetooth enumerator in the hardware id (no search otherwise), the name cut before
// " Hands-Free" and compared exactly, the first device of that name only, both range ends.
TEST(BluetoothMatch, Rules) {
    const std::uint64_t low = kCompany | 0x100000, high = kCompany | 0x1000FF;
    struct Row {
        const char* what;
        std::vector<PairedBluetoothDevices::Device> paired;
        std::wstring hardwareId, name;
        bool matches;
        int visits;  // -1: not checked
    } rows[] = {
        {"BTHENUM", {{L"Headset", low}}, L"BTHENUM\\{0000111e}_VID&0002", L"Headset", true, -1},
        {"BTHHFENUM inside the id", {{L"Headset", low}}, L"x BTHHFENUM\\{...}", L"Headset", true, -1},
        {"lower-case enumerator", {{L"Headset", low}}, L"bthenum\\{0000111e}", L"Headset", false, 0},
        {"Hands-Free cut", {{L"Headset", low}}, L"BTHHFENUM\\x", L"Headset Hands-Free AG Audio", true, -1},
        {"other suffix", {{L"Headset", low}}, L"BTHHFENUM\\x", L"Headset Stereo", false, -1},
        {"case of the name", {{L"Headset", low}}, L"BTHHFENUM\\x", L"headset", false, -1},
        {"first name match only", {{L"Speaker", low}, {L"Headset", kCompany | 0x200000}, {L"Headset", low}}, L"BTHENUM\\x",
         L"Headset", false, 2},
        {"high end", {{L"Headset", high}}, L"BTHENUM\\x", L"Headset", true, -1},
        {"below", {{L"Headset", low - 1}}, L"BTHENUM\\x", L"Headset", false, -1},
        {"above", {{L"Headset", high + 1}}, L"BTHENUM\\x", L"Headset", false, -1},
    };
    for (const Row& row : rows) {
        PairedBluetoothDevices paired(row.paired);
        EXPECT_EQ(matchesBluetoothDevice(kWord0, 0xFF100000, 0x001000FF, row.hardwareId, row.name), row.matches) << row.what;
        if (row.visits >= 0) EXPECT_EQ(paired.visited(), row.visits) << row.what;
    }
}

TEST(BluetoothSearch, FirstEndpointWithNameAndFallbackIdWhoseDeviceMatches) {
    PairedBluetoothDevices paired({{L"Other", kCompany | 0x100000}, {L"Zol BT", kCompany | 0x100010}});
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
