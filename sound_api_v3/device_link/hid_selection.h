// Choice of a HID interface of a composite device by interface number, collection or report id.
#pragma once

#include <windows.h>

#include <string>

namespace zol::device_link {

// Whether the device's report descriptor declares the report id (0: always true). Capability
// report ids are 8-bit, so an id above 255 is never declared.
bool deviceHasReportId(HANDLE device, unsigned short reportId);

// Path markers: "mi_" / "col" and at least two lower-case hex digits.
std::string interfaceMarker(unsigned short interfaceNumber);
std::string collectionMarker(unsigned short collection);

}  // namespace zol::device_link
