// A read-only view of the system's audio endpoints as the installation sees them, taken through
// the library's own catalogue and installation records (nothing is written).
#pragma once

#include <array>
#include <string>
#include <vector>

#include "cli.h"

namespace zolctl {

struct EndpointView {
    std::wstring id;
    bool capture = false;
    bool present = true;        // false: DEVICE_STATE_NOTPRESENT
    std::string unreadable;     // why the record could not be loaded (then only id/description)
    std::wstring name, description, hardwareId;
    bool isDefault = false;
    bool supported = false;     // belongs to a device of the kit's table
    bool installed = false;
    bool systemEffectsDisabled = false;
    unsigned slotStyle = 0;
    std::wstring storeVersion;  // child-effect store layout while installed
    std::array<std::wstring, 5> formerEffects;   // saved (installed) or current (not installed)
    std::array<std::wstring, 5> fxProperties;    // the slot values as they are now; "" = absent
    bool hasFxProperties = false;
};

// Every endpoint of the current tree, render first, in enumeration order.
std::vector<EndpointView> snapshotEndpoints();

Json endpointJson(const EndpointView& e);
std::string endpointText(const EndpointView& e);

// Slot names for reports ("pre-mix", "post-mix", "stream", "mode", "endpoint").
const char* slotName(size_t slot);

}  // namespace zolctl
