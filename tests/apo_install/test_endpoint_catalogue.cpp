// The endpoint catalogue over endpoints laid out like Windows' own.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "common/system_error.h"
#include "apo_install/apo_info.h"
#include "apo_install/endpoint_catalogue.h"
#include "support/endpoint_fixture.h"
#include "registry/registry.h"
#include "support/scratch_key.h"

namespace zol::apo_install {
namespace {

using test::narrow;
using test::PairedBluetoothDevices;
using test::TestEndpoint;
namespace p = property;

std::vector<std::wstring> ids(const std::vector<EndpointMatch>& matches, const std::vector<std::wstring>& ours) {
    std::vector<std::wstring> found;
    for (const EndpointMatch& match : matches) {
        EXPECT_EQ(match.previousOs, 0);
        if (std::find(ours.begin(), ours.end(), match.endpointId) != ours.end()) found.push_back(match.endpointId);
    }
    return found;
}

// Ids in the order the flow key enumerates them, restricted to the given ones.
std::vector<std::wstring> inEnumerationOrder(std::uint8_t flow, std::vector<std::wstring> wanted) {
    std::vector<std::wstring> ordered;
    for (const std::wstring& id : registry::listSubkeys(flowKeyPath(false, flow)))
        if (std::find(wanted.begin(), wanted.end(), id) != wanted.end()) ordered.push_back(id);
    return ordered;
}

TEST(UsbSearch, MatchesLowerCasedHardwareIdsOfOneFlowOnly) {
    TestEndpoint upper(false), lower(false), otherDevice(false), noHardwareId(false), capture(true);
    upper.describe(L"Speakers", L"Zol Headset", L"USB\\VID_0A1B&PID_00C2&MI_00\\7&1234");
    lower.deviceState(1).property(p::kHardwareIdFallback, L"usb\\vid_0a1b&pid_00c2&mi_00");
    // Property 39 wins over 2: this endpoint belongs to product 00C3.
    otherDevice.describe(L"Speakers", L"Other", L"USB\\VID_0A1B&PID_00C3")
        .property(p::kHardwareIdFallback, L"USB\\VID_0A1B&PID_00C2");
    noHardwareId.deviceState(1).property(p::kDeviceDescription, L"Speakers");
    capture.describe(L"Microphone", L"Zol Headset", L"USB\\VID_0A1B&PID_00C2&MI_00");
    const std::vector<std::wstring> ours = {upper.id(), lower.id(), otherDevice.id(), noHardwareId.id(), capture.id()};

    EXPECT_EQ(ids(findUsbEndpoints(0x0A1B, 0x00C2, 0), ours), inEnumerationOrder(0, {upper.id(), lower.id()}));
    EXPECT_EQ(ids(findUsbEndpoints(0x0A1B, 0x00C3, 0), ours), std::vector<std::wstring>{otherDevice.id()});
    // Any flow but 0 is capture.
    EXPECT_EQ(ids(findUsbEndpoints(0x0A1B, 0x00C2, 1), ours), std::vector<std::wstring>{capture.id()});
    EXPECT_EQ(ids(findUsbEndpoints(0x0A1B, 0x00C2, 7), ours), std::vector<std::wstring>{capture.id()});
    EXPECT_TRUE(ids(findUsbEndpoints(0x0A1B, 0x0C2, 0), {L"none"}).empty());
}

TEST(UsbSearch, PadsIdsToFourDigitsAndSearchesOnlyTheCurrentTree) {
    TestEndpoint current(false), previous(false, true);
    current.describe(L"Speakers", L"Tiny", L"USB\\VID_0001&PID_0002");
    previous.describe(L"Speakers", L"Tiny", L"USB\\VID_0001&PID_0002");
    const auto found = ids(findUsbEndpoints(0x1, 0x2, 0), {current.id(), previous.id()});
    EXPECT_EQ(found, std::vector<std::wstring>{current.id()});
}

TEST(EndpointKeyPath, RenderFirstThenCaptureNeverThePreviousTree) {
    TestEndpoint render(false), capture(true), previous(false, true);
    const std::wstring both = test::freshGuidText();
    TestEndpoint bothRender(false, false, both), bothCapture(true, false, both);
    EXPECT_EQ(getEndpointKeyPath(render.id()), std::wstring(kCurrentTreeKey) + L"\\Render\\" + render.id());
    EXPECT_EQ(getEndpointKeyPath(capture.id()), std::wstring(kCurrentTreeKey) + L"\\Capture\\" + capture.id());
    EXPECT_EQ(getEndpointKeyPath(both), bothRender.key());
    EXPECT_EQ(getEndpointKeyPath(previous.id()), L"");
    EXPECT_EQ(getEndpointKeyPath(test::freshGuidText()), L"");
}

class EndpointProperties_ : public ::testing::Test {
protected:
    static std::vector<std::uint8_t> format(std::size_t size, std::uint16_t tag, std::uint32_t mask) {
        std::vector<std::uint8_t> bytes(size, 0);
        auto put = [&](std::size_t at, std::uint32_t v, int width) {
            for (int i = 0; i < width && at + i < size; ++i) bytes[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
        };
        put(8, tag, 2);
        put(10, 6, 2);
        put(12, 44100, 4);
        put(28, mask, 4);
        return bytes;
    }
};

TEST_F(EndpointProperties_, NamesAndHardwareIdFallBackToTheOlderProperties) {
    TestEndpoint first(false), fallback(false);
    first.describe(L"Speakers", L"Name 26", L"Hardware 39")
        .property(p::kEndpointNameFallback, L"Name 6")
        .property(p::kHardwareIdFallback, L"Hardware 2");
    fallback.deviceState(1)
        .property(p::kDeviceDescription, L"Headset")
        .property(p::kEndpointNameFallback, L"Name 6")
        .property(p::kHardwareIdFallback, L"Hardware 2");
    const EndpointProperties a = readEndpointProperties(first.key(), first.id());
    EXPECT_EQ(a.endpointId, first.id());
    EXPECT_EQ(a.deviceDescription, L"Speakers");
    EXPECT_EQ(a.endpointName, L"Name 26");
    EXPECT_EQ(a.hardwareId, L"Hardware 39");
    const EndpointProperties b = readEndpointProperties(fallback.key(), L"given id");
    EXPECT_EQ(b.endpointId, L"given id");
    EXPECT_EQ(b.endpointName, L"Name 6");
    EXPECT_EQ(b.hardwareId, L"Hardware 2");
}

TEST_F(EndpointProperties_, FormatLengthsThenPhysicalSpeakers) {
    struct Case {
        std::size_t size;
        std::uint16_t tag;
        std::uint32_t channels, rate, mask;
    } cases[] = {{25, 0xFFFE, 0, 0, 0x63}, {26, 1, 6, 44100, 0x63}, {31, 0xFFFE, 6, 44100, 0x63},
                 {32, 0xFFFE, 6, 44100, 0x3F}, {32, 1, 6, 44100, 0x63}, {40, 0xFFFE, 6, 44100, 0x3F}};
    for (const Case& c : cases) {
        TestEndpoint endpoint(false);
        endpoint.describe(L"Speakers", L"Name", L"Hardware")
            .binaryProperty(p::kDeviceFormat, format(c.size, c.tag, 0x3F))
            .dwordProperty(p::kPhysicalSpeakers, 0x63);
        const EndpointProperties read = readEndpointProperties(endpoint.key(), endpoint.id());
        EXPECT_EQ(read.channelCount, c.channels) << c.size;
        EXPECT_EQ(read.sampleRate, c.rate) << c.size;
        EXPECT_EQ(read.channelMask, c.mask) << c.size;
    }
    TestEndpoint bare(false);
    bare.describe(L"Speakers", L"Name", L"Hardware");
    const EndpointProperties read = readEndpointProperties(bare.key(), bare.id());
    EXPECT_EQ(read.channelCount + read.sampleRate + read.channelMask, 0u);
}

TEST_F(EndpointProperties_, SystemEffectsSwitch) {
    for (int stored : {1, 0, -1, -2}) {  // -1: FxProperties without the value, -2: no FxProperties
        TestEndpoint e(false);
        e.describe(L"D", L"N", L"H");
        if (stored >= 0) e.fxDword(p::kDisableSystemEffects, static_cast<DWORD>(stored));
        if (stored == -1) e.emptyFx();
        EXPECT_EQ(readEndpointProperties(e.key(), e.id()).systemEffectsDisabled, stored == 1) << stored;
    }
}

std::string failureOf(const std::wstring& key, const std::wstring& id) {
    return test::registryMessageOf([&] { readEndpointProperties(key, id); });
}

TEST_F(EndpointProperties_, MissingOrMistypedValuesRaise) {
    const std::wstring missing = L": " + zol::common::systemErrorText(ERROR_FILE_NOT_FOUND);
    const auto describeBut = [](TestEndpoint& e, const wchar_t* skip) -> TestEndpoint& {
        e.deviceState(1);
        for (const wchar_t* name : {p::kDeviceDescription, p::kEndpointName, p::kHardwareId})
            if (std::wstring(name) != skip) e.property(name, L"x");
        return e;
    };
    struct Case {
        std::function<void(TestEndpoint&)> seed;
        std::wstring value;  // where the failing value lives, below the endpoint key
        std::wstring tail;
    };
    const Case cases[] = {
        {[&](TestEndpoint& e) { describeBut(e, p::kDeviceDescription); },
         std::wstring(L"Properties\\") + p::kDeviceDescription, missing},
        {[&](TestEndpoint& e) { describeBut(e, p::kEndpointName); },
         std::wstring(L"Properties\\") + p::kEndpointNameFallback, missing},
        {[&](TestEndpoint& e) { describeBut(e, p::kHardwareId); },
         std::wstring(L"Properties\\") + p::kHardwareIdFallback, missing},
        {[](TestEndpoint& e) { e.describe(L"D", L"N", L"H").dwordProperty(p::kDeviceDescription, 7); },
         std::wstring(L"Properties\\") + p::kDeviceDescription, L" has wrong type"},
        {[](TestEndpoint& e) { e.describe(L"D", L"N", L"H").property(p::kDeviceFormat, L"not binary"); },
         std::wstring(L"Properties\\") + p::kDeviceFormat, L" has wrong type"},
        {[](TestEndpoint& e) { e.describe(L"D", L"N", L"H").property(p::kPhysicalSpeakers, L"3"); },
         std::wstring(L"Properties\\") + p::kPhysicalSpeakers, L" has wrong type"},
        {[](TestEndpoint& e) { e.describe(L"D", L"N", L"H").fxValue(p::kDisableSystemEffects, L"1"); },
         std::wstring(L"FxProperties\\") + p::kDisableSystemEffects, L" has wrong type"},
    };
    for (const Case& c : cases) {
        TestEndpoint e(false);
        c.seed(e);
        const std::wstring prefix = c.tail == missing ? L"Error while reading registry value " : L"Registry value ";
        EXPECT_EQ(failureOf(e.key(), e.id()), narrow(prefix + e.key() + L"\\" + c.value + c.tail));
    }
}

// --- Bluetooth, through paired devices supplied by the test ---

constexpr std::uint32_t kWord0 = 0x01001A7D;  // Bluetooth entry, company part 0x001A7D
constexpr std::uint32_t kLow = 0xFF100000;    // only the low 24 bits count
constexpr std::uint32_t kHigh = 0x001000FF;
constexpr std::uint64_t kCompany = 0x001A7Dull << 24;

// The matching rules: a Bluetooth enumerator in the hardware id (no search otherwise), the name
// cut before " Hands-Free" and compared exactly, the first device of that name only, both range ends.
TEST(BluetoothMatch, Rules) {
    const std::uint64_t low = kCompany | 0x100000, high = kCompany | 0x1000FF;
    using Paired = std::vector<PairedBluetoothDevices::Device>;
    struct Case {
        const char* what;
        Paired paired;
        std::wstring hardwareId, name;
        bool matches;
        int visits;  // -1: not checked
    };
    const Case cases[] = {
        {"BTHENUM", {{L"Headset", low}}, L"BTHENUM\\{0000111e}_VID&0002", L"Headset", true, -1},
        {"BTHHFENUM inside the id", {{L"Headset", low}}, L"x BTHHFENUM\\{...}", L"Headset", true, -1},
        {"lower-case enumerator", {{L"Headset", low}}, L"bthenum\\{0000111e}", L"Headset", false, 0},
        {"USB id", {{L"Headset", low}}, L"USB\\VID_0A1B&PID_00C2", L"Headset", false, 0},
        {"Hands-Free cut", {{L"Headset", low}}, L"BTHHFENUM\\x", L"Headset Hands-Free", true, -1},
        {"Hands-Free AG Audio cut", {{L"Headset", low}}, L"BTHHFENUM\\x", L"Headset Hands-Free AG Audio", true, -1},
        {"other suffix", {{L"Headset", low}}, L"BTHHFENUM\\x", L"Headset Stereo", false, -1},
        {"case of the name", {{L"Headset", low}}, L"BTHHFENUM\\x", L"headset", false, -1},
        {"case of the suffix", {{L"Headset", low}}, L"BTHHFENUM\\x", L"Headset hands-free", false, -1},
        {"first name match only",
         {{L"Speaker", low}, {L"Headset", kCompany | 0x200000}, {L"Headset", low}, {L"Headset", low + 1}},
         L"BTHENUM\\x", L"Headset", false, 2},
        {"low end", {{L"Headset", low}}, L"BTHENUM\\x", L"Headset", true, -1},
        {"high end", {{L"Headset", high}}, L"BTHENUM\\x", L"Headset", true, -1},
        {"below", {{L"Headset", low - 1}}, L"BTHENUM\\x", L"Headset", false, -1},
        {"above", {{L"Headset", high + 1}}, L"BTHENUM\\x", L"Headset", false, -1},
        {"another company", {{L"Headset", (0x001A7Eull << 24) | 0x100000}}, L"BTHENUM\\x", L"Headset", false, -1},
    };
    for (const Case& c : cases) {
        PairedBluetoothDevices paired(c.paired);
        EXPECT_EQ(matchesBluetoothDevice(kWord0, kLow, kHigh, c.hardwareId, c.name), c.matches) << c.what;
        if (c.visits >= 0) EXPECT_EQ(paired.visited(), c.visits) << c.what;
    }
}

TEST(BluetoothSearch, FirstEndpointWithBothPropertiesWhoseDeviceMatches) {
    PairedBluetoothDevices paired({{L"Other", kCompany | 0x100000}, {L"Zol BT", kCompany | 0x100010}});
    TestEndpoint noName(false), usbOnly(false), other(false), ours(false), capture(true);
    // Without property 26 (only 6) and with property 39 alone the search passes the endpoint by.
    noName.deviceState(1).property(p::kEndpointNameFallback, L"Zol BT").property(p::kHardwareIdFallback, L"BTHENUM\\a");
    usbOnly.deviceState(1).property(p::kEndpointName, L"Zol BT").property(p::kHardwareId, L"BTHENUM\\a");
    other.describe(L"Headphones", L"Other", L"x").property(p::kHardwareIdFallback, L"BTHENUM\\b");
    ours.describe(L"Headphones", L"Zol BT Hands-Free", L"USB\\not used").property(p::kHardwareIdFallback,
                                                                                   L"BTHHFENUM\\c");
    capture.describe(L"Headset", L"Zol BT Hands-Free", L"x").property(p::kHardwareIdFallback, L"BTHHFENUM\\c");
    const std::uint32_t word1 = 0x100010, word2 = 0x100010;

    DeviceAPOInfo record;
    record.previousOs = true;
    EXPECT_EQ(record.findBluetoothEndpoint(kWord0, word1, word2, false, 0), ours.id());
    EXPECT_FALSE(record.previousOs);
    EXPECT_EQ(record.findBluetoothEndpoint(kWord0, word1, word2, false, 1), capture.id());
    EXPECT_EQ(record.findBluetoothEndpoint(kWord0, 0x100011, 0x100020, false, 0), L"");
}

TEST(BluetoothSearch, PreviousTreeAndItsAbsence) {
    PairedBluetoothDevices paired({{L"Zol BT", kCompany | 0x100010}});
    const std::wstring previousRender = flowKeyPath(true, 0);
    DeviceAPOInfo record;
    if (registry::keyExists(previousRender)) {
        GTEST_SKIP() << "this prefix has a previous-OS render tree of its own";
    }
    EXPECT_EQ(test::registryMessageOf([&] { record.findBluetoothEndpoint(kWord0, 0, 0xFFFFFF, true, 0); }),
              narrow(L"Error while enumerating sub keys of registry key " + previousRender + L": " +
                     zol::common::systemErrorText(ERROR_INVALID_HANDLE)));
    EXPECT_TRUE(record.previousOs);
    TestEndpoint old(false, true);
    old.describe(L"Headphones", L"Zol BT", L"x").property(p::kHardwareIdFallback, L"BTHENUM\\d");
    record.previousOs = false;
    EXPECT_EQ(record.findBluetoothEndpoint(kWord0, 0, 0xFFFFFF, true, 0), old.id());
    EXPECT_TRUE(record.previousOs);
}

TEST(DefaultEndpointGuid, EmptyWithoutCom) {
    // COM is not initialised on this thread here: the lookup fails quietly.
    EXPECT_EQ(getDefaultEndpointGuid(kRenderFlow), L"");
}

}  // namespace
}  // namespace zol::apo_install
