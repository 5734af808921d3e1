// The transfer and presence exports against one simulated interface a row.
#include <functional>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "sim_fixture.h"
#include "support/debug_channel.h"

extern "C" int _hid_trans_data(int, int, int, int, const unsigned char*, unsigned char*);
extern "C" int _is_usb_connected(int, int, int, int);

namespace {

using zol::sim::Bytes;
using zol::sim::Collection;
using HidTransfer = zol::test::SimulatedBus;
using Answer = std::function<void(Collection&, const Bytes&)>;

Bytes counting(std::size_t n, std::uint8_t first) {
    Bytes bytes(n);
    std::iota(bytes.begin(), bytes.end(), first);
    return bytes;
}

Bytes withId(std::uint8_t id, const Bytes& data) {
    Bytes report{id};
    report.insert(report.end(), data.begin(), data.end());
    return report;
}

TEST_F(HidTransfer, RequestAndAnswer) {
    const Answer plusOne = [](Collection& self, const Bytes& request) {
        Bytes answer(request);
        for (std::size_t i = 1; i < 64; ++i) ++answer[i];
        self.send(answer);
    };
    const Answer otherId = [](Collection& self, const Bytes&) { self.send(withId(9, Bytes(63, 0x33))); };
    const Answer tooShort = [](Collection& self, const Bytes&) { self.send(Bytes{6, 0xA1, 0xA2, 0xA3}); };
    const Answer unplug = [](Collection& self, const Bytes&) { zol::sim::unplug(self); };
    const Answer noId = [](Collection& self, const Bytes&) { self.send(withId(0, counting(63, 0x40))); };
    const Answer long2000 = [](Collection& self, const Bytes&) { self.send(Bytes(2000, 6)); };
    Bytes leftOver(63, 0xEE);
    leftOver[0] = 0xA1, leftOver[1] = 0xA2, leftOver[2] = 0xA3;
    const std::vector<int> fiveReads(5, 10), oneRead{10};
    enum Fault { none, noPreparsed, noCaps };

    // `declared` 0: a device without report ids (interface 0, no markers); otherwise interface 3
    // declares it both ways, with the stated report lengths.
    const struct {
        const char* what;
        std::uint8_t declared;
        USHORT length;
        Fault fault;
        int intf, id;
        Answer answer;
        bool buffers;  // false: both pointers null
        int result;
        std::optional<Bytes> input;
        std::vector<int> reads;
    } rows[] = {
        {"its own id arrives without the id byte", 6, 64, none, 3, 6, plusOne, true, 1, counting(63, 11), oneRead},
        {"a full answer with another id counts", 6, 64, none, 3, 6, otherId, true, 1, Bytes(63, 0x33), oneRead},
        {"a short answer is no answer but leaves its bytes", 6, 64, none, 3, 6, tooShort, true, 0, leftOver, fiveReads},
        {"unplugged: every read fails", 6, 64, none, 3, 6, unplug, true, 0, Bytes(63, 0xEE), fiveReads},
        {"silent: five reads of 10 ms", 6, 64, none, 3, 6, nullptr, true, 0, Bytes(63, 0xEE), fiveReads},
        {"no report ids: 63 data bytes", 0, 64, none, 0, 0, noId, true, 1, counting(63, 0x40), oneRead},
        {"null pointers: opened and closed only", 6, 64, none, 3, 6, plusOne, false, 1, std::nullopt, {}},
        {"stated length 0 is taken as 64", 6, 0, none, 3, 6, long2000, true, 1, Bytes(63, 6), oneRead},
        {"stated length 2000 is taken as 64", 6, 2000, none, 3, 6, long2000, true, 1, Bytes(63, 6), oneRead},
        {"another interface", 6, 64, none, 4, 6, plusOne, true, -1, Bytes(63, 0xEE), {}},
        {"a report id above 255", 6, 64, none, 3, 0x106, plusOne, true, -1, Bytes(63, 0xEE), {}},
        {"no preparsed data", 0, 64, noPreparsed, 0, 0, noId, true, -1, Bytes(63, 0xEE), {}},
        {"no capabilities", 0, 64, noCaps, 0, 0, noId, true, -1, Bytes(63, 0xEE), {}},
    };
    zol::test::DebugChannelListener channel;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        zol::sim::detachAll();
        auto device = r.declared ? zol::test::attachAt("&mi_03&col01", {{zol::sim::CapsKind::inputValue, r.declared},
                                                                        {zol::sim::CapsKind::outputValue, r.declared}})
                                 : zol::test::attachAt("");
        device->model.inputLength = device->model.outputLength = r.length;
        device->model.preparsedDataFails = r.fault == noPreparsed;
        device->model.capsQueryFails = r.fault == noCaps;
        device->onWrite = r.answer;
        device->send(Bytes(64, r.declared));  // left over from someone else's request
        const Bytes request = counting(63, 10);
        Bytes input(63, 0xEE);
        channel.clear();
        EXPECT_EQ(_hid_trans_data(zol::test::kVendor, zol::test::kProduct, r.intf, r.id, r.buffers ? request.data() : nullptr,
                                  r.buffers ? input.data() : nullptr),
                  r.result);
        if (r.input) EXPECT_EQ(input, *r.input);
        EXPECT_EQ(device->readTimeouts, r.reads);
        const bool opened = r.result != -1;
        std::vector<Bytes> sent;
        if (opened && r.buffers) sent.push_back(withId(r.declared, request));
        if (!sent.empty()) sent[0].resize(std::max<std::size_t>(64, r.length), 0);  // hidapi pads to the stated length
        EXPECT_EQ(device->received, sent);
        EXPECT_EQ(device->flushes, opened ? 1 : 0);
        if (opened) EXPECT_EQ(device->numInputBuffers, 2u);  // the driver keeps at most two answers
        if (opened) EXPECT_EQ(channel.ownLines(), std::vector<std::string>{"[brisol]inBufLen=" + std::to_string(r.length)});
        EXPECT_EQ(_is_usb_connected(zol::test::kVendor, zol::test::kProduct, r.intf, r.id), opened && device->plugged ? 1 : -1);
    }
}

}  // namespace
