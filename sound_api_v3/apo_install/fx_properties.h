// The FxProperties edit of one endpoint: the values it writes besides the five effect slots, the
// choice of the former effects the installed effect wraps, and the system-effects switch.
// install, uninstall and reinstall themselves are operations of DeviceAPOInfo (apo_info.h).
#pragma once

#include <array>
#include <string>
#include <utility>

#include "apo_install/apo_info.h"

namespace zol::apo_install {

// --- Values of "FxProperties" besides the FxSlot values ---
// Display name of an "FxProperties" that install had to create.
constexpr const wchar_t* kFxItemNameDisplay = L"{b725f130-47ef-101a-a5f1-02608c9eebac},10";
constexpr const wchar_t* kFxItemNameDisplayText = L"ZolSound Kit";
// Processing modes the stream (all endpoints) and endpoint (render) effects support.
constexpr const wchar_t* kStreamProcessingModes = L"{d3993a3f-99c2-4402-b5ec-a92a0367664b},5";
constexpr const wchar_t* kEndpointProcessingModes = L"{d3993a3f-99c2-4402-b5ec-a92a0367664b},7";
// AUDIO_SIGNALPROCESSINGMODE_DEFAULT: the one mode listed; also what a capture endpoint's
// endpoint slot holds, since no endpoint effect runs there.
constexpr const wchar_t* kDefaultProcessingMode = L"{C18E2F7E-933D-4965-B7D1-1EEF228D2AF3}";

// Device interface path of a capture endpoint, in its "Properties" (written when absent).
constexpr const wchar_t* kDeviceInterfacePathProperty = L"{9c119480-ddc2-4954-a150-5bd240d454ad},1";
std::wstring captureDeviceInterfacePath(const std::wstring& endpointId);

// The former effects that the installed effect runs as its pre-mix and post-mix children, taken
// from the saved registrations by the options' slot style; markers become empty. The Windows
// version (6.3 or later) is a parameter so that the older systems' choice stays checkable.
std::pair<std::wstring, std::wstring> chooseChildren(const std::array<std::wstring, kFxSlotCount>& orgGuid,
                                                     const InstallOptions& options, bool windows81OrLater);

// Writes PKEY_AudioEndpoint_Disable_SysFx = 0 into the endpoint's "FxProperties" (current tree,
// render first), leaving its effects switched on. An id in neither flow key is left alone; a
// failed write (for instance an endpoint without "FxProperties") raises RegistryException.
void enableSystemEffects(const std::wstring& endpointId);

}  // namespace zol::apo_install
