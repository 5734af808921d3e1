// The search over paired and known Bluetooth devices, as the endpoint catalogue needs it: names
// and addresses, in the order the system reports them. The shipped search asks bthprops; tests
// put a list of their own in its place, since a test machine has no radio.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace zol::apo_install {

// Called once per device; returns true to end the search early.
using BluetoothDeviceVisitor = std::function<bool(const std::wstring& name, std::uint64_t address)>;
using BluetoothDeviceSearch = std::function<void(const BluetoothDeviceVisitor&)>;

// The system search (BluetoothFindFirstDevice / BluetoothFindNextDevice): authenticated,
// remembered, unknown and connected devices, no new inquiry, any radio. No radio or no device
// simply visits nothing.
void searchSystemBluetoothDevices(const BluetoothDeviceVisitor& visit);

// Runs the search in force: the system search unless a replacement was installed.
void searchBluetoothDevices(const BluetoothDeviceVisitor& visit);

// Installs a replacement search (an empty one restores the system search) and returns the one
// it replaces. For tests; the library itself never calls it.
BluetoothDeviceSearch exchangeBluetoothDeviceSearch(BluetoothDeviceSearch replacement);

}  // namespace zol::apo_install
