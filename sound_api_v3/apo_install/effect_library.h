// The effect library "ZolSoundAPO.dll" as this library sees it: where it lies (beside the host
// executable) and its two registration calls, made in process. One place for both the install
// driver (registers, result not examined) and the removal entry (unregisters, result decides).
#pragma once

#include <windows.h>

#include <string>

namespace zol::apo_install {

constexpr const wchar_t* kEffectLibraryFileName = L"ZolSoundAPO.dll";

// The directory of the host executable (see host_utils/host_path.h) + "\ZolSoundAPO.dll".
std::wstring effectLibraryPath(const std::wstring& hostExecutable);
std::wstring effectLibraryPath();

enum class EffectLibraryCall {
    NotLoaded,     // LoadLibraryExW failed (missing file, not a DLL, ...)
    NoEntryPoint,  // loaded, but the export is absent
    Failed,        // the export returned a negative HRESULT
    Done,          // the export returned a non-negative HRESULT
};

// Loads the library with LOAD_WITH_ALTERED_SEARCH_PATH (so its own dependencies are found
// beside it), calls "DllRegisterServer" / "DllUnregisterServer" and frees it again.
EffectLibraryCall registerEffectLibrary(const std::wstring& libraryPath);
EffectLibraryCall unregisterEffectLibrary(const std::wstring& libraryPath);

}  // namespace zol::apo_install
