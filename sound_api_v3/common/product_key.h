// The product's own registry key: install path, effect settings, device switch.
#pragma once

namespace zol {

inline constexpr const wchar_t* kProductKey = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\ZolSoundKit";

}  // namespace zol
