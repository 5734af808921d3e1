// Text of a Win32 error code, for the messages the library logs and raises.
#pragma once

#include <windows.h>

#include <string>

namespace zol::common {

// The system's message for `code` without its trailing line break; empty when there is none.
std::wstring systemErrorText(DWORD code);

}  // namespace zol::common
