// The equaliser against numbers computed independently: the worked examples, and a plain
// double-precision peaking filter for every band and gain at both common sample rates.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "settings/equalizer.h"

namespace {

using namespace zol::settings;

struct BandSpec {
    float frequency;
    float bandwidth;
};
const BandSpec kBands[10] = {{30, 10},     {60, 30},     {120, 90},    {250, 170},   {500, 330},
                             {1000, 670}, {2000, 1333}, {4000, 2685}, {8000, 5333}, {16000, 10738}};

DeviceInfo recordAt(int sampleRate) {
    DeviceInfo info;
    std::memset(&info, 0xA5, sizeof info);  // every byte the equaliser does not own is recognisable
    info.effect.sampleRate = sampleRate;
    return info;
}

TEST(BuiltInBands, AreTheTableWithZeroGainAndLeadingBytesOneZero) {
    DeviceInfo info = recordAt(48000);
    const DeviceInfo before = info;
    resetEqBands(info);
    for (int k = 0; k < 10; ++k) {
        const EqBand& band = info.effect.bands[k];
        EXPECT_EQ(band.field0, 1);
        EXPECT_EQ(band.field1, 0);
        EXPECT_EQ(band.frequency, kBands[k].frequency) << "band " << k;
        EXPECT_EQ(band.bandwidth, kBands[k].bandwidth) << "band " << k;
        EXPECT_EQ(band.gain, 0.0f);
    }
    // Only DeviceInfo bytes 67-206 change.
    const auto* a = reinterpret_cast<const unsigned char*>(&before);
    const auto* b = reinterpret_cast<const unsigned char*>(&info);
    EXPECT_EQ(std::memcmp(a, b, 67), 0);
    EXPECT_EQ(std::memcmp(a + 207, b + 207, sizeof info - 207), 0);
}

TEST(ApplyEqGains, MatchesTheWorkedExamples) {
    DeviceInfo info = recordAt(48000);
    std::int8_t gains[10] = {};
    gains[5] = 6;    // 1 kHz
    gains[0] = -12;  // 30 Hz
    applyEqGains(info, gains);
    const struct {
        int band;
        double a1, a2, b0, b1, b2;
    } examples[] = {{5, -1.9234, 0.9399, 1.0299, -1.9234, 0.9101}, {0, -1.9974, 0.9974, 0.9990, -1.9974, 0.9984}};
    for (const auto& e : examples) {
        const BiquadCoefficients& k = info.effect.coefficients[e.band];
        EXPECT_NEAR(k.a1, e.a1, 5e-5);
        EXPECT_NEAR(k.a2, e.a2, 5e-5);
        EXPECT_NEAR(k.b0, e.b0, 5e-5);
        EXPECT_NEAR(k.b1, e.b1, 5e-5);
        EXPECT_NEAR(k.b2, e.b2, 5e-5);
    }
    EXPECT_EQ(info.effect.bands[5].gain, 6.0f);
    EXPECT_EQ(info.effect.bands[0].gain, -12.0f);
}

// The textbook peaking filter in double precision with an exact 2*pi.
struct Reference {
    double a1, a2, b0, b1, b2;
};
Reference referencePeaking(double frequency, double bandwidth, double gainDb, double sampleRate) {
    const double A = std::pow(10.0, gainDb / 40.0);
    const double w0 = 2.0 * 3.14159265358979323846 * frequency / sampleRate;
    const double alpha = std::sin(w0) / (2.0 * (frequency / bandwidth));
    const double a0 = 1.0 + alpha / A;
    return {-2.0 * std::cos(w0) / a0, (1.0 - alpha / A) / a0, (1.0 + alpha * A) / a0, -2.0 * std::cos(w0) / a0,
            (1.0 - alpha * A) / a0};
}

// Each coefficient is a short chain of single-precision steps (w0, sin/cos, alpha, a0, one
// quotient): about six roundings of half an ulp each plus the sine's own error, and the
// 6.283185 constant (a relative 5e-8 off 2*pi). The coefficients are at most 2 in magnitude,
// where an ulp is 2.4e-7: eight ulps of 2, 2e-6, bounds all of it with room to spare, while a
// wrong formula, constant or sign (or a double-only computation turned float-only in the
// wrong place) is off by far more.
constexpr double kTolerance = 2e-6;

TEST(ApplyEqGains, AgreesWithADoublePrecisionReferenceForEveryBandAndGain) {
    for (const int rate : {44100, 48000}) {
        for (int gain = -12; gain <= 12; ++gain) {
            DeviceInfo info = recordAt(rate);
            std::int8_t gains[10];
            std::memset(gains, gain, sizeof gains);
            applyEqGains(info, gains);
            for (int k = 0; k < 10; ++k) {
                const BiquadCoefficients& c = info.effect.coefficients[k];
                SCOPED_TRACE(testing::Message() << rate << " Hz, band " << k << ", " << gain << " dB");
                EXPECT_EQ(info.effect.bands[k].gain, static_cast<float>(gain));
                if (gain == 0) {  // exactly the identity filter
                    EXPECT_EQ((std::vector<float>{c.a1, c.a2, c.b0, c.b1, c.b2}), (std::vector<float>{0, 0, 1, 0, 0}));
                    continue;
                }
                const Reference r = referencePeaking(kBands[k].frequency, kBands[k].bandwidth, gain, rate);
                EXPECT_NEAR(c.a1, r.a1, kTolerance);
                EXPECT_NEAR(c.a2, r.a2, kTolerance);
                EXPECT_NEAR(c.b0, r.b0, kTolerance);
                EXPECT_NEAR(c.b1, r.b1, kTolerance);
                EXPECT_NEAR(c.b2, r.b2, kTolerance);
                EXPECT_EQ(c.b1, c.a1);
            }
        }
    }
}

TEST(ApplyEqGains, ReadsGainBytesAsSigned) {
    DeviceInfo info = recordAt(48000);
    std::int8_t gains[10] = {};
    std::memset(gains, 0xFF, sizeof gains);
    applyEqGains(info, gains);
    for (int k = 0; k < 10; ++k) {
        EXPECT_EQ(info.effect.bands[k].gain, -1.0f);
        const Reference r = referencePeaking(kBands[k].frequency, kBands[k].bandwidth, -1.0, 48000);
        EXPECT_NEAR(info.effect.coefficients[k].b0, r.b0, kTolerance);
    }
}

TEST(ApplyEqGains, RestoresTheTableAndIgnoresTheGainBlockTail) {
    DeviceInfo info = recordAt(48000);
    std::int8_t gains[32] = {3, 0, 0, 0, 0, 0, 0, 0, 0, -4};
    applyEqGains(info, gains);
    const DeviceInfo first = info;

    // A host-written band (as property 2 would leave it) is back at the table on the next change.
    info.effect.bands[3].frequency = 777.0f;
    info.effect.bands[3].bandwidth = 1.0f;
    info.effect.bands[3].field0 = 9;
    std::memset(gains + 10, 0x7F, 22);
    applyEqGains(info, gains);
    EXPECT_EQ(std::memcmp(&first, &info, sizeof info), 0);
}

}  // namespace
