#include "device_link/supported_devices.h"

namespace zol::device_link {
namespace {

// The kit's headsets: one vendor, six products, all on HID interface 3 with report id 6.
constexpr SupportedDevice kBuiltInTable[] = {
    {0x0A1B, 0x00C2, 0x00060003}, {0x0A1B, 0x00C3, 0x00060003}, {0x0A1B, 0x00C4, 0x00060003},
    {0x0A1B, 0x00D0, 0x00060003}, {0x0A1B, 0x00D1, 0x00060003}, {0x0A1B, 0x00D2, 0x00060003},
};

const SupportedDevice* gEntries = kBuiltInTable;
std::size_t gCount = sizeof(kBuiltInTable) / sizeof(kBuiltInTable[0]);

}  // namespace

std::size_t supportedDeviceCount() { return gCount; }

SupportedDevice supportedDevice(std::size_t index) { return gEntries[index]; }

ScopedSupportedDeviceTable::ScopedSupportedDeviceTable(const SupportedDevice* entries, std::size_t count)
    : previousEntries_(gEntries), previousCount_(gCount) {
    gEntries = entries;
    gCount = count;
}

ScopedSupportedDeviceTable::~ScopedSupportedDeviceTable() {
    gEntries = previousEntries_;
    gCount = previousCount_;
}

}  // namespace zol::device_link
