// The equaliser bit for bit against coefficients computed once, outside the library, from the
// single-precision recipe (eq_golden.py wrote eq_golden.inc).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "settings/equalizer.h"

namespace {

using namespace zol::settings;

struct GoldenRow {
    int rate;
    int gain;
    int band;
    std::uint32_t bits[5];  // a1 a2 b0 b1 b2
};
const GoldenRow kGolden[] = {
#include "eq_golden.inc"
};

const float kTable[10][2] = {{30, 10},     {60, 30},     {120, 90},    {250, 170},   {500, 330},
                             {1000, 670}, {2000, 1333}, {4000, 2685}, {8000, 5333}, {16000, 10738}};

DeviceInfo recordAt(int sampleRate) {
    DeviceInfo info;
    std::memset(&info, 0xA5, sizeof info);  // every byte the equaliser does not own is recognisable
    info.effect.sampleRate = sampleRate;
    return info;
}

std::uint32_t bitsOf(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

TEST(BuiltInBands, AreTheTableWithZeroGainAndLeadingBytesOneZero) {
    DeviceInfo info = recordAt(48000);
    const DeviceInfo before = info;
    resetEqBands(info);
    for (int k = 0; k < 10; ++k) {
        const EqBand& band = info.effect.bands[k];
        EXPECT_EQ(band.field0, 1);
        EXPECT_EQ(band.field1, 0);
        EXPECT_EQ(band.frequency, kTable[k][0]) << "band " << k;
        EXPECT_EQ(band.bandwidth, kTable[k][1]) << "band " << k;
        EXPECT_EQ(band.gain, 0.0f);
    }
    // Only DeviceInfo bytes 67-206 change.
    const auto* a = reinterpret_cast<const unsigned char*>(&before);
    const auto* b = reinterpret_cast<const unsigned char*>(&info);
    EXPECT_EQ(std::memcmp(a, b, 67), 0);
    EXPECT_EQ(std::memcmp(a + 207, b + 207, sizeof info - 207), 0);
}

TEST(ApplyEqGains, CoefficientsAreTheGoldenBitsAndZeroGainIsTheIdentity) {
    for (const int rate : {44100, 48000, 96000}) {
        for (const int gain : {-12, -5, -1, 0, 1, 6, 12}) {
            DeviceInfo info = recordAt(rate);
            std::int8_t gains[10];
            std::memset(gains, gain, sizeof gains);  // -1 arrives as the byte 0xFF
            applyEqGains(info, gains);
            for (int k = 0; k < 10; ++k) {
                SCOPED_TRACE(testing::Message() << rate << " Hz, band " << k << ", " << gain << " dB");
                EXPECT_EQ(info.effect.bands[k].gain, static_cast<float>(gain));
                const BiquadCoefficients& c = info.effect.coefficients[k];
                const std::uint32_t got[5] = {bitsOf(c.a1), bitsOf(c.a2), bitsOf(c.b0), bitsOf(c.b1), bitsOf(c.b2)};
                const std::uint32_t identity[5] = {0, 0, 0x3F800000, 0, 0};
                const std::uint32_t* want = identity;
                for (const GoldenRow& row : kGolden) {
                    if (row.rate == rate && row.gain == gain && row.band == k) want = row.bits;
                }
                ASSERT_TRUE(gain == 0 || want != identity);
                for (int i = 0; i < 5; ++i) EXPECT_EQ(got[i], want[i]) << "coefficient " << i;
            }
        }
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
