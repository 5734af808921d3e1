#include "host_utils/host_path.h"

#include <windows.h>

#include <cwchar>
#include <iterator>

namespace zol::host_utils {

std::wstring directoryPart(std::wstring_view path) {
    if (path.size() <= 3) return {};
    const auto separator = path.find_last_of(L"\\/");
    if (separator == std::wstring_view::npos || separator == 0) return {};
    return std::wstring(path.substr(0, separator));
}

std::wstring hostExecutablePath() {
    wchar_t buffer[1024];
    const DWORD length = GetModuleFileNameW(nullptr, buffer, static_cast<DWORD>(std::size(buffer)));
    // A cut path comes back with the full buffer length, its last character the terminator.
    return std::wstring(buffer, length == 0 ? 0 : wcsnlen(buffer, length));
}

std::wstring hostExecutableDirectory() { return directoryPart(hostExecutablePath()); }

}  // namespace zol::host_utils
