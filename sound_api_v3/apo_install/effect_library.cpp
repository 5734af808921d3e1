#include "apo_install/effect_library.h"

#include "common/unique_handle.h"

namespace zol::apo_install {

namespace {

using RegistrationExport = HRESULT(STDAPICALLTYPE*)();

EffectLibraryCall callRegistrationExport(const std::wstring& libraryPath, const char* exportName) {
    unique_module library(LoadLibraryExW(libraryPath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!library) return EffectLibraryCall::NotLoaded;
    auto entry = reinterpret_cast<RegistrationExport>(reinterpret_cast<void*>(GetProcAddress(library.get(), exportName)));
    if (!entry) return EffectLibraryCall::NoEntryPoint;
    return SUCCEEDED(entry()) ? EffectLibraryCall::Done : EffectLibraryCall::Failed;
}

}  // namespace

std::wstring hostExecutablePath() {
    wchar_t buffer[kHostPathCapacity] = {};
    DWORD length = GetModuleFileNameW(nullptr, buffer, kHostPathCapacity);
    if (length >= kHostPathCapacity) length = kHostPathCapacity - 1;  // truncated, as the buffer holds it
    return std::wstring(buffer, length);
}

std::wstring directoryPart(const std::wstring& path) {
    if (path.size() <= 3) return std::wstring();
    const auto separator = path.find_last_of(L"\\/");
    if (separator == std::wstring::npos) return std::wstring();
    return path.substr(0, separator);
}

std::wstring effectLibraryPath(const std::wstring& hostExecutable) {
    return directoryPart(hostExecutable) + kEffectLibraryFileName;
}

std::wstring effectLibraryPath() { return effectLibraryPath(hostExecutablePath()); }

EffectLibraryCall registerEffectLibrary(const std::wstring& libraryPath) {
    return callRegistrationExport(libraryPath, "DllRegisterServer");
}

EffectLibraryCall unregisterEffectLibrary(const std::wstring& libraryPath) {
    return callRegistrationExport(libraryPath, "DllUnregisterServer");
}

}  // namespace zol::apo_install
