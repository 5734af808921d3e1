#include "apo_install/effect_library.h"

#include "common/unique_handle.h"
#include "host_utils/host_path.h"

namespace zol::apo_install {

namespace {

using RegistrationExport = HRESULT(STDAPICALLTYPE*)();

EffectLibraryCall callRegistrationExport(const std::wstring& libraryPath, const char* exportName) {
    common::unique_module library(LoadLibraryExW(libraryPath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!library) return EffectLibraryCall::NotLoaded;
    auto entry = reinterpret_cast<RegistrationExport>(reinterpret_cast<void*>(GetProcAddress(library.get(), exportName)));
    if (!entry) return EffectLibraryCall::NoEntryPoint;
    return SUCCEEDED(entry()) ? EffectLibraryCall::Done : EffectLibraryCall::Failed;
}

}  // namespace

std::wstring effectLibraryPath(const std::wstring& hostExecutable) {
    return host_utils::directoryPart(hostExecutable) + L"\\" + kEffectLibraryFileName;
}

std::wstring effectLibraryPath() { return effectLibraryPath(host_utils::hostExecutablePath()); }

EffectLibraryCall registerEffectLibrary(const std::wstring& libraryPath) {
    return callRegistrationExport(libraryPath, "DllRegisterServer");
}

EffectLibraryCall unregisterEffectLibrary(const std::wstring& libraryPath) {
    return callRegistrationExport(libraryPath, "DllUnregisterServer");
}

}  // namespace zol::apo_install
