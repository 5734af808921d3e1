#include "common/windows_version.h"

#include <windows.h>

#include <atomic>
#include <vector>

namespace zol::common {

std::uint32_t fileProductVersion(const wchar_t* fileName) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(fileName, &ignored);
    if (size == 0) return 0;
    std::vector<std::uint8_t> block(size);
    if (!GetFileVersionInfoW(fileName, 0, size, block.data())) return 0;
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &length) || info == nullptr ||
        length < sizeof(VS_FIXEDFILEINFO))
        return 0;
    return info->dwProductVersionMS;
}

bool productVersionAtLeast(std::uint32_t productVersionMS, std::uint32_t major, std::uint32_t minor) {
    return productVersionMS >= major * 65536u + minor;
}

bool isWindowsVersionAtLeast(std::uint32_t major, std::uint32_t minor) {
    static std::atomic<std::uint32_t> cachedVersion{0};
    if (cachedVersion.load() == 0) cachedVersion.store(fileProductVersion(L"kernel32.dll"));
    return productVersionAtLeast(cachedVersion.load(), major, minor);
}

}  // namespace zol::common
