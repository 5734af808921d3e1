// A simulated headset for programs that link the library's device-link code against these
// hidapi and HID class functions instead of hidapi and hid.dll: a bus of HID top-level
// collections, each with a Windows device path, ids, the report ids its capability records
// declare and the report lengths it states. Everything runs on the caller's thread: the device
// answers inside the host's write. An unplugged collection fails every read and write.
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zol::sim {

using Bytes = std::vector<std::uint8_t>;

enum class CapsKind { inputButton, inputValue, outputButton, outputValue, featureButton, featureValue };

struct DeclaredReport {
    CapsKind kind;
    std::uint8_t reportId;
};

struct CollectionModel {
    std::string path;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::vector<DeclaredReport> reports;
    USHORT inputLength = 64;  // as HidP_GetCaps states them, the id byte included
    USHORT outputLength = 64;
    USHORT featureLength = 0;
    bool opens = true;  // false: another program holds it exclusively
    bool preparsedDataFails = false;
    bool capsQueryFails = false;
};

struct Collection {
    explicit Collection(CollectionModel m) : model(std::move(m)) {}
    // Queues an input report (id byte first) that `readsBefore` reads of the host miss.
    void send(Bytes report, int readsBefore = 0) {
        if (plugged) input.push_back({std::move(report), readsBefore});
    }

    CollectionModel model;
    bool plugged = true;
    std::deque<std::pair<Bytes, int>> input;
    std::vector<Bytes> received;    // every output report, as the device received it
    std::vector<int> readTimeouts;  // of every read (-1 blocking, 0 polling)
    ULONG numInputBuffers = 64;
    int flushes = 0;
    std::function<void(Collection&, const Bytes&)> onWrite;  // none: the device stays silent
};

std::shared_ptr<Collection> attach(CollectionModel model);  // hid_enumerate lists in this order
void unplug(Collection& collection);
void detachAll();
int openDevices();  // handles and preparsed data the host still holds
int heldPreparsedData();
const Collection* collectionOf(const void* device);  // behind a hid_device (null for anything else)
// "\\?\hid#vid_XXXX&pid_XXXX&mi_II&colCC#..." without a marker whose number is negative.
std::string devicePath(std::uint16_t vendorId, std::uint16_t productId, int interfaceNumber, int collection);

// The device side of the firmware protocol. Counts are of data packets received; 0 means at the
// start command.
struct FirmwareScript {
    enum class Flow { sendFreely, pace };
    std::size_t imageLength = 0;  // what the device expects
    Flow flow = Flow::sendFreely;
    std::uint8_t finalStatus = 0;
    int earlyStatusAfterBlock = -1;  // send `earlyStatus` then, missed by `earlyStatusReadsBefore` reads
    std::uint8_t earlyStatus = 0;
    int earlyStatusReadsBefore = 0;
    int silentAfterBlock = -1;  // answer nothing from then on
    int unplugAfterBlock = -1;
    bool garbage = false;  // noise the host must ignore before every answer (and instead of one)
};

struct FirmwareDevice {
    std::shared_ptr<Collection> command;  // received[0] is the start packet
    std::shared_ptr<Collection> data;     // received: the data packets
};

// A composite headset of the kit: interface 0 (media keys, report id 1); interface 3 with
// collections 1 (transfers, report id 6, echoed), 2 (feature report id 7), 3 and 4 (firmware
// commands and data, following `script` while the caller holds the record).
std::shared_ptr<FirmwareDevice> attachKitHeadset(std::uint16_t vendorId, std::uint16_t productId,
                                                 const FirmwareScript& script);

}  // namespace zol::sim
