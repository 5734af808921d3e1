// The effect library "ZolSoundAPO.dll" as this library sees it: where it lies (beside the host
// executable) and its two registration calls, made in process. One place for both the install
// driver (registers, result not examined) and the removal entry (unregisters, result decides).
#pragma once

#include <windows.h>

#include <string>

namespace zol::apo_install {

constexpr const wchar_t* kEffectLibraryFileName = L"\\ZolSoundAPO.dll";
constexpr DWORD kHostPathCapacity = 1024;

// Full path of the host process's executable (GetModuleFileNameW of no module, 1024 characters).
std::wstring hostExecutablePath();
// Everything before the last "\" or "/"; empty for a path of 3 characters or fewer, for a path
// without a separator, or when the separator is the first character.
std::wstring directoryPart(const std::wstring& path);
// directoryPart(hostExecutable) + "\ZolSoundAPO.dll".
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
