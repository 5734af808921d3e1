// The devices the kit supports: the one list read by the device count, the installation driver
// and the firmware update.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zol::device_link {

// Three words: USB vendor id, USB product id, and the HID interface number (low 16 bits) with the
// report id (high 16 bits). An entry whose word 0 has any of its top eight bits set describes a
// Bluetooth device; its words are then the device's Bluetooth address range.
struct SupportedDevice {
    std::uint32_t word0;
    std::uint32_t word1;
    std::uint32_t word2;

    bool isBluetooth() const { return (word0 & 0xFF000000u) != 0; }
    std::uint16_t vendorId() const { return static_cast<std::uint16_t>(word0); }
    std::uint16_t productId() const { return static_cast<std::uint16_t>(word1); }
    std::uint16_t interfaceNumber() const { return static_cast<std::uint16_t>(word2 & 0xFFFF); }
    std::uint16_t reportId() const { return static_cast<std::uint16_t>(word2 >> 16); }
};

// Readers of the table use these two operations only.
std::size_t supportedDeviceCount();
SupportedDevice supportedDevice(std::size_t index);  // index < supportedDeviceCount()

// Test seam: while an override is installed, the two readers above answer from it instead of
// the built-in list. Tests install one with ScopedSupportedDeviceTable (never the shipped code).
class ScopedSupportedDeviceTable {
public:
    ScopedSupportedDeviceTable(const SupportedDevice* entries, std::size_t count);
    ~ScopedSupportedDeviceTable();
    ScopedSupportedDeviceTable(const ScopedSupportedDeviceTable&) = delete;
    ScopedSupportedDeviceTable& operator=(const ScopedSupportedDeviceTable&) = delete;

private:
    const SupportedDevice* previousEntries_;
    std::size_t previousCount_;
};

}  // namespace zol::device_link
