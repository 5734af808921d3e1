// Which Windows the library runs on, read from kernel32.dll's version resource (the version
// functions of the system report what the manifest allows, not what runs).
#pragma once

#include <cstdint>

namespace zol::common {

bool isWindowsVersionAtLeast(std::uint32_t major, std::uint32_t minor);

// Reads the product version (dwProductVersionMS) of a file's version resource; 0 when unreadable.
// isWindowsVersionAtLeast caches this for "kernel32.dll"; tests use it on other files.
std::uint32_t fileProductVersion(const wchar_t* fileName);
// Decides the version test against a given product version; separated so the older-system
// answer can be checked on a platform that only reports a new kernel32.dll.
bool productVersionAtLeast(std::uint32_t productVersionMS, std::uint32_t major, std::uint32_t minor);

}  // namespace zol::common
