// hidapi's functions, hid_get_device_handle and the HID class calls the library makes, answered
// by the simulated bus. Modelled on hidapi's Windows backend: a report whose id byte is 0 reaches
// the reader without it; a short write is padded to the output report length.
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <thread>

#include "device_link/hid_api.h"
#include "sim_bus.h"

using zol::sim::Bytes;
using zol::sim::CapsKind;
using zol::sim::Clock;
using zol::sim::Collection;
using zol::sim::CollectionModel;
using zol::sim::detail::bus;
using zol::sim::detail::OpenDevice;
using zol::sim::detail::Preparsed;

struct hid_device_ : OpenDevice {};

namespace {

hid_device_* live(hid_device* dev) { return dev && bus().open.count(dev) ? dev : nullptr; }

hid_device_* fromHandle(HANDLE handle) { return live(static_cast<hid_device*>(handle)); }

Preparsed* livePreparsed(PHIDP_PREPARSED_DATA data) {
    auto* p = reinterpret_cast<Preparsed*>(data);
    return bus().preparsed.count(p) ? p : nullptr;
}

wchar_t* duplicate(const std::wstring& text) {
    auto* copy = static_cast<wchar_t*>(std::malloc((text.size() + 1) * sizeof(wchar_t)));
    std::wcscpy(copy, text.c_str());
    return copy;
}

std::wstring widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

int interfaceOf(const std::string& path) {
    const std::size_t at = path.find("mi_");
    return at == std::string::npos ? -1 : static_cast<int>(std::strtol(path.c_str() + at + 3, nullptr, 16));
}

std::shared_ptr<Collection> byPath(const char* path) {
    for (auto& collection : bus().collections)
        if (path && collection->model.path == path) return collection;
    return nullptr;
}

int copyString(hid_device* dev, const std::wstring& text, wchar_t* string, size_t maxlen) {
    if (!live(dev) || !string || maxlen == 0) return -1;
    std::wcsncpy(string, text.c_str(), maxlen);
    string[maxlen - 1] = L'\0';
    return 0;
}

std::vector<std::uint8_t> idsOf(const CollectionModel& model, CapsKind kind) {
    std::vector<std::uint8_t> ids;
    for (const auto& report : model.reports)
        if (report.kind == kind) ids.push_back(report.reportId);
    return ids;
}

CapsKind kindOf(HIDP_REPORT_TYPE type, bool button) {
    switch (type) {
    case HidP_Input: return button ? CapsKind::inputButton : CapsKind::inputValue;
    case HidP_Output: return button ? CapsKind::outputButton : CapsKind::outputValue;
    default: return button ? CapsKind::featureButton : CapsKind::featureValue;
    }
}

template <typename Caps>
NTSTATUS specificCaps(HIDP_REPORT_TYPE type, bool button, Caps* caps, PUSHORT length, PHIDP_PREPARSED_DATA data) {
    Preparsed* p = livePreparsed(data);
    if (!p || !length) return HIDP_STATUS_INVALID_PREPARSED_DATA;
    const auto ids = idsOf(p->model, kindOf(type, button));
    if (ids.empty()) return HIDP_STATUS_USAGE_NOT_FOUND;
    if (*length < ids.size()) return HIDP_STATUS_BUFFER_TOO_SMALL;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        std::memset(&caps[i], 0, sizeof(Caps));
        caps[i].UsagePage = 0xFF00;
        caps[i].ReportID = ids[i];
    }
    *length = static_cast<USHORT>(ids.size());
    return HIDP_STATUS_SUCCESS;
}

}  // namespace

const Collection* zol::sim::collectionOf(const void* device) {
    hid_device_* dev = live(static_cast<hid_device*>(const_cast<void*>(device)));
    return dev ? dev->collection.get() : nullptr;
}

extern "C" {

int hid_init(void) { return 0; }
int hid_exit(void) { return 0; }

hid_device_info* hid_enumerate(unsigned short vendor_id, unsigned short product_id) {
    hid_device_info* head = nullptr;
    hid_device_info** tail = &head;
    for (const auto& collection : bus().collections) {
        const CollectionModel& model = collection->model;
        if ((vendor_id && model.vendorId != vendor_id) || (product_id && model.productId != product_id)) continue;
        auto* info = static_cast<hid_device_info*>(std::calloc(1, sizeof(hid_device_info)));
        info->path = _strdup(model.path.c_str());
        info->vendor_id = model.vendorId;
        info->product_id = model.productId;
        info->serial_number = duplicate(L"SIM0001");
        info->manufacturer_string = duplicate(L"ZolSoundKit");
        info->product_string = duplicate(L"Simulated headset");
        info->interface_number = interfaceOf(model.path);
        info->bus_type = HID_API_BUS_USB;
        *tail = info;
        tail = &info->next;
    }
    return head;
}

void hid_free_enumeration(hid_device_info* devs) {
    while (devs) {
        hid_device_info* next = devs->next;
        std::free(devs->path);
        std::free(devs->serial_number);
        std::free(devs->manufacturer_string);
        std::free(devs->product_string);
        std::free(devs);
        devs = next;
    }
}

hid_device* hid_open_path(const char* path) {
    std::shared_ptr<Collection> collection = byPath(path);
    if (!collection || !collection->model.opens) return nullptr;
    auto* dev = new hid_device_;
    dev->collection = std::move(collection);
    bus().open.insert(dev);
    ++bus().opens;
    return dev;
}

hid_device* hid_open(unsigned short vendor_id, unsigned short product_id, const wchar_t* serial_number) {
    if (serial_number && std::wcscmp(serial_number, L"SIM0001") != 0) return nullptr;
    for (const auto& collection : bus().collections)
        if (collection->model.vendorId == vendor_id && (!product_id || collection->model.productId == product_id))
            return hid_open_path(collection->model.path.c_str());
    return nullptr;
}

void hid_close(hid_device* dev) {
    if (!live(dev)) return;
    bus().open.erase(dev);
    delete dev;
}

int hid_write(hid_device* dev, const unsigned char* data, size_t length) {
    if (!live(dev) || !data || !length) return -1;
    Collection& collection = *dev->collection;
    if (!collection.plugged) {
        dev->lastError = L"WriteFile: the device is not connected.";
        return -1;
    }
    Bytes report(data, data + length);
    if (report.size() < collection.model.outputLength) report.resize(collection.model.outputLength, 0);
    collection.received.push_back(report);
    if (collection.onWrite) collection.onWrite(collection, report);
    return static_cast<int>(report.size());
}

int hid_read_timeout(hid_device* dev, unsigned char* data, size_t length, int milliseconds) {
    if (!live(dev) || !data || !length) return -1;
    Collection& collection = *dev->collection;
    collection.readTimeouts.push_back(milliseconds);
    const Clock::time_point giveUp = Clock::now() + std::chrono::milliseconds(milliseconds < 0 ? 60000 : milliseconds);
    for (;;) {
        if (!collection.plugged) {
            dev->lastError = L"hid_read_timeout/GetOverlappedResult: the device is not connected.";
            return -1;
        }
        if (!collection.input.empty()) {
            Collection::Pending& front = collection.input.front();
            if (front.readsBefore > 0) {
                --front.readsBefore;
                return 0;
            }
            if (front.availableAt <= Clock::now()) {
                Bytes report = std::move(front.bytes);
                collection.input.pop_front();
                std::size_t skip = !report.empty() && report[0] == 0 ? 1 : 0;
                const std::size_t n = std::min(length, report.size() - skip);
                std::memcpy(data, report.data() + skip, n);
                return static_cast<int>(n);
            }
        }
        const Clock::time_point now = Clock::now();
        if (now >= giveUp) return 0;
        Clock::time_point until = giveUp;
        if (!collection.input.empty() && collection.input.front().availableAt < until)
            until = collection.input.front().availableAt;
        std::this_thread::sleep_for(until - now);
    }
}

int hid_read(hid_device* dev, unsigned char* data, size_t length) {
    if (!live(dev)) return -1;
    return hid_read_timeout(dev, data, length, dev->nonblocking ? 0 : -1);
}

int hid_set_nonblocking(hid_device* dev, int nonblock) {
    if (!live(dev)) return -1;
    dev->nonblocking = nonblock != 0;
    return 0;
}

int hid_send_feature_report(hid_device* dev, const unsigned char* data, size_t length) {
    if (!live(dev) || !data || !length || !dev->collection->plugged) return -1;
    dev->collection->featureReport.assign(data, data + length);
    return static_cast<int>(length);
}

int hid_get_feature_report(hid_device* dev, unsigned char* data, size_t length) {
    if (!live(dev) || !data || !length || !dev->collection->plugged) return -1;
    const Bytes& report = dev->collection->featureReport;
    if (report.empty() || report[0] != data[0]) {
        dev->lastError = L"HidD_GetFeature: no such report.";
        return -1;
    }
    const std::size_t n = std::min(length, report.size());
    std::memcpy(data, report.data(), n);
    return static_cast<int>(n);
}

int hid_get_manufacturer_string(hid_device* dev, wchar_t* string, size_t maxlen) {
    return copyString(dev, L"ZolSoundKit", string, maxlen);
}
int hid_get_product_string(hid_device* dev, wchar_t* string, size_t maxlen) {
    return copyString(dev, L"Simulated headset", string, maxlen);
}
int hid_get_serial_number_string(hid_device* dev, wchar_t* string, size_t maxlen) {
    return copyString(dev, L"SIM0001", string, maxlen);
}
int hid_get_indexed_string(hid_device* dev, int string_index, wchar_t* string, size_t maxlen) {
    switch (string_index) {
    case 1: return hid_get_manufacturer_string(dev, string, maxlen);
    case 2: return hid_get_product_string(dev, string, maxlen);
    case 3: return hid_get_serial_number_string(dev, string, maxlen);
    default: return -1;
    }
}

const wchar_t* hid_error(hid_device* dev) {
    if (!dev) return L"Success";
    hid_device_* open = live(dev);
    return open && !open->lastError.empty() ? open->lastError.c_str() : L"Success";
}

HANDLE hid_get_device_handle(hid_device* dev) { return live(dev) ? static_cast<HANDLE>(dev) : INVALID_HANDLE_VALUE; }

// ---- HID class library ----

BOOLEAN NTAPI HidD_GetPreparsedData(HANDLE device, PHIDP_PREPARSED_DATA* data) {
    hid_device_* dev = fromHandle(device);
    if (!dev || !data) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (dev->collection->model.preparsedDataFails) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    auto* p = new Preparsed{dev->collection->model};
    bus().preparsed.insert(p);
    *data = reinterpret_cast<PHIDP_PREPARSED_DATA>(p);
    return TRUE;
}

BOOLEAN NTAPI HidD_FreePreparsedData(PHIDP_PREPARSED_DATA data) {
    Preparsed* p = livePreparsed(data);
    if (!p) return FALSE;
    bus().preparsed.erase(p);
    delete p;
    return TRUE;
}

NTSTATUS NTAPI HidP_GetCaps(PHIDP_PREPARSED_DATA data, PHIDP_CAPS caps) {
    Preparsed* p = livePreparsed(data);
    if (!p || !caps || p->model.capsQueryFails) return HIDP_STATUS_INVALID_PREPARSED_DATA;
    std::memset(caps, 0, sizeof *caps);
    caps->UsagePage = 0xFF00;
    caps->Usage = 1;
    caps->InputReportByteLength = p->model.inputLength;
    caps->OutputReportByteLength = p->model.outputLength;
    caps->FeatureReportByteLength = p->model.featureLength;
    caps->NumberInputButtonCaps = static_cast<USHORT>(idsOf(p->model, CapsKind::inputButton).size());
    caps->NumberInputValueCaps = static_cast<USHORT>(idsOf(p->model, CapsKind::inputValue).size());
    caps->NumberOutputButtonCaps = static_cast<USHORT>(idsOf(p->model, CapsKind::outputButton).size());
    caps->NumberOutputValueCaps = static_cast<USHORT>(idsOf(p->model, CapsKind::outputValue).size());
    caps->NumberFeatureButtonCaps = static_cast<USHORT>(idsOf(p->model, CapsKind::featureButton).size());
    caps->NumberFeatureValueCaps = static_cast<USHORT>(idsOf(p->model, CapsKind::featureValue).size());
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

BOOLEAN NTAPI HidD_GetNumInputBuffers(HANDLE device, PULONG count) {
    hid_device_* dev = fromHandle(device);
    if (!dev || !count) return FALSE;
    *count = dev->collection->numInputBuffers;
    return TRUE;
}

BOOLEAN NTAPI HidD_SetNumInputBuffers(HANDLE device, ULONG count) {
    hid_device_* dev = fromHandle(device);
    if (!dev || count < 2) return FALSE;
    dev->collection->numInputBuffers = count;
    return TRUE;
}

BOOLEAN NTAPI HidD_FlushQueue(HANDLE device) {
    hid_device_* dev = fromHandle(device);
    if (!dev) return FALSE;
    dev->collection->input.clear();
    ++dev->collection->flushes;
    return TRUE;
}

}  // extern "C"
