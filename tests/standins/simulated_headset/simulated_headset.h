// A simulated headset for programs that link the library's device-link code against the
// simulated hidapi and HID class functions (simulated_hid.cpp) instead of hidapi and hid.dll.
//
// The model: a bus of HID top-level collections, each with a device path (as Windows names them,
// with "mi_XX" / "colXX" markers or none), vendor and product id, the report ids its capability
// records declare (by report type and button/value kind), the report lengths its capabilities
// state, and whether it opens. The device side reacts to each output report the host writes
// (onWrite) and queues input reports, which may arrive later than they are sent. Unplugging makes
// every open handle fail its reads and writes, as a removed device does.
//
// Everything runs on the caller's thread: the device answers inside the host's write call.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zol::sim {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

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
    // As HidP_GetCaps states them (the id byte included); 0 and out-of-range values are allowed.
    USHORT inputLength = 64;
    USHORT outputLength = 64;
    USHORT featureLength = 0;
    bool opens = true;              // false: another program holds it exclusively
    bool preparsedDataFails = false;
    bool capsQueryFails = false;
};

class Collection {
public:
    explicit Collection(CollectionModel model) : model(std::move(model)) {}

    // The device sends an input report (id byte first), available to the host after `delay` and
    // after `readsBefore` reads of the host have found nothing (a device that takes its time).
    void send(Bytes report, std::chrono::milliseconds delay = std::chrono::milliseconds(0), int readsBefore = 0);

    CollectionModel model;
    bool plugged = true;
    // Device -> host: queued input reports. The driver keeps at most numInputBuffers unread
    // reports and drops the oldest beyond that.
    struct Pending {
        Bytes bytes;
        Clock::time_point availableAt;
        int readsBefore;
    };
    std::deque<Pending> input;
    ULONG numInputBuffers = 64;
    int flushes = 0;
    // Host -> device: every output report written, as the device received it.
    std::vector<Bytes> received;
    // The time-out of every hid_read_timeout / hid_read call (-1 blocking, 0 polling).
    std::vector<int> readTimeouts;
    Bytes featureReport;
    // The device's reaction to an output report; none: it stays silent.
    std::function<void(Collection&, const Bytes&)> onWrite;
};

// The bus: what hid_enumerate lists, in the order added.
std::shared_ptr<Collection> attach(CollectionModel model);
void unplug(Collection& collection);
void detachAll();
// Handles and preparsed data the host still holds: 0 after every call that closes what it opened.
int openDevices();
int heldPreparsedData();
// Devices opened since the last detachAll (counts hid_open_path successes).
int opensSoFar();
// The collection behind a device the host opened (null for anything else).
const Collection* collectionOf(const void* device);

// Windows-style path of one collection of a composite device; interface or collection < 0 leaves
// that marker out.
std::string devicePath(std::uint16_t vendorId, std::uint16_t productId, int interfaceNumber, int collection);

// The device side of the firmware protocol, on collections 3 (commands and answers) and 4 (image
// data) of the control interface.
struct FirmwareScript {
    enum class Flow { sendFreely, pace };
    enum class Handshake { accept, silent, unplug, unmarked };  // unmarked: short and mark-less replies only
    std::size_t imageLength = 0;  // what the device expects to receive
    Flow flow = Flow::sendFreely;
    Handshake handshake = Handshake::accept;
    std::uint8_t finalStatus = 0;
    int earlyStatusAfterBlock = -1;  // send `earlyStatus` after this many data packets
    std::uint8_t earlyStatus = 0;
    int earlyStatusReadsBefore = 0;  // host reads that find nothing before the early status arrives
    int silentAfterBlock = -1;       // answer nothing more after this many data packets
    int unplugAfterBlock = -1;       // disappear after this many data packets
    bool silentAtEnd = false;        // never send the final status
    bool garbage = false;            // mix answers the host must ignore into every reply
    std::chrono::milliseconds answerDelay{0};
};

struct FirmwareDevice {
    Bytes image;                   // the data packets' payloads, reassembled (cut to imageLength)
    std::vector<Bytes> dataPackets;
    Bytes startPacket;
    std::vector<Clock::time_point> packetTimes;
    std::shared_ptr<Collection> command;
    std::shared_ptr<Collection> data;
};

// A composite headset of the kit: interface 0 (one collection, media keys, report id 1), interface
// 3 with collections 1 (transfers, report id 6 in and out, echoed back), 2 (report id 7 in a
// feature report only), 3 and 4 (firmware commands and data). The firmware side follows `script`
// and answers only while the caller holds the returned record.
std::shared_ptr<FirmwareDevice> attachKitHeadset(std::uint16_t vendorId, std::uint16_t productId,
                                                 const FirmwareScript& script);

}  // namespace zol::sim
