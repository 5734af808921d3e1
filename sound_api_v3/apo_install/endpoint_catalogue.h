// The catalogue of audio endpoints, read from the registry tree in which Windows keeps its
// multimedia devices (not through the Core Audio enumeration): which endpoints belong to a
// supported device, and what one endpoint is (names, hardware id, stream format, effects switch).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zol::apo_install {

// --- The MMDevices trees ---
constexpr const wchar_t* kCurrentTreeKey =
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\MMDevices\\Audio";
constexpr const wchar_t* kPreviousOsTreeKey =
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\MMDevices\\Audio\\PreviousOs";

// Data-flow selector: 0 render, anything else capture.
constexpr std::uint8_t kRenderFlow = 0;
constexpr std::uint8_t kCaptureFlow = 1;

std::wstring treeKeyPath(bool previousOs);
// The tree followed by "\Render" (flow 0) or "\Capture" (any other flow).
std::wstring flowKeyPath(bool previousOs, std::uint8_t flow);
std::wstring endpointKeyPath(bool previousOs, bool capture, const std::wstring& endpointId);
// The endpoint key's "Properties" (what the device says of itself) and "FxProperties" (its effect slots).
std::wstring propertiesKeyPath(const std::wstring& endpointKey);
std::wstring fxPropertiesKeyPath(const std::wstring& endpointKey);

// --- Property value names, as Windows stores them under an endpoint's "Properties" ---
namespace property {
constexpr const wchar_t* kDeviceDescription = L"{a45c254e-df1c-4efd-8020-67d146a850e0},2";  // required
constexpr const wchar_t* kEndpointName = L"{b3f8fa53-0004-438e-9003-51a46e139bfc},26";      // first choice
constexpr const wchar_t* kEndpointNameFallback = L"{b3f8fa53-0004-438e-9003-51a46e139bfc},6";
constexpr const wchar_t* kHardwareId = L"{b3f8fa53-0004-438e-9003-51a46e139bfc},39";  // first choice
constexpr const wchar_t* kHardwareIdFallback = L"{b3f8fa53-0004-438e-9003-51a46e139bfc},2";  // Bluetooth's only
constexpr const wchar_t* kDeviceFormat = L"{f19f064d-082c-4e27-bc73-6882a1bb8e4c},0";
constexpr const wchar_t* kPhysicalSpeakers = L"{1da5d803-d492-4edd-8c23-e0c0ffee7f0e},3";
constexpr const wchar_t* kSlotStyleHint = L"{b3f8fa53-0004-438e-9003-51a46e139bfc},41";  // presence only
// Under "FxProperties": system effects are off when this REG_DWORD is not 0.
constexpr const wchar_t* kDisableSystemEffects = L"{1da5d803-d492-4edd-8c23-e0c0ffee7f0e},5";
}  // namespace property

// --- Device searches ---

// One endpoint found by the USB search: previousOs is 1 for the previous-OS tree, 0 for the
// current one (the USB search only ever reports 0).
struct EndpointMatch {
    std::uint8_t previousOs = 0;
    std::wstring endpointId;
};

// Every endpoint of one USB device on one data flow of the current tree, in enumeration order:
// those whose hardware id, lower-cased, contains "vid_xxxx&pid_xxxx". A missing or empty flow key
// and endpoints without a hardware id just give fewer matches; so does an endpoint whose hardware id
// cannot be read as text (logged with the registry error's message).
std::vector<EndpointMatch> findUsbEndpoints(std::uint16_t vendorId, std::uint16_t productId, std::uint8_t flow);

// A SupportedDeviceTable entry describes a Bluetooth device when any of the top eight bits of
// its first word is set.
constexpr bool isBluetoothEntry(std::uint32_t word0) { return (word0 & 0xFF000000u) != 0; }

// The Bluetooth test: the hardware id names a Bluetooth enumerator ("BTHENUM\" or "BTHHFENUM\"),
// and the first known device whose name equals the endpoint name (cut before " Hands-Free") has
// an address inside the entry's range, both ends included.
bool matchesBluetoothDevice(std::uint32_t word0, std::uint32_t word1, std::uint32_t word2,
                            const std::wstring& hardwareId, const std::wstring& endpointName);

// The full endpoint key in the current tree (render first), or empty when it is in neither.
std::wstring getEndpointKeyPath(const std::wstring& endpointId);

// The GUID text of the default multimedia endpoint of a flow, or empty on any failure.
// COM must already be initialised on the calling thread.
std::wstring getDefaultEndpointGuid(std::uint8_t flow);

// Whether two GUID texts (any letter case) name the same GUID; false if either is not one.
bool isSameGuid(const std::wstring& first, const std::wstring& second);

// --- One endpoint's properties ---

struct DeviceFormat {
    std::uint32_t channelCount = 0;
    std::uint32_t sampleRate = 0;
    std::uint32_t channelMask = 0;
};
// The engine's device-format value: an 8-byte header, then a wave format. Shorter than 26 bytes
// gives nothing; the channel mask needs 32 bytes and the extensible format tag (0xFFFE).
DeviceFormat parseDeviceFormat(const std::vector<std::uint8_t>& value);

struct EndpointProperties {
    std::wstring endpointId;
    std::wstring deviceDescription;
    std::wstring endpointName;
    std::wstring hardwareId;
    std::uint32_t channelCount = 0;
    std::uint32_t sampleRate = 0;
    std::uint32_t channelMask = 0;
    bool systemEffectsDisabled = false;
};

// Reads what the installation record needs from the endpoint key's "Properties" and
// "FxProperties". A missing required property (description, a name, a hardware id) or a value
// of the wrong type raises RegistryException.
EndpointProperties readEndpointProperties(const std::wstring& endpointKey, const std::wstring& endpointId);

}  // namespace zol::apo_install
