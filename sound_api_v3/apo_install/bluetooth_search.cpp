#include "apo_install/bluetooth_search.h"

#include <windows.h>

#include <bluetoothapis.h>

#include <cwchar>
#include <utility>

#include "common/unique_handle.h"

namespace zol::apo_install {
namespace {

struct bluetooth_find_traits {
    using pointer = HBLUETOOTH_DEVICE_FIND;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { ::BluetoothFindDeviceClose(h); }
};
using unique_bluetooth_find = common::unique_handle<bluetooth_find_traits>;

BluetoothDeviceSearch& replacementSearch() {
    static BluetoothDeviceSearch search;
    return search;
}

}  // namespace

void searchSystemBluetoothDevices(const BluetoothDeviceVisitor& visit) {
    BLUETOOTH_DEVICE_SEARCH_PARAMS parameters{};
    parameters.dwSize = sizeof parameters;
    parameters.fReturnAuthenticated = TRUE;
    parameters.fReturnRemembered = TRUE;
    parameters.fReturnUnknown = TRUE;
    parameters.fReturnConnected = TRUE;
    parameters.fIssueInquiry = FALSE;
    parameters.cTimeoutMultiplier = 4;
    parameters.hRadio = nullptr;
    BLUETOOTH_DEVICE_INFO device{};
    device.dwSize = sizeof device;

    unique_bluetooth_find search(BluetoothFindFirstDevice(&parameters, &device));
    if (!search) return;
    do {
        if (visit(std::wstring(device.szName, wcsnlen(device.szName, BLUETOOTH_MAX_NAME_SIZE)), device.Address.ullLong)) return;
        device = BLUETOOTH_DEVICE_INFO{};
        device.dwSize = sizeof device;
    } while (BluetoothFindNextDevice(search.get(), &device));
}

void searchBluetoothDevices(const BluetoothDeviceVisitor& visit) {
    if (replacementSearch())
        replacementSearch()(visit);
    else
        searchSystemBluetoothDevices(visit);
}

BluetoothDeviceSearch exchangeBluetoothDeviceSearch(BluetoothDeviceSearch replacement) {
    return std::exchange(replacementSearch(), std::move(replacement));
}

}  // namespace zol::apo_install
