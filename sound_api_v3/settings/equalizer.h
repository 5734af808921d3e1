// The graphic equaliser: ten peaking biquads at fixed bands, gains from the host.
// The arithmetic mixes single and double precision on purpose: the audio effect was tuned
// against exactly these results, so do not "improve" a constant or a precision.
#pragma once

#include <cstddef>
#include <cstdint>

#include "settings/device_info.h"

namespace zol::settings {

inline constexpr std::size_t kBandCount = 10;
// The ten built-in EqBand records exactly as they are copied (gain 0 in each).
extern const std::uint8_t kBuiltInBandTable[kBandCount * sizeof(EqBand)];

void resetEqBands(DeviceInfo& info);
// Highest sample rate the coefficients are computed for.
inline constexpr std::int32_t kMaxSampleRate = 768000;
// Whether a band can be built at the rate: 1..kMaxSampleRate Hz, the band below half the rate.
bool sampleRateFits(std::int32_t sampleRate, float bandFrequency);
// Bands back to the table, band k's gain = gains[k] dB (signed), fresh coefficients at the
// effect block's sample rate. A band the rate does not fit is a pass-through (b0 = 1, the rest 0),
// logged.
void applyEqGains(DeviceInfo& info, const std::int8_t* gains);
void computePeakingBiquad(BiquadCoefficients& out, const EqBand& band, float sampleRate);

}  // namespace zol::settings
