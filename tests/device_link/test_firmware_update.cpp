// The firmware update against the simulated headset's device side: one row an update, from the
// stages reported and the packets the device received to the log line of a wait that gave up.
#include <string>
#include <vector>

#include "device_link/firmware_update.h"
#include "device_link/supported_devices.h"
#include "sim_fixture.h"
#include "support/debug_channel.h"

extern "C" int zol_update_7420_fw(void*, void*, void*, int, int);

namespace {

using zol::sim::Bytes;
using zol::sim::FirmwareScript;
using Flow = FirmwareScript::Flow;
using FirmwareUpdate = zol::test::SimulatedBus;

// "stage" or "stage@value" for each progress call.
void record(void* context, int value, int stage) {
    auto& steps = *static_cast<std::string*>(context);
    steps += (steps.empty() ? "" : " ") + std::to_string(stage) + (value ? "@" + std::to_string(value) : "");
}

Bytes image(std::size_t n) {
    Bytes bytes(n);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return bytes;
}

FirmwareScript script(std::size_t length, Flow flow, int status = 0) {
    FirmwareScript s;
    s.imageLength = length;
    s.flow = flow;
    s.finalStatus = static_cast<std::uint8_t>(status);
    return s;
}

FirmwareScript with(FirmwareScript s, int FirmwareScript::*field, int value) {
    s.*field = value;
    return s;
}

enum Kind { headset, nothing, dataHeld, noImage, viaExport, noCallback };

TEST_F(FirmwareUpdate, EveryOutcome) {
    constexpr auto silent = &FirmwareScript::silentAfterBlock;
    constexpr auto gone = &FirmwareScript::unplugAfterBlock;
    FirmwareScript early = with(script(5 * 63, Flow::pace), &FirmwareScript::earlyStatusAfterBlock, 2);
    early.earlyStatus = 3;
    FirmwareScript earlyFree = early;
    earlyFree.flow = Flow::sendFreely;
    FirmwareScript earlyPartial = with(script(63 + 5, Flow::pace), &FirmwareScript::earlyStatusAfterBlock, 1);
    earlyPartial.earlyStatus = 0x0C;
    earlyPartial.earlyStatusReadsBefore = 1;  // misses the block phase's one read
    FirmwareScript noisy = script(4 * 63 + 1, Flow::sendFreely, 7), noisyPaced = script(4 * 63 + 1, Flow::pace, 7);
    noisy.garbage = noisyPaced.garbage = true;
    FirmwareScript noiseOnly = with(script(126, Flow::sendFreely), silent, 0);
    noiseOnly.garbage = true;

    const struct {
        FirmwareScript script;
        int length;  // passed; -2: the script's
        Kind setup;
        int start;
        int result;
        const char* steps;
        int packets;
        const char* log;  // after ":fw update: ", or null
    } rows[] = {
        {script(126, Flow::sendFreely, 0x5A), -2, headset, 0x1234, 0x5A, "0 1 2 3 4@50 4@100 4@100 5 6@90", 2, nullptr},
        {script(130, Flow::sendFreely), -2, headset, 0x1234, 0, "0 1 2 3 4@50 4@100 4@100 5 6", 3, nullptr},
        {script(130, Flow::pace), -2, headset, 0x1234, 0, "0 1 2 3 4@50 4@100 4@100 5 6", 3, nullptr},
        {script(40, Flow::pace), -2, headset, 0x1234, 0, "0 1 2 3 4@100 5 6", 1, nullptr},
        {script(0, Flow::sendFreely, 2), -2, headset, 0x1234, 2, "0 1 2 3 4@100 5 6@2", 0, nullptr},
        {script(5 * 63 + 10, Flow::pace), -2, headset, 0x1234, 0, "0 1 2 3 4@20 4@40 4@60 4@80 4@100 4@100 5 6", 6, nullptr},
        {noisy, -2, headset, 0x1234, 7, "0 1 2 3 4@25 4@50 4@75 4@100 4@100 5 6@7", 5, nullptr},
        {noisyPaced, -2, headset, 0x1234, 7, "0 1 2 3 4@25 4@50 4@75 4@100 4@100 5 6@7", 5, nullptr},
        {early, -2, headset, 0x1234, 3, "0 1 2 3 4@20 4@40 6@3", 2, nullptr},
        {earlyFree, -2, headset, 0x1234, 3, "0 1 2 3 4@20 4@40 6@3", 2, nullptr},
        {earlyPartial, -2, headset, 0x1234, 0x0C, "0 1 2 3 4@100 6@12", 1, nullptr},
        {script(200, Flow::sendFreely, 1), -2, noCallback, 0, 1, "", 4, nullptr},
        {script(100, Flow::sendFreely, 4), -2, viaExport, 0x1FF, 4, "0 1 2 3 4@100 4@100 5 6@4", 2, nullptr},
        {script(126, Flow::sendFreely), -2, nothing, 0x1234, 0, "0", 0, nullptr},
        {script(126, Flow::sendFreely), -2, dataHeld, 0x1234, -1, "0 1", 0, nullptr},
        {script(126, Flow::sendFreely), -1, headset, 0x1234, -2, "", 0, nullptr},
        {script(126, Flow::sendFreely), -2, noImage, 0x1234, -2, "", 0, nullptr},
        {with(script(126, Flow::sendFreely), silent, 0), -2, headset, 0x1234, -4, "0 1 2", 0, "no answer during the start handshake"},
        {noiseOnly, -2, headset, 0x1234, -4, "0 1 2", 0, "no answer during the start handshake"},
        {with(script(126, Flow::sendFreely), gone, 0), -2, headset, 0x1234, -4, "0 1 2", 0, "device lost during the start handshake"},
        {with(script(5 * 63, Flow::pace), silent, 2), -2, headset, 0x1234, -4, "0 1 2 3 4@20 4@40", 2, "no answer during the block phase"},
        {with(script(5 * 63, Flow::pace), gone, 2), -2, headset, 0x1234, -4, "0 1 2 3 4@20 4@40", 2, "device lost during the block phase"},
        {with(script(5 * 63, Flow::sendFreely), gone, 2), -2, headset, 0x1234, -4, "0 1 2 3 4@20 4@40", 2, "device lost during the block phase"},
        {with(script(2 * 63 + 9, Flow::pace), silent, 2), -2, headset, 0x1234, -4, "0 1 2 3 4@50 4@100", 2, "no answer during the partial block"},
        {with(script(126, Flow::sendFreely), silent, 2), -2, headset, 0x1234, -4, "0 1 2 3 4@50 4@100 4@100 5", 2, "no answer during the final status"},
        {with(script(126, Flow::sendFreely), gone, 2), -2, headset, 0x1234, -4, "0 1 2 3 4@50 4@100 4@100 5", 2, "device lost during the final status"},
    };
    zol::device_link::FirmwareTimeouts bounds;  // short: the waits that give up take milliseconds here
    bounds.handshakeMs = bounds.blockAnswerMs = bounds.partialBlockMs = bounds.finalStatusMs = 150;
    bounds.deviceLostMs = 60;
    zol::test::DebugChannelListener channel;
    for (const auto& r : rows) {
        const std::string name = std::string(r.steps) + " / " + (r.log ? r.log : "");
        zol::sim::detachAll();
        channel.clear();
        auto device = r.setup == nothing ? nullptr : zol::sim::attachKitHeadset(zol::test::kVendor, zol::test::kProduct, r.script);
        if (r.setup == dataHeld) device->data->model.opens = false;
        Bytes data = image(r.script.imageLength);
        const int length = r.length == -2 ? static_cast<int>(data.size()) : r.length;
        unsigned char* bytes = r.setup == noImage ? nullptr : data.data();
        std::string steps;
        const int result = r.setup == viaExport ? zol_update_7420_fw(reinterpret_cast<void*>(&record), &steps, bytes, length, r.start)
                           : r.setup == noCallback ? zol::device_link::updateFirmware(nullptr, nullptr, bytes, length, r.start, bounds)
                                                   : zol::device_link::updateFirmware(record, &steps, bytes, length, r.start, bounds);
        EXPECT_EQ(result, r.result) << name;
        EXPECT_EQ(steps, r.steps) << name;
        EXPECT_EQ(channel.ownLines(), r.log ? std::vector<std::string>{std::string("[brisol]:fw update: ") + r.log}
                                            : std::vector<std::string>{})
            << name;
        EXPECT_EQ(zol::sim::openDevices(), 0) << name << ": both channels closed";
        if (!device) continue;
        // The start packet, then each block of 63 bytes behind the data report id, zero-padded.
        Bytes start(64, 0);
        start[0] = start[1] = 0x55;
        start[2] = static_cast<std::uint8_t>(r.start);
        const bool started = r.result != -2 && r.setup != dataHeld;
        EXPECT_EQ(device->command->received, started ? std::vector<Bytes>{start} : std::vector<Bytes>{}) << name;
        std::vector<Bytes> packets;
        for (int k = 0; k < r.packets; ++k) {
            packets.push_back({0x41});
            packets.back().insert(packets.back().end(), data.begin() + 63 * k, data.begin() + std::min<std::size_t>(63 * (k + 1), data.size()));
            packets.back().resize(64, 0);
        }
        EXPECT_EQ(device->data->received, packets) << name;
    }
}

TEST_F(FirmwareUpdate, DeviceIsTheFirstTableEntryThatOpens) {
    const zol::device_link::SupportedDevice table[] = {
        {0x01000000, 0x02000000, 0x00060003},  // Bluetooth: not updated over HID
        {0x0A1B, 0x00C3, 0x00060003},          // not attached
        {0x0A1B, 0x00D1, 0x00060003},
        {0x0A1B, 0x00C2, 0x00060003},
    };
    zol::device_link::ScopedSupportedDeviceTable scoped(table, 4);
    auto other = zol::sim::attachKitHeadset(0x0A1B, 0x00C2, script(63, Flow::sendFreely));
    auto wanted = zol::sim::attachKitHeadset(0x0A1B, 0x00D1, script(63, Flow::sendFreely));
    const Bytes data = image(63);
    EXPECT_EQ(zol::device_link::updateFirmware(nullptr, nullptr, data.data(), 63, 0), 0);
    EXPECT_EQ(wanted->data->received.size(), 1u);
    EXPECT_TRUE(other->command->received.empty());
}

}  // namespace
