// GUIDs in registry form: "{372E213D-95EA-4306-A914-F50DB21A21CE}".
#pragma once

#include <windows.h>

#include <string>

namespace zol::common {

// Upper-case hex in braces, as the system writes CLSIDs; formatted here, so it cannot fail.
std::wstring guidToString(const GUID& guid);

}  // namespace zol::common
