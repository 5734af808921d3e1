// zol_ecd_api.dll as the kit's host sees it: loaded by name, every export looked up with
// GetProcAddress when a command first needs it, so a library without some export still serves
// the commands that do not use it.
#pragma once

#include <windows.h>

#include <string>

#include "common/unique_handle.h"
#include "zol_ecd_api.h"

namespace zolctl {

// Export signatures as the host calls them: taken from the public header wherever it has them.
namespace exports {
using Init = int(__cdecl*)();
using UnInit = int(__cdecl*)();
using GetDeviceCount = int(__cdecl*)();
using GetDeviceInfo = decltype(&::getDeviceInfo);
using SetDeviceProperty = decltype(&::setDeviceProperty);
using ReleaseDeviceInfo = decltype(&::releaseDeviceInfo);
using SetMasterMute = decltype(&::_SetMasterMute);
using GetMasterMute = decltype(&::_GetMasterMute);
using SetVolum = decltype(&::_SetVolum);
using GetVolum = decltype(&::_getVolum);
using IsRunningAsAdmin = decltype(&::_IsRunningAsAdmin);
using HidEnumCallback = int(__cdecl*)(void* context, const char* path);
using HidEnumIntfRptid = void(__cdecl*)(unsigned short vid, unsigned short pid, unsigned short intf,
                                        unsigned short reportId, HidEnumCallback callback, void* context);
using FwProgress = int(__cdecl*)(void* context, int value, int stage);
using UpdateFw = int(__cdecl*)(void* progress, void* context, void* image, int length, int startParameter);
using Dbgw = void(__cdecl*)(const wchar_t* format, ...);

constexpr char kDbgName[] = "?_dbg@@YAXPEBDZZ";
constexpr char kDbgwName[] = "?_dbgw@@YAXPEB_WZZ";
constexpr char kUpdateFwName[] = "?_update_7420_fw@@YAHPEAX00HH@Z";
}  // namespace exports

class Library {
public:
    // Loads the DLL by name (the search finds the copy beside zolctl.exe first) or by path.
    explicit Library(const std::wstring& nameOrPath);

    template <typename Fn>
    Fn get(const char* exportName) const {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(address(exportName)));
    }
    bool has(const char* exportName) const noexcept;

    std::wstring path() const;
    std::string fileVersion() const;  // "3.0.0.0" from the version resource, or ""

private:
    FARPROC address(const char* exportName) const;  // throws CliError(kNoLibrary)

    zol::unique_module module_;
};

}  // namespace zolctl
