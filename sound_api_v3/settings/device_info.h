// The settings record and its blocks, as laid out in the public header (one definition for the
// library and its hosts), plus where each block lives in the registry and the shared section.
#pragma once

#include <cstdint>

#include "zol_ecd_api.h"

namespace zol::settings {

static_assert(sizeof(DeviceInfo) == 944 && sizeof(EffectBlock) == 575, "settings layout");

inline constexpr const wchar_t* kSettingsSectionName = L"Global\\{372E213D-95EA-4306-A914-F50DB21A21CE}";

inline constexpr const wchar_t* kControlValue = L"{F5530E75-A2A5-43E8-B9DF-1A1E225B5D1A}";
inline constexpr const wchar_t* kEffectValue = L"{6F8E9E8B-C370-48D3-A20E-D1CA1D61BB3C}";
inline constexpr const wchar_t* kEqGainValue = L"{983E6A3C-E1AE-49BD-9E50-8FCB108C3F8D}";

// Payload offsets (the payload starts at section byte 4).
inline constexpr std::uint32_t kControlPayloadOffset = 0;
inline constexpr std::uint32_t kEffectPayloadOffset = 32;

inline constexpr std::uint32_t kDefaultSampleRate = 48000;

}  // namespace zol::settings
