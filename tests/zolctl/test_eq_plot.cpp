// The equaliser plot from the biquad coefficients as stored (a1, a2 with their own signs), and
// zolctl's JSON writer.
#include <gtest/gtest.h>

#include <cmath>

#include "cli.h"
#include "eq_response.h"

namespace {

using namespace zolctl;

// The kit's octave bands, identity filters but band 6 (1 kHz): +6 dB at 48 kHz as the library
// computes it.
EqView boost1k() {
    const float centres[] = {30, 60, 120, 250, 500, 1000, 2000, 4000, 8000, 16000};
    EqView eq;
    eq.sampleRate = 48000;
    for (int k = 0; k < 10; ++k) eq.bands.push_back({k + 1, centres[k], 0, centres[k] * 0.67f, {0, 0, 1, 0, 0}});
    eq.bands[5].coefficients = {-1.9234f, 0.9399f, 1.0299f, -1.9234f, 0.9101f};
    eq.bands[5].gainDb = 6;
    return eq;
}

TEST(EqResponse, PeakAxisAndSketchFollowTheCoefficients) {
    EqView eq = boost1k();
    for (auto [hz, db] : {std::pair{20.0, 0.0}, {1000.0, 6.0}, {15000.0, 0.0}}) EXPECT_NEAR(chainDb(eq, hz), db, 0.15) << hz;
    const Peak peak = responsePeak(eq);
    EXPECT_NEAR(peak.frequencyHz, 1000, 50);
    EXPECT_NEAR(peak.db, 6.0, 0.15);
    EXPECT_NE(renderSvg(eq, "gains <0 & 6> dB").find("gains &lt;0 &amp; 6&gt; dB"), std::string::npos);
    // Rows of the sketch: +12 dB at the top, 0 dB in the middle; +6 dB is row 4 of 15.
    const std::string sketch = renderSketch(eq, 64, 15);
    EXPECT_EQ(sketch.find("  +0 dB |"), 7 * sketch.find('\n') + 7) << sketch;
    EXPECT_EQ(sketch.find('*') / (sketch.find('\n') + 1), 4u) << sketch;
    for (auto& band : eq.bands) band.coefficients = {-1.9f, 0.95f, 0.5f, -1.9f, 0.45f};  // a deep cut everywhere
    const PlotRange range = plotRange(eq);
    EXPECT_LT(range.dbMin, -12);  // the axis grows to hold it, in steps of 6 dB
    EXPECT_EQ(std::fmod(range.dbMax, 6.0), 0.0);
}

TEST(Json, EscapesAndKeepsOrder) {
    Json j = Json::object().set("b", 1).set("a", "q\"\\\n\x01").set("list", Json::array().push(true).push(nullptr).push(0.5));
    EXPECT_EQ(j.dump(), "{\"b\":1,\"a\":\"q\\\"\\\\\\n\\u0001\",\"list\":[true,null,0.5]}");
}

}  // namespace
