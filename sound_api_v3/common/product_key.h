// The product's own registry key: install path, effect settings, device switch.
#pragma once

namespace zol::common {

inline constexpr const wchar_t* kProductKey = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\ZolSoundKit";
// The host's directory, recorded by init and read by whatever starts the kit's programs.
inline constexpr const wchar_t* kInstallPathValue = L"InstallPath";

}  // namespace zol::common
