// The transfer exports and HidLink against simulated interfaces.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <numeric>
#include <string>
#include <vector>

#include "device_link/hid_link.h"
#include "sim_fixture.h"
#include "support/debug_channel.h"

extern "C" int _hid_trans_data(int, int, int, int, const unsigned char*, unsigned char*);
extern "C" int _is_usb_connected(int, int, int, int);

namespace {

using zol::sim::Bytes;
using zol::sim::CapsKind;
using zol::sim::Collection;
using Ms = std::chrono::milliseconds;

class HidTransfer : public zol::test::SimulatedBus {
protected:
    // Interface 3 collection 1 with report id `id` in both directions.
    std::shared_ptr<Collection> addTransferInterface(std::uint8_t id, USHORT inLength = 64, USHORT outLength = 64) {
        auto collection = add(3, 1, {{CapsKind::inputValue, id}, {CapsKind::outputValue, id}});
        collection->model.inputLength = inLength;
        collection->model.outputLength = outLength;
        return collection;
    }
    static Bytes counting(std::size_t n, std::uint8_t first = 1) {
        Bytes bytes(n);
        std::iota(bytes.begin(), bytes.end(), first);
        return bytes;
    }
    static double msSince(std::chrono::steady_clock::time_point start) {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    }
};

// A request on report id 6: what reaches the device, what it answers, what the caller gets back.
TEST_F(HidTransfer, AnswersOnAReportId) {
    Bytes shortAnswerLeft(63, 0xEE);
    shortAnswerLeft[0] = 0xA1, shortAnswerLeft[1] = 0xA2, shortAnswerLeft[2] = 0xA3;
    struct Case {
        const char* what;
        std::function<void(Collection&, const Bytes&)> answer;
        int result;
        std::optional<Bytes> input;
    };
    const Case cases[] = {
        {"its own id: arrives without the id byte",
         [](Collection& self, const Bytes& request) {
             Bytes answer(64, 6);
             for (std::size_t i = 1; i < 64; ++i) answer[i] = static_cast<std::uint8_t>(request[i] + 1);
             self.send(answer);
         },
         1, counting(63, 11)},
        {"a full answer with another id counts",
         [](Collection& self, const Bytes&) {
             Bytes answer(64, 0x33);
             answer[0] = 9;
             self.send(answer);
         },
         1, Bytes(63, 0x33)},
        {"a short answer is not valid but leaves its bytes",
         [](Collection& self, const Bytes&) { self.send(Bytes{6, 0xA1, 0xA2, 0xA3}); }, 0, shortAnswerLeft},
        {"unplugged: the reads fail quickly", [](Collection& self, const Bytes&) { zol::sim::unplug(self); }, 0,
         std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        zol::sim::detachAll();
        auto device = addTransferInterface(6);
        device->onWrite = c.answer;
        const Bytes request = counting(63, 10);
        Bytes input(63, 0xEE);
        EXPECT_EQ(_hid_trans_data(kVendor, kProduct, 3, 6, request.data(), input.data()), c.result);
        if (c.input) EXPECT_EQ(input, *c.input);
        Bytes sent{6};  // the output report: the id, then the caller's bytes
        sent.insert(sent.end(), request.begin(), request.end());
        EXPECT_EQ(device->received.at(0), sent);
    }
}

TEST_F(HidTransfer, DeviceWithoutReportIdsGivesSixtyThreeDataBytes) {
    auto device = add(0, -1);
    device->onWrite = [](Collection& self, const Bytes&) {
        Bytes answer{0};
        const Bytes data = counting(63, 0x40);
        answer.insert(answer.end(), data.begin(), data.end());
        self.send(answer);
    };
    const Bytes request(63, 0x11);
    Bytes input(63, 0);
    EXPECT_EQ(_hid_trans_data(kVendor, kProduct, 0, 0, request.data(), input.data()), 1);
    EXPECT_EQ(input, counting(63, 0x40));
    EXPECT_EQ(device->received.at(0)[0], 0);
}

TEST_F(HidTransfer, BothPointersNullOnlyOpensAndCloses) {
    auto device = addTransferInterface(6);
    EXPECT_EQ(_hid_trans_data(kVendor, kProduct, 3, 6, nullptr, nullptr), 1);
    EXPECT_EQ(zol::sim::opensSoFar(), 1);
    EXPECT_TRUE(device->received.empty());
    EXPECT_TRUE(device->readTimeouts.empty());
}

TEST_F(HidTransfer, SilentDeviceGetsFiveReadsOfTenMillisecondsThenZero) {
    auto device = addTransferInterface(6);
    const Bytes request(63, 1);
    Bytes input(63, 0xEE);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(_hid_trans_data(kVendor, kProduct, 3, 6, request.data(), input.data()), 0);
    const double elapsed = msSince(start);
    EXPECT_EQ(device->readTimeouts, (std::vector<int>{10, 10, 10, 10, 10}));
    EXPECT_GE(elapsed, 45.0);
    EXPECT_LT(elapsed, 1000.0);
    EXPECT_EQ(input, Bytes(63, 0xEE)) << "no answer: the caller's buffer stays untouched";
}

TEST_F(HidTransfer, LateAnswerIsTakenByALaterRead) {
    auto device = addTransferInterface(6);
    device->onWrite = [](Collection& self, const Bytes& request) { self.send(request, Ms(25)); };
    const Bytes request = counting(63);
    Bytes input(63, 0);
    EXPECT_EQ(_hid_trans_data(kVendor, kProduct, 3, 6, request.data(), input.data()), 1);
    EXPECT_EQ(input, request);
    // Not the first read (it ends after 10 ms); which later one depends on the machine's load.
    EXPECT_GE(device->readTimeouts.size(), 2u);
    EXPECT_LE(device->readTimeouts.size(), 5u);
}

TEST_F(HidTransfer, StaleInputIsFlushedAndTheDriverKeepsTwoReports) {
    auto device = addTransferInterface(6);
    device->send(Bytes(64, 6));  // left over from someone else's request
    device->onWrite = [](Collection& self, const Bytes& request) { self.send(request); };
    const Bytes request = counting(63, 0x80);
    Bytes input(63, 0);
    EXPECT_EQ(_hid_trans_data(kVendor, kProduct, 3, 6, request.data(), input.data()), 1);
    EXPECT_EQ(input, request);
    EXPECT_EQ(device->flushes, 1);
    EXPECT_EQ(device->numInputBuffers, 2u);
}

TEST_F(HidTransfer, ReportLengthsOutsideOneTo1024AreUsedAsSixtyFour) {
    zol::test::DebugChannelListener channel;
    for (USHORT reported : {USHORT{0}, USHORT{2000}}) {
        zol::sim::detachAll();
        auto device = addTransferInterface(6, reported, reported);
        device->onWrite = [](Collection& self, const Bytes&) { self.send(Bytes(2000, 6)); };
        zol::device_link::HidLink link;
        ASSERT_TRUE(link.open(kVendor, kProduct, 3, 6));
        EXPECT_EQ(link.inputLength(), 64u);
        EXPECT_EQ(link.outputLength(), 64u);
        EXPECT_EQ(link.featureLength(), 64u);
        const Bytes request(63, 5);
        link.writeReport(request.data(), 6);
        Bytes input(63, 0);
        EXPECT_EQ(link.readReport(input.data(), 6, 10), 64);
        // The 64 bytes the library built reach the device; hidapi pads a short write out to
        // the length the device states.
        ASSERT_EQ(device->received.size(), 1u);
        EXPECT_EQ(device->received[0].size(), std::max<std::size_t>(64, reported));
        EXPECT_EQ(Bytes(device->received[0].begin() + 1, device->received[0].begin() + 64), request);
        link.close();
    }
    EXPECT_EQ(channel.ownLines(), (std::vector<std::string>{"[brisol]inBufLen=0", "[brisol]inBufLen=2000"}));
}

TEST_F(HidTransfer, UnknownInterfaceOrWideReportIdIsNotFound) {
    addTransferInterface(6);
    const Bytes request(63, 1);
    Bytes input(63, 0);
    EXPECT_EQ(_hid_trans_data(kVendor, kProduct, 4, 6, request.data(), input.data()), -1);
    EXPECT_EQ(_hid_trans_data(kVendor, kProduct, 3, 0x106, request.data(), input.data()), -1);
    EXPECT_EQ(_is_usb_connected(kVendor, kProduct, 3, 0x106), -1);
    EXPECT_EQ(_is_usb_connected(kVendor, kProduct, 3, 6), 1);
    EXPECT_EQ(_is_usb_connected(kVendor, 0x00C3, 3, 6), -1);
}

TEST_F(HidTransfer, FailedSetupClosesTheDevice) {
    // Interface 0 with report id 0 takes the first entry untested, so setup itself meets the fault.
    for (int fault = 0; fault < 2; ++fault) {
        zol::sim::detachAll();
        auto device = add(0, -1);
        (fault == 0 ? device->model.preparsedDataFails : device->model.capsQueryFails) = true;
        EXPECT_EQ(_is_usb_connected(kVendor, kProduct, 0, 0), -1);
        EXPECT_EQ(_hid_trans_data(kVendor, kProduct, 0, 0, nullptr, nullptr), -1);
        EXPECT_EQ(zol::sim::opensSoFar(), 2);
        EXPECT_EQ(zol::sim::openDevices(), 0);
    }
}

}  // namespace
