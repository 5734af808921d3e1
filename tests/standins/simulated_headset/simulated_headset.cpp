#include "simulated_headset.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <set>
#include <utility>

#include "device_link/hid_api.h"

using namespace zol::sim;

struct hid_device_ {
    std::shared_ptr<Collection> collection;
    Bytes feature;  // the last feature report sent
};

namespace {

struct Bus {
    std::vector<std::shared_ptr<Collection>> collections;
    std::set<hid_device*> open;
    std::set<CollectionModel*> preparsed;  // a copy of the model stands for the preparsed data
};

// Also used while the demo DLL's globals are set up.
Bus& bus() { static Bus instance; return instance; }

hid_device* live(void* h) { return bus().open.count(static_cast<hid_device*>(h)) ? static_cast<hid_device*>(h) : nullptr; }

CollectionModel* livePreparsed(void* data) {
    return bus().preparsed.count(static_cast<CollectionModel*>(data)) ? static_cast<CollectionModel*>(data) : nullptr;
}

std::vector<std::uint8_t> idsOf(const CollectionModel& model, CapsKind kind) {
    std::vector<std::uint8_t> ids;
    for (const auto& report : model.reports)
        if (report.kind == kind) ids.push_back(report.reportId);
    return ids;
}

template <typename Caps>
NTSTATUS specificCaps(HIDP_REPORT_TYPE type, bool button, Caps* caps, PUSHORT length, PHIDP_PREPARSED_DATA data) {
    const CollectionModel* model = livePreparsed(data);
    if (!model || !length) return HIDP_STATUS_INVALID_PREPARSED_DATA;
    const auto ids = idsOf(*model, CapsKind((type == HidP_Input ? 0 : type == HidP_Output ? 2 : 4) + !button));
    if (ids.empty()) return HIDP_STATUS_USAGE_NOT_FOUND;
    if (*length < ids.size()) return HIDP_STATUS_BUFFER_TOO_SMALL;
    *length = static_cast<USHORT>(ids.size());
    for (std::size_t i = 0; i < ids.size(); ++i) (caps[i] = Caps{}).ReportID = ids[i];
    return HIDP_STATUS_SUCCESS;
}

Bytes answer(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2) {
    Bytes packet{b0, b1, b2};
    return packet.resize(64), packet;
}

// The device's side of an update, driven by the host's writes. The collections' write handlers
// own it, so it reaches the device record through a weak link.
struct FirmwareSide {
    FirmwareScript script;
    std::weak_ptr<FirmwareDevice> record;
    bool silent = false;

    void onCommand(const Bytes& packet) {
        const auto device = record.lock();
        if (!device || packet[0] != 0x55 || packet[1] != 0x55 || reached(*device, 0)) return;
        reply(*device, answer(0x55, 0x02, 0x01));
        if (script.flow == FirmwareScript::Flow::sendFreely || script.imageLength < 63) reply(*device, answer(0x55, 0x60, 0));
        if (script.imageLength == 0) reply(*device, answer(0x55, 0x01, script.finalStatus), 1);
    }

    void onData(const Bytes& packet) {
        const auto device = record.lock();
        const int packets = device ? static_cast<int>(device->data->received.size()) : 0;
        if (!device || packet[0] != 0x41) return;
        const std::size_t room = script.imageLength - std::min(script.imageLength, device->image.size());
        device->image.insert(device->image.end(), packet.begin() + 1, packet.begin() + 1 + std::min<std::size_t>(63, room));
        if (reached(*device, packets)) return;
        if (packets == script.earlyStatusAfterBlock)
            reply(*device, answer(0x55, 0x01, script.earlyStatus), script.earlyStatusReadsBefore);
        else if (packets * 63u >= script.imageLength)  // checked before the status: the next read misses it
            reply(*device, answer(0x55, 0x01, script.finalStatus), 1);
        else if (script.flow == FirmwareScript::Flow::pace)
            reply(*device, answer(0x55, 0x60, packets < static_cast<int>(script.imageLength / 63) ? 0xFF : 0));
    }

    bool reached(FirmwareDevice& device, int packets) {  // true: the device has gone
        silent = silent || packets == script.silentAfterBlock;
        if (packets != script.unplugAfterBlock) return false;
        for (Collection* channel : {device.command.get(), device.data.get()}) unplug(*channel);
        return true;
    }

    void reply(FirmwareDevice& device, Bytes packet, int readsBefore = 0) {
        if (script.garbage)  // no change, unmarked status and start answers, short ones
            for (Bytes noise : {answer(0x55, 0x60, 0x42), answer(0x12, 0x01, 0x07), answer(0x12, 0x02, 0x01),
                                Bytes{0x55, 0x01, 0x09}, Bytes{0x55, 0x02, 0x01}})
                device.command->send(noise);
        if (!silent) device.command->send(std::move(packet), readsBefore);
    }
};

}  // namespace

namespace zol::sim {

std::shared_ptr<Collection> attach(CollectionModel model) {
    return bus().collections.emplace_back(std::make_shared<Collection>(Collection{std::move(model)}));
}

void unplug(Collection& collection) {
    collection.plugged = false;
    collection.input.clear();
    auto& all = bus().collections;
    all.erase(std::remove_if(all.begin(), all.end(), [&](const auto& c) { return c.get() == &collection; }), all.end());
}

void detachAll() { while (!bus().collections.empty()) unplug(*bus().collections.back()); }

int openDevices() { return static_cast<int>(bus().open.size() + bus().preparsed.size()); }

const Collection* collectionOf(const void* device) {
    hid_device* dev = live(const_cast<void*>(device));
    return dev ? dev->collection.get() : nullptr;
}

std::string devicePath(std::uint16_t vendorId, std::uint16_t productId, int interfaceNumber, int collection) {
    char path[64];
    int n = std::snprintf(path, sizeof path, "\\\\?\\hid#vid_%04x&pid_%04x", vendorId, productId);
    if (interfaceNumber >= 0) n += std::snprintf(path + n, 8, "&mi_%02x", interfaceNumber);
    if (collection >= 0) std::snprintf(path + n, 8, "&col%02x", collection);
    return path + std::string("#7&2c8f3a1&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}");
}

std::shared_ptr<FirmwareDevice> attachKitHeadset(std::uint16_t vendorId, std::uint16_t productId, const FirmwareScript& script) {
    auto add = [&](int intf, int col, std::vector<DeclaredReport> reports) {
        return attach({devicePath(vendorId, productId, intf, col), vendorId, productId, std::move(reports)});
    };
    add(0, -1, {{CapsKind::inputButton, 1}});
    const auto echo = [](Collection& self, const Bytes& report) { self.send(report); };
    add(3, 1, {{CapsKind::inputValue, 6}, {CapsKind::outputValue, 6}})->onWrite = echo;
    add(3, 2, {{CapsKind::featureValue, 7}});
    auto device = std::make_shared<FirmwareDevice>();
    device->command = add(3, 3, {{CapsKind::inputValue, 0x55}, {CapsKind::outputValue, 0x55}});
    device->data = add(3, 4, {{CapsKind::outputValue, 0x41}});
    auto side = std::make_shared<FirmwareSide>(FirmwareSide{script, device});
    device->command->onWrite = [side](Collection&, const Bytes& packet) { side->onCommand(packet); };
    device->data->onWrite = [side](Collection&, const Bytes& packet) { side->onData(packet); };
    return device;
}

}  // namespace zol::sim

// hidapi as its Windows backend behaves here: a report whose id byte is 0 reaches the reader
// without it; a short write is padded to the output report length. A feature report reads back
// what was last sent. No interface numbers in the list: the library reads the path.
extern "C" {

int hid_init(void) { return 0; }
int hid_exit(void) { return 0; }

hid_device_info* hid_enumerate(unsigned short vendor_id, unsigned short product_id) {
    hid_device_info* head = nullptr;
    for (auto it = bus().collections.rbegin(); it != bus().collections.rend(); ++it) {
        const CollectionModel& model = (*it)->model;
        if ((vendor_id && model.vendorId != vendor_id) || (product_id && model.productId != product_id)) continue;
        auto* info = static_cast<hid_device_info*>(std::calloc(1, sizeof(hid_device_info)));
        *info = {_strdup(model.path.c_str()), model.vendorId, model.productId};
        info->next = std::exchange(head, info);
    }
    return head;
}

void hid_free_enumeration(hid_device_info* devs) {
    while (hid_device_info* info = devs) {
        devs = info->next;
        std::free(info->path);
        std::free(info);
    }
}

hid_device* hid_open_path(const char* path) {
    for (const auto& collection : bus().collections)
        if (path && collection->model.path == path && collection->model.opens)
            return *bus().open.insert(new hid_device_{collection}).first;
    return nullptr;
}

hid_device* hid_open(unsigned short vendor_id, unsigned short product_id, const wchar_t*) {
    for (const auto& collection : bus().collections)
        if (collection->model.vendorId == vendor_id && (!product_id || collection->model.productId == product_id))
            return hid_open_path(collection->model.path.c_str());
    return nullptr;
}

void hid_close(hid_device* dev) {
    if (bus().open.erase(dev)) delete dev;
}

int hid_write(hid_device* dev, const unsigned char* data, size_t length) {
    if (!live(dev) || !data || !length || !dev->collection->plugged) return -1;
    Collection& collection = *dev->collection;
    Bytes& report = collection.received.emplace_back(data, data + length);
    report.resize(std::max<std::size_t>(length, collection.model.outputLength), 0);
    if (collection.onWrite) collection.onWrite(collection, Bytes(report));
    return static_cast<int>(report.size());
}

// Nothing waits: a read finds a report or nothing, whatever its time-out (blocking or not).
int hid_read_timeout(hid_device* dev, unsigned char* data, size_t length, int milliseconds) {
    if (!live(dev) || !data || !length) return -1;
    Collection& collection = *dev->collection;
    collection.readTimeouts.push_back(milliseconds);
    if (!collection.plugged) return -1;
    if (collection.input.empty() || collection.input.front().second-- > 0) return 0;
    const Bytes report = std::move(collection.input.front().first);
    collection.input.pop_front();
    const std::size_t skip = !report.empty() && report[0] == 0;
    const std::size_t n = std::min(length, report.size() - skip);
    std::memcpy(data, report.data() + skip, n);
    return static_cast<int>(n);
}

int hid_read(hid_device* dev, unsigned char* data, size_t length) { return hid_read_timeout(dev, data, length, -1); }
int hid_set_nonblocking(hid_device* dev, int) { return live(dev) ? 0 : -1; }

int hid_send_feature_report(hid_device* dev, const unsigned char* data, size_t length) {
    if (!live(dev) || !data || !length) return -1;
    dev->feature.assign(data, data + length);
    return static_cast<int>(length);
}

int hid_get_feature_report(hid_device* dev, unsigned char* data, size_t length) {
    if (!live(dev) || !data || !length || dev->feature.empty() || dev->feature[0] != data[0]) return -1;
    length = std::min(length, dev->feature.size());
    std::memcpy(data, dev->feature.data(), length);
    return static_cast<int>(length);
}

int hid_get_indexed_string(hid_device* dev, int index, wchar_t* string, size_t maxlen) {
    const wchar_t* const texts[] = {L"ZolSoundKit", L"Simulated headset", L"SIM0001"};
    if (!live(dev) || !string || maxlen == 0 || index < 1 || index > 3) return -1;
    std::wcsncpy(string, texts[index - 1], maxlen);
    string[maxlen - 1] = L'\0';
    return 0;
}
int hid_get_manufacturer_string(hid_device* dev, wchar_t* s, size_t n) { return hid_get_indexed_string(dev, 1, s, n); }
int hid_get_product_string(hid_device* dev, wchar_t* s, size_t n) { return hid_get_indexed_string(dev, 2, s, n); }
int hid_get_serial_number_string(hid_device* dev, wchar_t* s, size_t n) { return hid_get_indexed_string(dev, 3, s, n); }
const wchar_t* hid_error(hid_device*) { return L""; }

HANDLE hid_get_device_handle(hid_device* dev) { return live(dev) ? static_cast<HANDLE>(dev) : INVALID_HANDLE_VALUE; }

// The HID class library; the device handle is the hid_device.
BOOLEAN NTAPI HidD_GetPreparsedData(HANDLE device, PHIDP_PREPARSED_DATA* data) {
    hid_device* dev = live(device);
    if (!dev || !data || dev->collection->model.preparsedDataFails) return FALSE;
    *data = reinterpret_cast<PHIDP_PREPARSED_DATA>(*bus().preparsed.insert(new CollectionModel(dev->collection->model)).first);
    return TRUE;
}

BOOLEAN NTAPI HidD_FreePreparsedData(PHIDP_PREPARSED_DATA data) {
    CollectionModel* model = livePreparsed(data);
    bus().preparsed.erase(model);
    delete model;
    return model != nullptr;
}

NTSTATUS NTAPI HidP_GetCaps(PHIDP_PREPARSED_DATA data, PHIDP_CAPS caps) {
    const CollectionModel* model = livePreparsed(data);
    if (!model || !caps || model->capsQueryFails) return HIDP_STATUS_INVALID_PREPARSED_DATA;
    *caps = HIDP_CAPS{};
    caps->InputReportByteLength = model->inputLength;
    caps->OutputReportByteLength = model->outputLength;
    USHORT* counts[] = {&caps->NumberInputButtonCaps,  &caps->NumberInputValueCaps,    &caps->NumberOutputButtonCaps,
                        &caps->NumberOutputValueCaps, &caps->NumberFeatureButtonCaps, &caps->NumberFeatureValueCaps};
    for (int kind = 0; kind < 6; ++kind) *counts[kind] = static_cast<USHORT>(idsOf(*model, CapsKind(kind)).size());
    return HIDP_STATUS_SUCCESS;
}

NTSTATUS NTAPI HidP_GetSpecificButtonCaps(HIDP_REPORT_TYPE type, USAGE, USHORT, USAGE, PHIDP_BUTTON_CAPS caps,
                                          PUSHORT length, PHIDP_PREPARSED_DATA data) {
    return specificCaps(type, true, caps, length, data);
}

NTSTATUS NTAPI HidP_GetSpecificValueCaps(HIDP_REPORT_TYPE type, USAGE, USHORT, USAGE, PHIDP_VALUE_CAPS caps,
                                         PUSHORT length, PHIDP_PREPARSED_DATA data) {
    return specificCaps(type, false, caps, length, data);
}

BOOLEAN NTAPI HidD_SetNumInputBuffers(HANDLE device, ULONG count) {
    hid_device* dev = live(device);
    return dev && count >= 2 ? (dev->collection->numInputBuffers = count, TRUE) : FALSE;
}

BOOLEAN NTAPI HidD_FlushQueue(HANDLE device) {
    hid_device* dev = live(device);
    if (dev) dev->collection->input.clear();
    return dev != nullptr;
}

}  // extern "C"
