// The equaliser plot: the response is computed from the biquad coefficients as stored (a1, a2
// with their own signs), and the plot peaks where the boost is.
#include <gtest/gtest.h>

#include <cmath>

#include "cli.h"
#include "eq_response.h"

namespace {

using namespace zolctl;

// Octave bands of the kit's table, identity filters (gain 0).
EqView flatEq(int sampleRate = 48000) {
    const float centres[] = {30, 60, 120, 250, 500, 1000, 2000, 4000, 8000, 16000};
    const float widths[] = {10, 30, 90, 170, 330, 670, 1333, 2685, 5333, 10738};
    EqView eq;
    eq.sampleRate = sampleRate;
    for (int k = 0; k < 10; ++k) eq.bands.push_back({k + 1, centres[k], 0, widths[k], {0, 0, 1, 0, 0}});
    return eq;
}

// Band 6 (1 kHz) at +6 dB, 48 kHz, as the library's equaliser computes it.
const Biquad kBoost1k = {-1.9234f, 0.9399f, 1.0299f, -1.9234f, 0.9101f};

TEST(EqResponse, IdentityIsFlatAndAPeakReachesItsGainAtTheCentreOnly) {
    EqView eq = flatEq();
    for (double f : {20.0, 1000.0, 19000.0}) EXPECT_NEAR(chainDb(eq, f), 0.0, 1e-9);
    EXPECT_NEAR(biquadDb(kBoost1k, 1000, 48000), 6.0, 0.15);
    EXPECT_NEAR(biquadDb(kBoost1k, 100, 48000), 0.0, 0.2);
    EXPECT_NEAR(biquadDb(kBoost1k, 15000, 48000), 0.0, 0.2);
    eq.bands[5].coefficients = kBoost1k;
    eq.bands[5].gainDb = 6;
    EXPECT_NEAR(chainDb(eq, 1000), 6.0, 0.15);
}

TEST(EqResponse, PeakAndScaleFollowTheCoefficients) {
    EqView eq = flatEq();
    eq.bands[5].coefficients = kBoost1k;
    eq.bands[5].gainDb = 6;
    const Peak peak = responsePeak(eq);
    EXPECT_NEAR(peak.frequencyHz, 1000, 50);
    EXPECT_NEAR(peak.db, 6.0, 0.15);
    const std::string svg = renderSvg(eq, "gains <0 & 6> dB");
    EXPECT_NE(svg.find("data-sample-rate=\"48000\""), std::string::npos);
    EXPECT_NE(svg.find("gains &lt;0 &amp; 6&gt; dB"), std::string::npos) << "the title is escaped";

    for (auto& band : eq.bands) {  // an extreme cut on every band: the axis must grow to hold it
        band.gainDb = -20;
        band.coefficients = {-1.9f, 0.95f, 0.5f, -1.9f, 0.45f};
    }
    const PlotRange range = plotRange(eq);
    EXPECT_LT(range.dbMin, -12);
    EXPECT_EQ(std::fmod(range.dbMax, 6.0), 0.0);
}

TEST(EqResponse, SketchShowsTheBoostAboveTheZeroLine) {
    EqView eq = flatEq();
    eq.bands[5].coefficients = kBoost1k;
    eq.bands[5].gainDb = 6;
    const std::string sketch = renderSketch(eq, 64, 15);
    // Rows: +12 dB at the top, 0 dB in the middle; the boost's '*' sits above the middle row.
    std::vector<std::string> rows;
    size_t start = 0;
    for (size_t end; (end = sketch.find('\n', start)) != std::string::npos; start = end + 1)
        rows.push_back(sketch.substr(start, end - start));
    ASSERT_GE(rows.size(), 17u);
    EXPECT_EQ(rows[7].rfind("  +0 dB |", 0), 0u) << rows[7];
    size_t starRow = 99;
    for (size_t r = 0; r < 15 && starRow == 99; ++r)
        if (rows[r].find('*') != std::string::npos) starRow = r;
    EXPECT_EQ(starRow, 4u) << sketch;  // +6 dB of a +-12 dB scale over 15 rows
    EXPECT_NE(rows.back().find("1k"), std::string::npos);
}

TEST(Json, EscapesAndKeepsOrder) {
    Json j = Json::object().set("b", 1).set("a", "q\"\\\n\x01").set("list", Json::array().push(true).push(nullptr).push(0.5));
    EXPECT_EQ(j.dump(), "{\"b\":1,\"a\":\"q\\\"\\\\\\n\\u0001\",\"list\":[true,null,0.5]}");
}

}  // namespace
