// The firmware update against the simulated headset's device side.
#include <gtest/gtest.h>

#include <chrono>
#include <numeric>
#include <utility>
#include <vector>

#include "device_link/firmware_update.h"
#include "device_link/supported_devices.h"
#include "sim_fixture.h"

extern "C" int zol_update_7420_fw(void*, void*, void*, int, int);

namespace {

using zol::device_link::FirmwareTimeouts;
using zol::device_link::SupportedDevice;
using zol::sim::Bytes;
using zol::sim::FirmwareScript;
using Flow = FirmwareScript::Flow;
using Steps = std::vector<std::pair<int, int>>;  // (stage, value)

void record(void* context, int value, int stage) { static_cast<Steps*>(context)->push_back({stage, value}); }

// Short bounds: the time-out paths take milliseconds here, the shipped bounds stay as they are.
FirmwareTimeouts shortBounds() {
    FirmwareTimeouts t;
    t.handshakeMs = 150;
    t.blockAnswerMs = 150;
    t.partialBlockMs = 150;
    t.finalStatusMs = 150;
    t.deviceLostMs = 60;
    return t;
}

Bytes image(std::size_t n) {
    Bytes bytes(n);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return bytes;
}

Steps opening() { return {{0, 0}, {1, 0}, {2, 0}, {3, 0}}; }
Steps concat(Steps a, const Steps& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class FirmwareUpdate : public zol::test::SimulatedBus {
protected:
    std::shared_ptr<zol::sim::FirmwareDevice> plugIn(FirmwareScript script) {
        return zol::sim::attachKitHeadset(0x0A1B, 0x00C2, script);
    }
    int update(const Bytes& data, int start = 0x1234) {
        return zol::device_link::updateFirmware(record, &steps, data.data(), static_cast<int>(data.size()), start,
                                                shortBounds());
    }
    Steps steps;
};

// The image sizes (two full blocks, one partial, under one block, empty, several) on both flows:
// the exact progress and the image the device reassembled.
TEST_F(FirmwareUpdate, ImageSizesAndFlows) {
    struct Case {
        std::size_t length;
        Flow flow;
        int status;
        Steps progress;  // after stage 3
    };
    const Case cases[] = {
        {126, Flow::sendFreely, 0x5A, {{4, 50}, {4, 100}, {4, 100}, {5, 0}, {6, 0x5A}}},
        {130, Flow::sendFreely, 0, {{4, 50}, {4, 100}, {4, 100}, {5, 0}, {6, 0}}},
        {130, Flow::pace, 0, {{4, 50}, {4, 100}, {4, 100}, {5, 0}, {6, 0}}},
        {40, Flow::pace, 0, {{4, 100}, {5, 0}, {6, 0}}},
        {0, Flow::sendFreely, 2, {{4, 100}, {5, 0}, {6, 2}}},
        {5 * 63 + 10, Flow::pace, 0, {{4, 20}, {4, 40}, {4, 60}, {4, 80}, {4, 100}, {4, 100}, {5, 0}, {6, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.length) + (c.flow == Flow::pace ? " paced" : " free"));
        zol::sim::detachAll();
        steps.clear();
        FirmwareScript script;
        script.imageLength = c.length;
        script.flow = c.flow;
        script.finalStatus = c.status;
        auto device = plugIn(script);
        const Bytes data = image(c.length);
        EXPECT_EQ(update(data), c.status);
        EXPECT_EQ(steps, concat(opening(), c.progress));
        EXPECT_EQ(device->image, data);
        ASSERT_EQ(device->dataPackets.size(), (c.length + 62) / 63);
        Bytes start(64, 0);
        start[0] = start[1] = 0x55;
        start[2] = 0x34;
        EXPECT_EQ(device->startPacket, start);
        for (const Bytes& packet : device->dataPackets) EXPECT_TRUE(packet.size() == 64 && packet[0] == 0x41);
        if (c.length % 63 != 0) {  // the partial block is padded with zeros
            Bytes last{0x41};
            last.insert(last.end(), data.end() - c.length % 63, data.end());
            last.resize(64, 0);
            EXPECT_EQ(device->dataPackets.back(), last);
        }
        if (c.flow == Flow::pace)  // each paced block goes at least 3 ms after its answer
            for (std::size_t k = 1; k + 1 < device->packetTimes.size(); ++k)
                EXPECT_GE(device->packetTimes[k] - device->packetTimes[k - 1], std::chrono::milliseconds(3)) << k;
    }
}

TEST_F(FirmwareUpdate, AnswersTheProtocolDoesNotKnowAreIgnored) {
    for (Flow flow : {Flow::sendFreely, Flow::pace}) {
        zol::sim::detachAll();
        steps.clear();
        FirmwareScript script;
        script.imageLength = 4 * 63 + 1;
        script.flow = flow;
        script.garbage = true;
        script.finalStatus = 7;
        auto device = plugIn(script);
        const Bytes data = image(script.imageLength);
        EXPECT_EQ(update(data), 7);
        EXPECT_EQ(steps.back(), std::make_pair(6, 7));
        EXPECT_EQ(device->image, data);
    }
}

TEST_F(FirmwareUpdate, EarlyStatusEndsTheUpdate) {
    for (Flow flow : {Flow::sendFreely, Flow::pace}) {
        zol::sim::detachAll();
        steps.clear();
        FirmwareScript script;
        script.imageLength = 5 * 63;
        script.flow = flow;
        script.earlyStatusAfterBlock = 2;
        script.earlyStatus = 3;
        auto device = plugIn(script);
        EXPECT_EQ(update(image(script.imageLength)), 3);
        EXPECT_EQ(steps, concat(opening(), {{4, 20}, {4, 40}, {6, 3}}));
        EXPECT_EQ(device->dataPackets.size(), 2u);
    }
}

TEST_F(FirmwareUpdate, EarlyStatusWhileThePartialBlockWaits) {
    FirmwareScript script;
    script.imageLength = 63 + 5;
    script.flow = Flow::pace;
    script.earlyStatusAfterBlock = 1;
    script.earlyStatus = 0x0C;
    script.earlyStatusReadsBefore = 1;  // misses the block phase's one read
    auto device = plugIn(script);
    EXPECT_EQ(update(image(script.imageLength)), 0x0C);
    EXPECT_EQ(steps, concat(opening(), {{4, 100}, {6, 0x0C}}));
    EXPECT_EQ(device->dataPackets.size(), 1u);
}

TEST_F(FirmwareUpdate, NullCallbackRunsTheSameUpdate) {
    FirmwareScript script;
    script.imageLength = 200;
    script.finalStatus = 1;
    auto device = plugIn(script);
    const Bytes data = image(200);
    EXPECT_EQ(zol::device_link::updateFirmware(nullptr, nullptr, data.data(), 200, 0, shortBounds()), 1);
    EXPECT_EQ(device->image, data);
}

TEST_F(FirmwareUpdate, ExportRunsWithTheShippedBounds) {
    FirmwareScript script;
    script.imageLength = 100;
    script.finalStatus = 4;
    auto device = plugIn(script);
    Bytes data = image(100);
    EXPECT_EQ(zol_update_7420_fw(reinterpret_cast<void*>(&record), &steps, data.data(), 100, 0x1FF), 4);
    EXPECT_EQ(device->startPacket.at(2), 0xFF);
    EXPECT_EQ(device->image, data);
    EXPECT_EQ(steps.back(), std::make_pair(6, 4));
}

TEST_F(FirmwareUpdate, NoDeviceReportsStageZeroOnly) {
    EXPECT_EQ(update(image(126)), 0);
    EXPECT_EQ(steps, (Steps{{0, 0}}));
}

TEST_F(FirmwareUpdate, ChannelThatDoesNotOpenEndsWithMinusOne) {
    auto device = plugIn(FirmwareScript{});
    device->data->model.opens = false;
    EXPECT_EQ(update(image(126)), -1);
    EXPECT_EQ(steps, (Steps{{0, 0}, {1, 0}}));
    EXPECT_TRUE(device->startPacket.empty());
}

TEST_F(FirmwareUpdate, DeviceIsTheFirstTableEntryThatOpens) {
    const SupportedDevice table[] = {
        {0x01000000, 0x02000000, 0x00060003},  // Bluetooth: not updated over HID
        {0x0A1B, 0x00C3, 0x00060003},          // not attached
        {0x0A1B, 0x00D1, 0x00060003},
        {0x0A1B, 0x00C2, 0x00060003},
    };
    zol::device_link::ScopedSupportedDeviceTable scoped(table, 4);
    FirmwareScript script;
    script.imageLength = 63;
    auto other = zol::sim::attachKitHeadset(0x0A1B, 0x00C2, script);
    auto wanted = zol::sim::attachKitHeadset(0x0A1B, 0x00D1, script);
    EXPECT_EQ(update(image(63)), 0);
    EXPECT_EQ(wanted->image, image(63));
    EXPECT_TRUE(other->dataPackets.empty());
}

// ---- Faults: bad input, a device that stops taking part or sends what is not an answer ----
// Each ends with a result, never a hang: -4 within the bounds, the last stage saying how far it got.

struct FaultCase {
    const char* name;
    FirmwareScript script;
    Steps tail;  // after stage 3, or after stage 2 when the handshake is what fails
    int result = zol::device_link::kFirmwareDeviceSilent;
    int length = -2;  // the length passed; -2: the script's
    bool nullImage = false;
};

TEST_F(FirmwareUpdate, EveryFaultEndsWithAResult) {
    auto make = [](std::size_t length, Flow flow) {
        FirmwareScript s;
        s.imageLength = length;
        s.flow = flow;
        return s;
    };
    std::vector<FaultCase> cases;
    cases.push_back({"negative length", make(126, Flow::sendFreely), {}, -2, -1});
    cases.push_back({"null image", make(126, Flow::sendFreely), {}, -2, 126, true});
    {
        auto s = make(126, Flow::sendFreely);
        s.handshake = FirmwareScript::Handshake::silent;
        cases.push_back({"silent at the handshake", s, {}});
    }
    {
        auto s = make(126, Flow::sendFreely);
        s.handshake = FirmwareScript::Handshake::unplug;
        cases.push_back({"unplugged at the handshake", s, {}});
    }
    {
        auto s = make(126, Flow::sendFreely);
        s.handshake = FirmwareScript::Handshake::unmarked;
        cases.push_back({"short and mark-less handshake replies", s, {}});
    }
    {
        auto s = make(5 * 63, Flow::pace);
        s.silentAfterBlock = 2;
        cases.push_back({"silent in the block phase", s, {{4, 20}, {4, 40}}});
    }
    {
        auto s = make(5 * 63, Flow::pace);
        s.unplugAfterBlock = 2;
        cases.push_back({"unplugged in the block phase", s, {{4, 20}, {4, 40}}});
    }
    {
        auto s = make(5 * 63, Flow::sendFreely);
        s.unplugAfterBlock = 2;
        cases.push_back({"writes fail in the free block phase", s, {{4, 20}, {4, 40}}});
    }
    {
        auto s = make(2 * 63 + 9, Flow::pace);
        s.silentAfterBlock = 2;
        cases.push_back({"silent before the partial block", s, {{4, 50}, {4, 100}}});
    }
    {
        auto s = make(126, Flow::sendFreely);
        s.silentAtEnd = true;
        cases.push_back({"no final status", s, {{4, 50}, {4, 100}, {4, 100}, {5, 0}}});
    }
    {
        auto s = make(126, Flow::sendFreely);
        s.unplugAfterBlock = 2;
        cases.push_back({"unplugged before the final status", s, {{4, 50}, {4, 100}, {4, 100}, {5, 0}}});
    }
    for (const FaultCase& c : cases) {
        zol::sim::detachAll();
        steps.clear();
        auto device = plugIn(c.script);  // the device side lives as long as this record
        const Bytes data = image(c.script.imageLength);
        const int length = c.length == -2 ? static_cast<int>(data.size()) : c.length;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(zol::device_link::updateFirmware(record, &steps, c.nullImage ? nullptr : data.data(), length,
                                                   0x1234, shortBounds()),
                  c.result)
            << c.name;
        const auto elapsed = std::chrono::steady_clock::now() - start;
        const Steps expected = c.result != zol::device_link::kFirmwareDeviceSilent ? Steps{}
                               : c.script.handshake != FirmwareScript::Handshake::accept
                                   ? Steps{{0, 0}, {1, 0}, {2, 0}}
                                   : concat(opening(), c.tail);
        EXPECT_EQ(steps, expected) << c.name;
        EXPECT_LT(elapsed, std::chrono::milliseconds(1500)) << c.name;
        EXPECT_EQ(zol::sim::openDevices(), 0) << c.name << ": both channels are closed";
    }
}

}  // namespace
