#include "library.h"

#include <cstdio>
#include <vector>

#include "cli.h"
#include "common/system_error.h"

namespace zolctl {

Library::Library(const std::wstring& nameOrPath) {
    module_.reset(LoadLibraryExW(nameOrPath.c_str(), nullptr,
                                 nameOrPath.find_first_of(L"\\/") == std::wstring::npos ? 0 : LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!module_) {
        const DWORD error = GetLastError();
        throw CliError(kNoLibrary, "cannot load " + narrow(nameOrPath) + ": " + narrow(zol::common::systemErrorText(error)));
    }
    // zolctl is built with GCC: registry failures must reach it in the format it catches.
    if (has("_SetRegistryExceptionFormat"))
        get<decltype(&::_SetRegistryExceptionFormat)>("_SetRegistryExceptionFormat")(ZOL_REGISTRY_EXCEPTION_GCC);
}

FARPROC Library::address(const char* exportName) const {
    FARPROC p = GetProcAddress(module_.get(), exportName);
    if (!p) throw CliError(kNoLibrary, narrow(path()) + " has no export " + exportName);
    return p;
}

bool Library::has(const char* exportName) const noexcept { return GetProcAddress(module_.get(), exportName) != nullptr; }

std::wstring Library::path() const {
    std::wstring buffer(1024, L'\0');
    const DWORD n = GetModuleFileNameW(module_.get(), buffer.data(), static_cast<DWORD>(buffer.size()));
    buffer.resize(n);
    return buffer;
}

std::string Library::fileVersion() const {
    const std::wstring file = path();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
    if (size == 0) return {};
    std::vector<char> block(size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoW(file.c_str(), 0, size, block.data()) ||
        !VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info)
        return {};
    char text[64];
    std::snprintf(text, sizeof text, "%lu.%lu.%lu.%lu", static_cast<unsigned long>(HIWORD(info->dwFileVersionMS)),
                  static_cast<unsigned long>(LOWORD(info->dwFileVersionMS)),
                  static_cast<unsigned long>(HIWORD(info->dwFileVersionLS)),
                  static_cast<unsigned long>(LOWORD(info->dwFileVersionLS)));
    return text;
}

}  // namespace zolctl
