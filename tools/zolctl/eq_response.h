// The equaliser as a person wants to see it: the combined magnitude response of the ten peaking
// filters whose coefficients the library computed, drawn as an SVG file or a terminal sketch.
#pragma once

#include <string>
#include <vector>

namespace zolctl {

struct Biquad {
    float a1, a2, b0, b1, b2;  // normalised by a0, stored with their own signs
};

struct EqBandView {
    int number;           // 1..10
    float centreHz;
    float gainDb;
    float bandwidthHz;
    Biquad coefficients;
};

struct EqView {
    int sampleRate = 0;
    std::vector<EqBandView> bands;
};

// Magnitude in dB of one biquad, and of the whole chain, at a frequency.
double biquadDb(const Biquad& filter, double frequencyHz, double sampleRate);
double chainDb(const EqView& eq, double frequencyHz);

struct PlotRange {
    double fMin, fMax;    // Hz, log axis
    double dbMin, dbMax;  // symmetric, a multiple of 6 dB, at least +-12
};
PlotRange plotRange(const EqView& eq);

// The peak of the chain's response over the plotted frequencies (sampled on the log axis).
struct Peak {
    double frequencyHz;
    double db;
};
Peak responsePeak(const EqView& eq);

// A complete standalone SVG document. The plot area is the rect with id "plot"; the curve is
// the polyline with id "response"; the root carries the axis ranges as data-* attributes.
std::string renderSvg(const EqView& eq, const std::string& title);

// A text sketch of `columns` x `rows` characters plus axis labels, for the terminal.
std::string renderSketch(const EqView& eq, int columns = 64, int rows = 15);

}  // namespace zolctl
