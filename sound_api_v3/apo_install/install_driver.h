// The installation driver: puts the effect on (or takes it off) every endpoint of the supported
// devices in one pass, then makes the system pick the change up: registers the effect library,
// restarts the audio service, unregisters the library after a removal.
//
// Results count changed endpoints. A failed restart of the audio service is shown to the user in
// an error message box (no owner window) and gives -5; the box's caption is the host program's
// full path, in the table pass and in the all-endpoints pass alike, so the user sees which
// program reports the failure whichever mode ran. An endpoint whose keys cannot be read is
// logged with the registry error's message and counts as not loaded (-2); other registry errors
// are not caught here.
#pragma once

#include <cstdint>
#include <string>

namespace zol::apo_install {

class DeviceAPOInfo;

// The switch: "EnableAllDev" under the product key holding exactly "true" treats every endpoint
// of the system instead of the supported devices' ones.
constexpr const wchar_t* kEnableAllDevValue = L"EnableAllDev";
constexpr const wchar_t* kAudioServiceName = L"AudioSrv";

// Per-endpoint outcomes.
constexpr std::int32_t kEndpointChanged = 1;
constexpr std::int32_t kEndpointUnchanged = 0;  // already in the wanted state
constexpr std::int32_t kNoEndpoint = -1;        // not found, or an empty id
constexpr std::int32_t kEndpointNotLoaded = -2;
// The pass's result when the audio service could not be restarted.
constexpr std::int32_t kServiceNotRestarted = -5;

bool isEnableAllDevOn();
// Restarts "AudioSrv" with its dependents; a failure is shown in an error box with this caption
// and gives false.
bool restartAudioService(const std::wstring& caption);

// The table pass: every SupportedDeviceTable entry on `flow` (USB entries also on the other flow
// when bothFlows is set; Bluetooth entries on `flow` only). Nothing changed: 0, and neither the
// effect library nor the service is touched.
std::int32_t applyEffectToSupportedDevices(std::uint8_t flow, bool install, bool bothFlows, bool honourEnableAllDev);
// Every endpoint of one USB device on one flow: the number changed, or minus the number that
// could not be treated (then the device counts for nothing).
std::int32_t applyEffectToUsbDevice(std::uint8_t flow, bool install, std::uint16_t vendorId, std::uint16_t productId);
// The one endpoint of a Bluetooth entry (current tree first, then the previous-OS tree): one
// per-endpoint outcome.
std::int32_t applyEffectToBluetoothDevice(std::uint8_t flow, bool install, std::uint32_t word0, std::uint32_t word1,
                                          std::uint32_t word2);
// Every render, then every capture endpoint of the system; restarts the service when any changed.
std::int32_t applyEffectToAllEndpoints(bool install);

}  // namespace zol::apo_install
