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

TEST(Equalizer, BandsAreTheTableWithTheGoldenCoefficientsAndZeroGainIsTheIdentity) {
    const float table[10][2] = {{30, 10},     {60, 30},     {120, 90},    {250, 170},   {500, 330},
                                {1000, 670}, {2000, 1333}, {4000, 2685}, {8000, 5333}, {16000, 10738}};
    for (const int rate : {44100, 48000, 96000}) {
        for (const int gain : {-12, -5, -1, 0, 1, 6, 12}) {
            DeviceInfo info, before;
            std::memset(&info, 0xA5, sizeof info);  // every byte the equaliser does not own is recognisable
            info.effect.sampleRate = rate;
            before = info;
            std::int8_t gains[32];
            std::memset(gains, gain, 10);  // -1 arrives as the byte 0xFF
            std::memset(gains + 10, 0x7F, 22);  // beyond the ten bands: ignored
            applyEqGains(info, gains);
            for (int k = 0; k < 10; ++k) {
                SCOPED_TRACE(testing::Message() << rate << " Hz, band " << k << ", " << gain << " dB");
                const EqBand& band = info.effect.bands[k];
                EXPECT_TRUE(band.field0 == 1 && band.field1 == 0 && band.frequency == table[k][0] &&
                            band.bandwidth == table[k][1] && band.gain == gain);
                static const std::uint32_t identity[5] = {0, 0, 0x3F800000, 0, 0};
                const std::uint32_t* want = identity;
                for (const GoldenRow& row : kGolden)
                    if (row.rate == rate && row.gain == gain && row.band == k) want = row.bits;
                ASSERT_TRUE(gain == 0 || want != identity);
                EXPECT_EQ(std::memcmp(&info.effect.coefficients[k], want, 20), 0);
            }
            // Only the bands and their coefficients, DeviceInfo bytes 67-406, change.
            const auto* a = reinterpret_cast<const unsigned char*>(&before);
            const auto* b = reinterpret_cast<const unsigned char*>(&info);
            EXPECT_EQ(std::memcmp(a, b, 67) | std::memcmp(a + 407, b + 407, sizeof info - 407), 0);
        }
    }
}

}  // namespace
