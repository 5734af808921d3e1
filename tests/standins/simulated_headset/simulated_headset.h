// A simulated headset for programs that link the library's device-link code against these
// hidapi and HID class functions instead of hidapi and hid.dll: a bus of HID top-level
// collections with Windows device paths, the report ids their capability records declare and the
// report lengths they state. The device answers inside the host's write, on the caller's thread.
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

struct DeclaredReport { CapsKind kind; std::uint8_t reportId; };

struct CollectionModel {
    std::string path;
    std::uint16_t vendorId = 0, productId = 0;
    std::vector<DeclaredReport> reports;
    USHORT inputLength = 64, outputLength = 64;  // as HidP_GetCaps states them, the id byte included
    bool opens = true;                           // false: another program holds it exclusively
    bool preparsedDataFails = false, capsQueryFails = false;
};

struct Collection {
    // An input report (id byte first) that the host's next `readsBefore` reads miss.
    void send(Bytes report, int readsBefore = 0) { input.push_back({std::move(report), readsBefore}); }

    CollectionModel model;
    bool plugged = true;  // unplugged, every read and write fails
    std::deque<std::pair<Bytes, int>> input;
    std::vector<Bytes> received;    // every output report, as the device received it
    std::vector<int> readTimeouts;  // of every read (-1 blocking, 0 polling)
    ULONG numInputBuffers = 64;
    std::function<void(Collection&, const Bytes&)> onWrite;  // none: the device stays silent
};

std::shared_ptr<Collection> attach(CollectionModel model);  // hid_enumerate lists in this order
void unplug(Collection& collection);
void detachAll();
int openDevices();  // handles and preparsed data the host still holds
const Collection* collectionOf(const void* device);  // behind a hid_device, or null
// "\\?\hid#vid_XXXX&pid_XXXX&mi_II&colCC#...", without a marker whose number is negative.
std::string devicePath(std::uint16_t vendorId, std::uint16_t productId, int interfaceNumber, int collection);

// The device side of a firmware update. Counts are of data packets received, 0: at the start.
struct FirmwareScript {
    enum class Flow { sendFreely, pace };
    std::size_t imageLength = 0;
    Flow flow = Flow::sendFreely;
    std::uint8_t finalStatus = 0;
    int earlyStatusAfterBlock = -1, earlyStatus = 0, earlyStatusReadsBefore = 0;  // the reads that miss it
    int silentAfterBlock = -1, unplugAfterBlock = -1;
    bool garbage = false;  // noise the host must ignore before every answer, and for one withheld
};

struct FirmwareDevice {
    std::shared_ptr<Collection> command, data;
    Bytes image;  // the data packets' payloads, cut to the image length
};

// A kit headset: interface 0 (media keys), interface 3 with collections 1 (transfers on report
// id 6, echoed), 2 (a feature report) and 3, 4 (firmware commands and data, following `script`
// while the caller holds the record).
std::shared_ptr<FirmwareDevice> attachKitHeadset(std::uint16_t vendorId, std::uint16_t productId, const FirmwareScript& script);

}  // namespace zol::sim
