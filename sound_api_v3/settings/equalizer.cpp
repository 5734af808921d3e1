#include "settings/equalizer.h"

#include <cmath>
#include <cstring>

#include "log/debug_log.h"

namespace zol::settings {

static_assert(sizeof(kBuiltInBandTable) == 140, "ten 14-byte bands");

// field0, field1, then frequency, gain, bandwidth as little-endian f32.
const std::uint8_t kBuiltInBandTable[kBandCount * sizeof(EqBand)] = {
    0x01, 0x00, 0x00, 0x00, 0xF0, 0x41, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20, 0x41,  // 30 Hz, 10 Hz wide
    0x01, 0x00, 0x00, 0x00, 0x70, 0x42, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF0, 0x41,  // 60 Hz, 30 Hz wide
    0x01, 0x00, 0x00, 0x00, 0xF0, 0x42, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xB4, 0x42,  // 120 Hz, 90 Hz wide
    0x01, 0x00, 0x00, 0x00, 0x7A, 0x43, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x2A, 0x43,  // 250 Hz, 170 Hz wide
    0x01, 0x00, 0x00, 0x00, 0xFA, 0x43, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xA5, 0x43,  // 500 Hz, 330 Hz wide
    0x01, 0x00, 0x00, 0x00, 0x7A, 0x44, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x27, 0x44,  // 1000 Hz, 670 Hz wide
    0x01, 0x00, 0x00, 0x00, 0xFA, 0x44, 0x00, 0x00, 0x00, 0x00, 0x00, 0xA0, 0xA6, 0x44,  // 2000 Hz, 1333 Hz wide
    0x01, 0x00, 0x00, 0x00, 0x7A, 0x45, 0x00, 0x00, 0x00, 0x00, 0x00, 0xD0, 0x27, 0x45,  // 4000 Hz, 2685 Hz wide
    0x01, 0x00, 0x00, 0x00, 0xFA, 0x45, 0x00, 0x00, 0x00, 0x00, 0x00, 0xA8, 0xA6, 0x45,  // 8000 Hz, 5333 Hz wide
    0x01, 0x00, 0x00, 0x00, 0x7A, 0x46, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC8, 0x27, 0x46,  // 16000 Hz, 10738 Hz wide
};

void resetEqBands(DeviceInfo& info) {
    std::memcpy(info.effect.bands, kBuiltInBandTable, sizeof(kBuiltInBandTable));
}

bool sampleRateFits(std::int32_t sampleRate, float bandFrequency) {
    return sampleRate > 0 && sampleRate <= kMaxSampleRate && bandFrequency < static_cast<float>(sampleRate) / 2.0f;
}

void applyEqGains(DeviceInfo& info, const std::int8_t* gains) {
    resetEqBands(info);
    int flat = 0;
    for (std::size_t k = 0; k < kBandCount; ++k) {
        EqBand& band = info.effect.bands[k];
        band.gain = static_cast<float>(gains[k]);
        if (!sampleRateFits(info.effect.sampleRate, band.frequency)) {
            // The recipe would divide by zero or fold the band past half the rate: NaN or nonsense.
            info.effect.coefficients[k] = BiquadCoefficients{0.0f, 0.0f, 1.0f, 0.0f, 0.0f};
            ++flat;
            continue;
        }
        const float sampleRate = static_cast<float>(info.effect.sampleRate);
        computePeakingBiquad(info.effect.coefficients[k], band, sampleRate);
    }
    if (flat > 0)
        log::trace(L":eq: sample rate %d Hz does not fit %d of 10 bands, left flat", info.effect.sampleRate, flat);
}

void computePeakingBiquad(BiquadCoefficients& out, const EqBand& band, float sampleRate) {
    const float g = band.gain;
    const float A = static_cast<float>(std::sqrt(std::pow(10.0, static_cast<double>(g / 20.0f))));
    const float Q = band.frequency / band.bandwidth;
    const float w0 = (6.283185f * band.frequency) / sampleRate;
    const float alpha = std::sin(w0) / (2.0f * Q);
    const float a0 = 1.0f + alpha / A;
    if (g == 0.0f) {
        out.a1 = 0.0f;
        out.a2 = 0.0f;
        out.b0 = 1.0f;
        out.b1 = 0.0f;
        out.b2 = 0.0f;
        return;
    }
    const float cosTerm = -2.0f * std::cos(w0);
    out.b0 = (1.0f + alpha * A) / a0;
    out.b1 = cosTerm / a0;
    out.b2 = (1.0f - alpha * A) / a0;
    out.a1 = cosTerm / a0;
    out.a2 = (1.0f - alpha / A) / a0;
}

}  // namespace zol::settings
