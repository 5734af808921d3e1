// The device link against the simulated headset: interface selection, transfers and the firmware
// update, each one table. Every test ends checking that the library closed what it opened.
#include <gtest/gtest.h>

#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "device_link/firmware_update.h"
#include "device_link/hid_api.h"
#include "device_link/supported_devices.h"
#include "simulated_headset.h"
#include "support/debug_channel.h"

extern "C" int _hid_trans_data(int, int, int, int, const unsigned char*, unsigned char*);
extern "C" int _is_usb_connected(int, int, int, int);
extern "C" int zol_update_7420_fw(void*, void*, void*, int, int);

namespace {

using namespace zol::sim;
using Flow = FirmwareScript::Flow;
constexpr std::uint16_t kVendor = 0x0A1B, kProduct = 0x00C2;

std::shared_ptr<Collection> attachAt(const std::string& markers, std::vector<DeclaredReport> reports = {}, std::uint16_t product = kProduct) {
    std::string path = devicePath(kVendor, product, -1, -1);
    return attach({path.insert(path.find('#', 8), markers), kVendor, product, std::move(reports)});
}

struct DeviceLink : ::testing::Test {
    void SetUp() override { detachAll(); }
    void TearDown() override { EXPECT_EQ(openDevices(), 0) << "a device or its preparsed data was left open"; }
};

Bytes counting(std::size_t n, std::uint8_t first) { Bytes bytes(n); std::iota(bytes.begin(), bytes.end(), first); return bytes; }
Bytes withId(std::uint8_t id, Bytes data) { data.insert(data.begin(), id); return data; }

enum Call { col, rptid, enumerate };
enum Fault { none, held, noPreparsed, noCaps };

TEST_F(DeviceLink, InterfaceSelection) {
    const auto in = [](std::uint8_t id) { return DeclaredReport{CapsKind::inputValue, id}; };
    const struct { const char* markers; std::vector<DeclaredReport> reports; Fault fault; } entries[] = {
        {"&mi_01&col05", {in(9)}, none},  // 0: the device's first entry
        {"&mi_00&col01", {}, none},
        {"&col02", {}, none},             // 2: collection marker without the interface's
        {"&mi_01&col02", {}, none},
        {"&mi_00&col02", {}, none},       // 4
        {"&MI_1A&COL01", {in(6)}, none},  // 5: markers are lower case
        {"&mi_03&col01", {in(6)}, held},  // 6: another program holds it
        {"&mi_03&col02", {{CapsKind::featureValue, 7}}, none},
        {"&mi_03&col03", {{CapsKind::outputButton, 6}}, none},  // 8
        {"&mi_03&col04", {{CapsKind::inputButton, 6}}, none},
        {"&mi_05&col01", {in(6)}, noPreparsed},  // 10
        {"&mi_05&col02", {in(6)}, noCaps},
        {"&mi_05&col03", {in(6)}, none},  // 12
        // 13-18: each kind of record
        {"&mi_04&col01", {{CapsKind::inputButton, 0x10}}, none},   {"&mi_04&col02", {in(0x11)}, none},
        {"&mi_04&col03", {{CapsKind::outputButton, 0x12}}, none},  {"&mi_04&col04", {{CapsKind::outputValue, 0x13}}, none},
        {"&mi_04&col05", {{CapsKind::featureButton, 0x14}}, none}, {"&mi_04&col06", {{CapsKind::featureValue, 0x15}}, none},
    };
    std::vector<std::string> paths;
    for (const auto& e : entries) {
        auto c = attachAt(e.markers, e.reports);
        c->model.opens = e.fault != held;
        c->model.preparsedDataFails = e.fault == noPreparsed;
        c->model.capsQueryFails = e.fault == noCaps;
        paths.push_back(c->model.path);
    }
    paths.push_back(attachAt("", {in(1)}, 0x00D1)->model.path);  // 19: a device of one interface

    const struct { Call call; std::uint16_t product, intf, arg; std::vector<int> taken; } rows[] = {
        {col, kProduct, 0, 0, {0}},       {rptid, kProduct, 0, 0, {0}},      {enumerate, kProduct, 0, 0, {}},
        {col, 0x0BAD, 0, 0, {}},          {col, kProduct, 0, 2, {4}},        {col, kProduct, 0, 3, {}},
        {col, kProduct, 0x1A, 1, {}},     {rptid, kProduct, 0x1A, 6, {}},    {rptid, kProduct, 3, 0, {7}},
        {rptid, kProduct, 3, 6, {8}},     {rptid, kProduct, 3, 7, {7}},      {enumerate, kProduct, 3, 6, {8, 9}},
        {rptid, kProduct, 3, 0x106, {}},  {enumerate, kProduct, 3, 0x106, {}},
        {rptid, kProduct, 5, 6, {12}},    {rptid, kProduct, 5, 0, {12}},     {enumerate, kProduct, 5, 6, {12}},
        {rptid, kProduct, 4, 0x10, {13}}, {rptid, kProduct, 4, 0x11, {14}},  {rptid, kProduct, 4, 0x12, {15}},
        {rptid, kProduct, 4, 0x13, {16}}, {rptid, kProduct, 4, 0x14, {17}},  {rptid, kProduct, 4, 0x15, {18}},
        {col, 0x00D1, 0, 0, {19}},        {rptid, 0x00D1, 0, 0, {19}},       {col, 0x00D1, 0, 1, {}},
        {rptid, 0x00D1, 0, 1, {}},
    };
    for (const auto& r : rows) {
        std::vector<std::string> expected, got;
        for (int i : r.taken) expected.push_back(paths[i]);
        if (r.call == enumerate) {  // each match is reported with the device closed again
            hid_enum_intf_rptid(kVendor, r.product, r.intf, r.arg, [](void* context, const char* path) {
                static_cast<std::vector<std::string>*>(context)->push_back(path + std::string(openDevices() ? " open" : ""));
                return 1;  // ignored: the walk goes on
            }, &got);
        } else {
            zol::device_link::unique_hid_device device(r.call == col ? hid_open_intf_col(kVendor, r.product, r.intf, r.arg)
                                                                     : hid_open_intf_rptid(kVendor, r.product, r.intf, r.arg));
            if (const Collection* c = collectionOf(device.get())) got.push_back(c->model.path);
        }
        EXPECT_EQ(got, expected) << "call " << r.call << " product " << r.product << " interface " << r.intf << ", " << r.arg;
    }
}

TEST_F(DeviceLink, TransferAndPresence) {
    using Answer = std::function<void(Collection&, const Bytes&)>;
    const Answer plusOne = [](Collection& self, const Bytes& request) { self.send(withId(6, counting(63, request[1] + 1))); };
    const Answer otherId = [](Collection& self, const Bytes&) { self.send(withId(9, Bytes(63, 0x33))); };
    const Answer tooShort = [](Collection& self, const Bytes&) { self.send(Bytes{6, 0xA1, 0xA2, 0xA3}); };
    const Answer gone = [](Collection& self, const Bytes&) { unplug(self); };
    const Answer noId = [](Collection& self, const Bytes&) { self.send(withId(0, counting(63, 0x40))); };
    const Answer long2000 = [](Collection& self, const Bytes&) { self.send(Bytes(2000, 6)); };
    const Bytes leftOver = withId(0xA1, withId(0xA2, withId(0xA3, Bytes(60, 0xEE))));
    const Bytes untouched(63, 0xEE);
    const std::vector<int> fiveReads(5, 10), oneRead{10};

    // `declared` 0: a device without report ids (no markers); otherwise interface 3 declares it
    // both ways, with the stated report lengths. `buffers` false: both pointers null.
    const struct {
        const char* what; std::uint8_t declared; USHORT length; Fault fault; int intf, id; Answer answer; bool buffers;
        int result; std::optional<Bytes> input; std::vector<int> reads;
    } rows[] = {
        {"its own id arrives without the id byte", 6, 64, none, 3, 6, plusOne, true, 1, counting(63, 11), oneRead},
        {"a full answer with another id counts", 6, 64, none, 3, 6, otherId, true, 1, Bytes(63, 0x33), oneRead},
        {"a short answer is no answer but leaves its bytes", 6, 64, none, 3, 6, tooShort, true, 0, leftOver, fiveReads},
        {"unplugged: every read fails", 6, 64, none, 3, 6, gone, true, 0, untouched, fiveReads},
        {"silent: five reads of 10 ms", 6, 64, none, 3, 6, nullptr, true, 0, untouched, fiveReads},
        {"no report ids: 63 data bytes", 0, 64, none, 0, 0, noId, true, 1, counting(63, 0x40), oneRead},
        {"null pointers: opened and closed only", 6, 64, none, 3, 6, plusOne, false, 1, std::nullopt, {}},
        {"stated length 0 is taken as 64", 6, 0, none, 3, 6, long2000, true, 1, Bytes(63, 6), oneRead},
        {"stated length 2000 is taken as 64", 6, 2000, none, 3, 6, long2000, true, 1, Bytes(63, 6), oneRead},
        {"another interface", 6, 64, none, 4, 6, plusOne, true, -1, untouched, {}},
        {"no preparsed data", 0, 64, noPreparsed, 0, 0, noId, true, -1, untouched, {}},
        {"no capabilities", 0, 64, noCaps, 0, 0, noId, true, -1, untouched, {}},
    };
    zol::test::DebugChannelListener channel;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        detachAll();
        auto device = r.declared ? attachAt("&mi_03&col01", {{CapsKind::inputValue, r.declared}, {CapsKind::outputValue, r.declared}})
                                 : attachAt("");
        device->model.inputLength = device->model.outputLength = r.length;
        device->model.preparsedDataFails = r.fault == noPreparsed;
        device->model.capsQueryFails = r.fault == noCaps;
        device->onWrite = r.answer;
        device->send(Bytes(64, r.declared));  // left over from someone else's request
        const Bytes request = counting(63, 10);
        Bytes input(untouched);
        channel.clear();
        EXPECT_EQ(_hid_trans_data(kVendor, kProduct, r.intf, r.id, r.buffers ? request.data() : nullptr,
                                  r.buffers ? input.data() : nullptr),
                  r.result);
        if (r.input) EXPECT_EQ(input, *r.input);
        EXPECT_EQ(device->readTimeouts, r.reads);
        const bool opened = r.result != -1;
        std::vector<Bytes> sent;
        if (opened && r.buffers) sent.push_back(withId(r.declared, request));
        if (!sent.empty()) sent[0].resize(std::max<std::size_t>(64, r.length), 0);  // hidapi pads to the stated length
        EXPECT_EQ(device->received, sent);
        if (opened) EXPECT_EQ(device->numInputBuffers, 2u);  // the driver keeps at most two answers
        if (opened) EXPECT_EQ(channel.ownLines(), std::vector<std::string>{"[brisol]inBufLen=" + std::to_string(r.length)});
        EXPECT_EQ(_is_usb_connected(kVendor, kProduct, r.intf, r.id), opened && device->plugged ? 1 : -1);
    }
}

void record(void* context, int value, int stage) {
    auto& steps = *static_cast<std::string*>(context);
    steps += (steps.empty() ? "" : " ") + std::to_string(stage) + (value ? "@" + std::to_string(value) : "");
}

FirmwareScript script(std::size_t length, Flow flow, int status = 0) { return {length, flow, static_cast<std::uint8_t>(status)}; }

FirmwareScript with(FirmwareScript s, int FirmwareScript::*field, int value) { s.*field = value; return s; }

enum Kind { headset, nothing, dataHeld, negative, noImage, viaExport, noCallback, otherFirst };

TEST_F(DeviceLink, FirmwareUpdate) {
    constexpr auto silent = &FirmwareScript::silentAfterBlock;
    constexpr auto unplugged = &FirmwareScript::unplugAfterBlock;
    constexpr auto early = &FirmwareScript::earlyStatusAfterBlock;
    const FirmwareScript early3 = with(with(script(5 * 63, Flow::pace), early, 2), &FirmwareScript::earlyStatus, 3);
    const FirmwareScript early3Free = with(with(script(5 * 63, Flow::sendFreely), early, 2), &FirmwareScript::earlyStatus, 3);
    // The status misses the block phase's one read and ends the wait for the partial block.
    const FirmwareScript earlyPartial = with(with(with(script(63 + 5, Flow::pace), early, 1), &FirmwareScript::earlyStatus, 12),
                                             &FirmwareScript::earlyStatusReadsBefore, 1);
    FirmwareScript noisy = script(4 * 63 + 1, Flow::sendFreely, 7), noisyPaced = script(4 * 63 + 1, Flow::pace, 7);
    FirmwareScript noiseOnly = with(script(126, Flow::sendFreely), silent, 0);
    noisy.garbage = noisyPaced.garbage = noiseOnly.garbage = true;
    const FirmwareScript free126 = script(126, Flow::sendFreely);

    // `steps`: the progress calls, "stage" or "stage@value"; `packets`: the data packets the device
    // received; `log`: the line of a wait that gave up, after ":fw update: ".
    const struct {
        FirmwareScript script; Kind kind; int start, result; const char* steps; int packets; const char* log = nullptr;
    } rows[] = {
        {script(126, Flow::sendFreely, 0x5A), headset, 0x1234, 0x5A, "0 1 2 3 4@50 4@100 4@100 5 6@90", 2},
        {script(130, Flow::pace), headset, 0x1234, 0, "0 1 2 3 4@50 4@100 4@100 5 6", 3},
        {script(40, Flow::pace), headset, 0x1234, 0, "0 1 2 3 4@100 5 6", 1},
        {script(0, Flow::sendFreely, 2), headset, 0x1234, 2, "0 1 2 3 4@100 5 6@2", 0},
        {script(5 * 63 + 10, Flow::pace), headset, 0x1234, 0, "0 1 2 3 4@20 4@40 4@60 4@80 4@100 4@100 5 6", 6},
        {noisy, headset, 0x1234, 7, "0 1 2 3 4@25 4@50 4@75 4@100 4@100 5 6@7", 5},
        {noisyPaced, headset, 0x1234, 7, "0 1 2 3 4@25 4@50 4@75 4@100 4@100 5 6@7", 5},
        {early3, headset, 0x1234, 3, "0 1 2 3 4@20 4@40 6@3", 2},
        {early3Free, headset, 0x1234, 3, "0 1 2 3 4@20 4@40 6@3", 2},
        {earlyPartial, headset, 0x1234, 12, "0 1 2 3 4@100 6@12", 1},
        {script(200, Flow::sendFreely, 1), noCallback, 0, 1, "", 4},
        {script(100, Flow::sendFreely, 4), viaExport, 0x1FF, 4, "0 1 2 3 4@100 4@100 5 6@4", 2},
        {free126, otherFirst, 0x1234, 0, "0 1 2 3 4@50 4@100 4@100 5 6", 0},
        {free126, nothing, 0x1234, 0, "0", 0},
        {free126, dataHeld, 0x1234, -1, "0 1", 0},
        {free126, negative, 0x1234, -2, "", 0},
        {free126, noImage, 0x1234, -2, "", 0},
        {with(free126, silent, 0), headset, 0x1234, -4, "0 1 2", 0, "no answer during the start handshake"},
        {noiseOnly, headset, 0x1234, -4, "0 1 2", 0, "no answer during the start handshake"},
        {with(free126, unplugged, 0), headset, 0x1234, -4, "0 1 2", 0, "device lost during the start handshake"},
        {with(script(5 * 63, Flow::pace), silent, 2), headset, 0x1234, -4, "0 1 2 3 4@20 4@40", 2, "no answer during the block phase"},
        {with(script(5 * 63, Flow::pace), unplugged, 2), headset, 0x1234, -4, "0 1 2 3 4@20 4@40", 2, "device lost during the block phase"},
        {with(script(5 * 63, Flow::sendFreely), unplugged, 2), headset, 0x1234, -4, "0 1 2 3 4@20 4@40", 2,
         "device lost during the block phase"},
        {with(script(2 * 63 + 9, Flow::pace), silent, 2), headset, 0x1234, -4, "0 1 2 3 4@50 4@100", 2,
         "no answer during the partial block"},
        {with(free126, silent, 2), headset, 0x1234, -4, "0 1 2 3 4@50 4@100 4@100 5", 2, "no answer during the final status"},
        {with(free126, unplugged, 2), headset, 0x1234, -4, "0 1 2 3 4@50 4@100 4@100 5", 2, "device lost during the final status"},
    };
    zol::device_link::FirmwareTimeouts bounds;  // short: the waits that give up take milliseconds here
    bounds.handshakeMs = bounds.blockAnswerMs = bounds.partialBlockMs = bounds.finalStatusMs = 150;
    bounds.deviceLostMs = 60;
    // The first entry that is attached and opens is updated: not Bluetooth, not 00C3.
    const zol::device_link::SupportedDevice table[] = {
        {0x01000000, 0x02000000, 0x00060003}, {kVendor, 0x00C3, 0x00060003}, {kVendor, 0x00D1, 0x00060003}, {kVendor, kProduct, 0x00060003}};
    zol::test::DebugChannelListener channel;
    for (const auto& r : rows) {
        const std::string name = "row " + std::to_string(&r - rows);
        detachAll();
        channel.clear();
        auto device = r.kind == nothing ? nullptr : attachKitHeadset(kVendor, kProduct, r.script);
        auto other = r.kind == otherFirst ? attachKitHeadset(kVendor, 0x00D1, r.script) : nullptr;
        std::optional<zol::device_link::ScopedSupportedDeviceTable> scoped;
        if (other) scoped.emplace(table, 4);
        if (r.kind == dataHeld) device->data->model.opens = false;
        Bytes data = counting(r.script.imageLength, 3);
        unsigned char* image = r.kind == noImage ? nullptr : data.data();
        const int length = r.kind == negative ? -1 : static_cast<int>(data.size());
        std::string steps;
        const int result = r.kind == viaExport ? zol_update_7420_fw(reinterpret_cast<void*>(&record), &steps, image, length, r.start)
                           : r.kind == noCallback ? zol::device_link::updateFirmware(nullptr, nullptr, image, length, r.start, bounds)
                                                  : zol::device_link::updateFirmware(record, &steps, image, length, r.start, bounds);
        EXPECT_EQ(result, r.result) << name;
        EXPECT_EQ(steps, r.steps) << name;
        const std::vector<std::string> logged = {std::string("[brisol]:fw update: ") + (r.log ? r.log : "")};
        EXPECT_EQ(channel.ownLines(), r.log ? logged : std::vector<std::string>{}) << name;
        if (other) EXPECT_EQ(other->data->received.size(), 2u) << name;
        if (!device) continue;
        // The start packet, then each block of 63 bytes behind the data report id, zero-padded.
        const Bytes start = withId(0x55, withId(0x55, withId(static_cast<std::uint8_t>(r.start), Bytes(61, 0))));
        const bool started = r.result != -2 && r.kind != dataHeld && !other;
        EXPECT_EQ(device->command->received, started ? std::vector<Bytes>{start} : std::vector<Bytes>{}) << name;
        std::vector<Bytes> packets;
        for (int k = 0; k < r.packets; ++k) {
            packets.push_back(withId(0x41, Bytes(data.begin() + 63 * k, data.begin() + std::min<std::size_t>(63 * (k + 1), data.size()))));
            packets.back().resize(64, 0);
        }
        EXPECT_EQ(device->data->received, packets) << name;
    }
}

}  // namespace
