#include "simulated_headset.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "sim_bus.h"

namespace zol::sim {

namespace detail {
Bus& bus() {
    static Bus instance;
    return instance;
}
}  // namespace detail

void Collection::send(Bytes report, std::chrono::milliseconds delay, int readsBefore) {
    if (!plugged) return;
    input.push_back({std::move(report), Clock::now() + delay, readsBefore});
    while (input.size() > numInputBuffers) input.pop_front();
}

std::shared_ptr<Collection> attach(CollectionModel model) {
    auto collection = std::make_shared<Collection>(std::move(model));
    detail::bus().collections.push_back(collection);
    return collection;
}

void unplug(Collection& collection) {
    collection.plugged = false;
    collection.input.clear();
    auto& all = detail::bus().collections;
    for (auto it = all.begin(); it != all.end(); ++it)
        if (it->get() == &collection) {
            all.erase(it);
            break;
        }
}

void detachAll() {
    for (auto& collection : detail::bus().collections) collection->plugged = false;
    detail::bus().collections.clear();
    detail::bus().opens = 0;
}

int openDevices() { return static_cast<int>(detail::bus().open.size()); }
int heldPreparsedData() { return static_cast<int>(detail::bus().preparsed.size()); }
int opensSoFar() { return detail::bus().opens; }

std::string devicePath(std::uint16_t vendorId, std::uint16_t productId, int interfaceNumber, int collection) {
    char path[160];
    char markers[32] = "";
    if (interfaceNumber >= 0) std::snprintf(markers, sizeof markers, "&mi_%02x", interfaceNumber);
    if (collection >= 0)
        std::snprintf(markers + std::strlen(markers), sizeof markers - std::strlen(markers), "&col%02x", collection);
    std::snprintf(path, sizeof path, "\\\\?\\hid#vid_%04x&pid_%04x%s#7&2c8f3a1&0&%04x#{4d1e55b2-f16f-11cf-88cb-001111000030}",
                  vendorId, productId, markers, (interfaceNumber < 0 ? 0 : interfaceNumber) * 16 + (collection < 0 ? 0 : collection));
    return path;
}

namespace {

constexpr std::size_t kPacket = 64;

Bytes answer(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2) {
    Bytes packet(kPacket, 0);
    packet[0] = b0;
    packet[1] = b1;
    packet[2] = b2;
    return packet;
}

// The device's side of an update, driven by the host's writes.
class FirmwareSide {
public:
    // The device record owns the collections, whose write handlers own this side: a weak link
    // back keeps that from being a cycle.
    FirmwareSide(FirmwareScript script, const std::shared_ptr<FirmwareDevice>& device)
        : script_(std::move(script)), record_(device) {}

    void onCommand(const Bytes& packet) {
        const std::shared_ptr<FirmwareDevice> device = record_.lock();
        if (!device) return;
        device_ = device.get();
        if (packet.size() < 3 || packet[0] != 0x55 || packet[1] != 0x55) return;
        device_->startPacket = packet;
        switch (script_.handshake) {
        case FirmwareScript::Handshake::silent:
            silent_ = true;
            return;
        case FirmwareScript::Handshake::unplug:
            gone();
            return;
        case FirmwareScript::Handshake::unmarked:
            device_->command->send(Bytes{0xAA, 0x02, 0x01});
            device_->command->send(answer(0xAA, 0x02, 0x01));
            return;
        case FirmwareScript::Handshake::accept:
            break;
        }
        reply(answer(0x55, 0x02, 0x01));
        if (script_.flow == FirmwareScript::Flow::sendFreely || fullBlocks() == 0) reply(answer(0x55, 0x60, 0x00));
        if (script_.imageLength == 0) finalStatus();
    }

    void onData(const Bytes& packet) {
        const std::shared_ptr<FirmwareDevice> device = record_.lock();
        if (!device) return;
        device_ = device.get();
        if (packet.empty() || packet[0] != 0x41) return;
        device_->dataPackets.push_back(packet);
        device_->packetTimes.push_back(Clock::now());
        const std::size_t room = script_.imageLength > device_->image.size() ? script_.imageLength - device_->image.size() : 0;
        device_->image.insert(device_->image.end(), packet.begin() + 1, packet.begin() + 1 + std::min<std::size_t>(63, room));
        const int packets = static_cast<int>(device_->dataPackets.size());
        if (packets == script_.unplugAfterBlock) return gone();
        if (packets == script_.silentAfterBlock) silent_ = true;
        if (packets == script_.earlyStatusAfterBlock) return reply(answer(0x55, 0x01, script_.earlyStatus), script_.earlyStatusReadsBefore);
        if (device_->image.size() >= script_.imageLength && static_cast<std::size_t>(packets) >= fullBlocks())
            return finalStatus();
        if (script_.flow == FirmwareScript::Flow::pace)
            reply(static_cast<std::size_t>(packets) < fullBlocks() ? answer(0x55, 0x60, 0xFF) : answer(0x55, 0x60, 0x00));
    }

private:
    std::size_t fullBlocks() const { return script_.imageLength / 63; }

    // The image is complete: the device checks it before it reports, so the status is not there
    // at the host's very next read.
    void finalStatus() {
        if (!script_.silentAtEnd) reply(answer(0x55, 0x01, script_.finalStatus), 1);
    }

    void reply(Bytes packet, int readsBefore = 0) {
        if (silent_) return;
        if (script_.garbage) {
            device_->command->send(answer(0x55, 0x60, 0x42), script_.answerDelay);  // "no change"
            device_->command->send(answer(0x12, 0x01, 0x07), script_.answerDelay);  // not an answer
            device_->command->send(Bytes{0x55, 0x01, 0x09}, script_.answerDelay);   // too short
        }
        device_->command->send(std::move(packet), script_.answerDelay, readsBefore);
    }

    void gone() {
        unplug(*device_->command);
        unplug(*device_->data);
    }

    FirmwareScript script_;
    std::weak_ptr<FirmwareDevice> record_;
    FirmwareDevice* device_ = nullptr;  // valid while a handler runs
    bool silent_ = false;
};

DeclaredReport in(std::uint8_t id) { return {CapsKind::inputValue, id}; }
DeclaredReport out(std::uint8_t id) { return {CapsKind::outputValue, id}; }

}  // namespace

std::shared_ptr<FirmwareDevice> attachKitHeadset(std::uint16_t vendorId, std::uint16_t productId,
                                                 const FirmwareScript& script) {
    auto collection = [&](int intf, int col, std::vector<DeclaredReport> reports, USHORT inLength, USHORT outLength,
                          USHORT featureLength) {
        CollectionModel model;
        model.path = devicePath(vendorId, productId, intf, col);
        model.vendorId = vendorId;
        model.productId = productId;
        model.reports = std::move(reports);
        model.inputLength = inLength;
        model.outputLength = outLength;
        model.featureLength = featureLength;
        return attach(std::move(model));
    };
    collection(0, -1, {{CapsKind::inputButton, 1}}, 3, 0, 0);
    auto transfer = collection(3, 1, {in(6), out(6)}, 64, 64, 0);
    transfer->onWrite = [](Collection& self, const Bytes& report) {
        Bytes echo(report);
        echo.resize(self.model.inputLength, 0);
        self.send(std::move(echo));
    };
    collection(3, 2, {{CapsKind::featureValue, 7}}, 0, 0, 33);
    auto device = std::make_shared<FirmwareDevice>();
    device->command = collection(3, 3, {in(0x55), out(0x55)}, 64, 64, 0);
    device->data = collection(3, 4, {out(0x41)}, 0, 64, 0);
    auto side = std::make_shared<FirmwareSide>(script, device);
    device->command->onWrite = [side](Collection&, const Bytes& packet) { side->onCommand(packet); };
    device->data->onWrite = [side](Collection&, const Bytes& packet) { side->onData(packet); };
    return device;
}

}  // namespace zol::sim
