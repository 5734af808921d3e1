// The equaliser bit for bit against coefficients computed once, outside the library, from the
// single-precision recipe (eq_golden.py wrote eq_golden.inc).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "settings/equalizer.h"

namespace {

using namespace zol::settings;

const struct GoldenRow {
    int rate, gain, band;
    std::uint32_t bits[5];  // a1 a2 b0 b1 b2
} kGolden[] = {
#include "eq_golden.inc"
};

DeviceInfo recordAt(int sampleRate) {
    DeviceInfo info;
    std::memset(&info, 0xA5, sizeof info);  // every byte the equaliser does not own is recognisable
    info.effect.sampleRate = sampleRate;
    return info;
}

TEST(Equalizer, BuiltInBandsAreTheTableAndOnlyTheirBytesChange) {
    const float table[10][2] = {{30, 10},     {60, 30},     {120, 90},    {250, 170},   {500, 330},
                                {1000, 670}, {2000, 1333}, {4000, 2685}, {8000, 5333}, {16000, 10738}};
    DeviceInfo info = recordAt(48000);
    const DeviceInfo before = info;
    resetEqBands(info);
    for (int k = 0; k < 10; ++k) {
        const EqBand& band = info.effect.bands[k];
        EXPECT_TRUE(band.field0 == 1 && band.field1 == 0) << k;
        EXPECT_EQ(band.frequency, table[k][0]) << k;
        EXPECT_EQ(band.bandwidth, table[k][1]) << k;
        EXPECT_EQ(band.gain, 0.0f) << k;
    }
    const auto* a = reinterpret_cast<const unsigned char*>(&before);
    const auto* b = reinterpret_cast<const unsigned char*>(&info);
    EXPECT_EQ(std::memcmp(a, b, 67), 0);  // DeviceInfo bytes 67-206 are the bands
    EXPECT_EQ(std::memcmp(a + 207, b + 207, sizeof info - 207), 0);
}

TEST(Equalizer, CoefficientsAreTheGoldenBitsAndZeroGainIsTheIdentity) {
    for (const int rate : {44100, 48000, 96000}) {
        for (const int gain : {-12, -5, -1, 0, 1, 6, 12}) {
            DeviceInfo info = recordAt(rate);
            std::int8_t gains[10];
            std::memset(gains, gain, sizeof gains);  // -1 arrives as the byte 0xFF
            applyEqGains(info, gains);
            for (int k = 0; k < 10; ++k) {
                SCOPED_TRACE(testing::Message() << rate << " Hz, band " << k << ", " << gain << " dB");
                EXPECT_EQ(info.effect.bands[k].gain, static_cast<float>(gain));
                static const std::uint32_t identity[5] = {0, 0, 0x3F800000, 0, 0};
                const std::uint32_t* want = identity;
                for (const GoldenRow& row : kGolden)
                    if (row.rate == rate && row.gain == gain && row.band == k) want = row.bits;
                ASSERT_TRUE(gain == 0 || want != identity);
                std::uint32_t got[5];
                const BiquadCoefficients& c = info.effect.coefficients[k];
                const float values[5] = {c.a1, c.a2, c.b0, c.b1, c.b2};
                std::memcpy(got, values, sizeof got);
                EXPECT_EQ(std::memcmp(got, want, sizeof got), 0) << std::hex << got[0] << " " << want[0];
            }
        }
    }
}

// A host-written band (as property 2 leaves it) is back at the table on the next gain change;
// the gain block's tail beyond ten bands is ignored.
TEST(Equalizer, GainsRestoreTheTableAndIgnoreTheBlockTail) {
    DeviceInfo info = recordAt(48000);
    std::int8_t gains[32] = {3, 0, 0, 0, 0, 0, 0, 0, 0, -4};
    applyEqGains(info, gains);
    const DeviceInfo first = info;
    info.effect.bands[3].frequency = 777.0f;
    info.effect.bands[3].bandwidth = 1.0f;
    info.effect.bands[3].field0 = 9;
    std::memset(gains + 10, 0x7F, 22);
    applyEqGains(info, gains);
    EXPECT_EQ(std::memcmp(&first, &info, sizeof info), 0);
}

}  // namespace
