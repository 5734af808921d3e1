// zol_ecd_api.dll as the kit's host sees it: loaded by name, every export looked up with
// GetProcAddress when a command first needs it, so a library without some export still serves
// the commands that do not use it.
#pragma once

#include <windows.h>

#include <string>

#include "common/unique_handle.h"
#include "zol_ecd_api.h"

#include <hidapi.h>

namespace zolctl {

// Export signatures as the host calls them: taken from the public header wherever it has them.
namespace exports {
using Init = decltype(&::init);
using UnInit = decltype(&::unInit);
using GetDeviceCount = decltype(&::getDeviceCount);
using GetDeviceInfo = decltype(&::getDeviceInfo);
using SetDeviceProperty = decltype(&::setDeviceProperty);
using ReleaseDeviceInfo = decltype(&::releaseDeviceInfo);
using SetMasterMute = decltype(&::_SetMasterMute);
using GetMasterMute = decltype(&::_GetMasterMute);
using SetVolum = decltype(&::_SetVolum);
using GetVolum = decltype(&::_getVolum);
using IsRunningAsAdmin = decltype(&::_IsRunningAsAdmin);
using HidEnumIntfRptid = decltype(&::hid_enum_intf_rptid);
using HidInit = decltype(&::hid_init);
using HidError = decltype(&::hid_error);
using HidEnumerate = decltype(&::hid_enumerate);
using HidFreeEnumeration = decltype(&::hid_free_enumeration);
using FwProgress = zol_fw_progress_fn;
using UpdateFw = zol_update_7420_fw_fn;

constexpr const char* kDbgName = ZOL_DBG_EXPORT_NAME;
constexpr const char* kDbgwName = ZOL_DBGW_EXPORT_NAME;
constexpr const char* kUpdateFwName = ZOL_UPDATE_7420_FW_EXPORT_NAME;
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

    zol::common::unique_module module_;
};

}  // namespace zolctl
