#include "eq_response.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>

namespace zolctl {
namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr int kCurvePoints = 400;

double logPosition(double f, const PlotRange& r) { return std::log(f / r.fMin) / std::log(r.fMax / r.fMin); }
double frequencyAt(double position, const PlotRange& r) { return r.fMin * std::pow(r.fMax / r.fMin, position); }

std::string formatHz(double f) {
    char text[32];
    if (f >= 1000)
        std::snprintf(text, sizeof text, f >= 10000 || std::fmod(f, 1000) == 0 ? "%.0fk" : "%.1fk", f / 1000);
    else
        std::snprintf(text, sizeof text, "%.0f", f);
    return text;
}

std::string escapeXml(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}
}  // namespace

double biquadDb(const Biquad& q, double frequencyHz, double sampleRate) {
    const double w = 2 * kPi * frequencyHz / sampleRate;
    const std::complex<double> z1 = std::polar(1.0, -w), z2 = std::polar(1.0, -2 * w);
    const std::complex<double> num = double(q.b0) + double(q.b1) * z1 + double(q.b2) * z2;
    const std::complex<double> den = 1.0 + double(q.a1) * z1 + double(q.a2) * z2;
    const double magnitude = std::abs(num) / std::abs(den);
    return 20 * std::log10(std::max(magnitude, 1e-12));
}

double chainDb(const EqView& eq, double frequencyHz) {
    double sum = 0;
    for (const EqBandView& band : eq.bands) sum += biquadDb(band.coefficients, frequencyHz, eq.sampleRate);
    return sum;
}

PlotRange plotRange(const EqView& eq) {
    PlotRange r{20, std::min(20000.0, eq.sampleRate / 2.0 * 0.98), -12, 12};
    if (r.fMax <= r.fMin * 2) r.fMax = r.fMin * 2;
    double extreme = 0;
    for (int i = 0; i <= kCurvePoints; ++i)
        extreme = std::max(extreme, std::fabs(chainDb(eq, frequencyAt(double(i) / kCurvePoints, r))));
    for (const EqBandView& band : eq.bands) extreme = std::max(extreme, double(std::fabs(band.gainDb)));
    const double limit = std::max(12.0, std::ceil(extreme / 6.0) * 6.0);
    r.dbMin = -limit;
    r.dbMax = limit;
    return r;
}

Peak responsePeak(const EqView& eq) {
    const PlotRange r = plotRange(eq);
    Peak peak{r.fMin, -1e9};
    for (int i = 0; i <= kCurvePoints * 4; ++i) {
        const double f = frequencyAt(double(i) / (kCurvePoints * 4), r);
        const double db = chainDb(eq, f);
        if (db > peak.db) peak = {f, db};
    }
    return peak;
}

std::string renderSvg(const EqView& eq, const std::string& title) {
    const PlotRange r = plotRange(eq);
    const double width = 840, height = 400, left = 64, right = 816, top = 48, bottom = 352;
    auto x = [&](double f) { return left + (right - left) * logPosition(f, r); };
    auto y = [&](double db) { return bottom - (bottom - top) * (db - r.dbMin) / (r.dbMax - r.dbMin); };
    char buf[512];
    std::string svg;
    auto add = [&](const char* format, auto... args) {
        std::snprintf(buf, sizeof buf, format, args...);
        svg += buf;
    };

    add("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    add("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" viewBox=\"0 0 %.0f %.0f\" "
        "data-f-min=\"%g\" data-f-max=\"%g\" data-db-min=\"%g\" data-db-max=\"%g\" data-sample-rate=\"%d\">\n",
        width, height, width, height, r.fMin, r.fMax, r.dbMin, r.dbMax, eq.sampleRate);
    add("<rect width=\"100%%\" height=\"100%%\" fill=\"#ffffff\"/>\n");
    svg += "<text x=\"" + std::to_string(int(left)) + "\" y=\"28\" font-family=\"sans-serif\" font-size=\"16\">" +
           escapeXml(title) + "</text>\n";
    add("<rect id=\"plot\" x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"#f8f9fb\" stroke=\"#888888\"/>\n",
        left, top, right - left, bottom - top);

    svg += "<g id=\"grid\" stroke=\"#d0d4da\" stroke-width=\"1\" font-family=\"sans-serif\" font-size=\"11\" fill=\"#444444\">\n";
    for (double decade = 10; decade <= r.fMax; decade *= 10)
        for (int m = 1; m < 10; ++m) {
            const double f = decade * m;
            if (f < r.fMin || f > r.fMax) continue;
            add("<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\"/>\n", x(f), top, x(f), bottom);
            if (m == 1 || m == 2 || m == 5)
                add("<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\" stroke=\"none\">%s</text>\n", x(f), bottom + 16,
                    formatHz(f).c_str());
        }
    for (double db = r.dbMin; db <= r.dbMax + 1e-9; db += 6) {
        add("<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\"%s/>\n", left, y(db), right, y(db),
            db == 0 ? " stroke=\"#909090\"" : "");
        add("<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"end\" stroke=\"none\">%s dB</text>\n", left - 6, y(db) + 4,
            db == 0 ? "0" : (db > 0 ? "+" + std::to_string(int(db)) : std::to_string(int(db))).c_str());
    }
    add("<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\" stroke=\"none\">frequency (Hz)</text>\n",
        (left + right) / 2, bottom + 36);
    svg += "</g>\n";

    svg += "<polyline id=\"response\" fill=\"none\" stroke=\"#1f6fd1\" stroke-width=\"2.5\" points=\"";
    for (int i = 0; i <= kCurvePoints; ++i) {
        const double f = frequencyAt(double(i) / kCurvePoints, r);
        const double db = std::clamp(chainDb(eq, f), r.dbMin, r.dbMax);
        add("%s%.2f,%.2f", i ? " " : "", x(f), y(db));
    }
    svg += "\"/>\n";

    svg += "<g id=\"bands\" font-family=\"sans-serif\" font-size=\"10\" text-anchor=\"middle\">\n";
    for (const EqBandView& band : eq.bands) {
        if (band.centreHz < r.fMin || band.centreHz > r.fMax) continue;
        add("<circle data-band=\"%d\" data-hz=\"%g\" data-db=\"%g\" cx=\"%.2f\" cy=\"%.2f\" r=\"4\" fill=\"%s\"/>\n",
            band.number, band.centreHz, band.gainDb, x(band.centreHz), y(std::clamp<double>(band.gainDb, r.dbMin, r.dbMax)),
            band.gainDb == 0 ? "#9aa3ad" : "#d1461f");
        add("<text x=\"%.2f\" y=\"%.1f\" fill=\"#444444\">%+.0f</text>\n", x(band.centreHz), top - 4, band.gainDb);
    }
    svg += "</g>\n</svg>\n";
    return svg;
}

std::string renderSketch(const EqView& eq, int columns, int rows) {
    const PlotRange r = plotRange(eq);
    if (rows % 2 == 0) ++rows;  // an odd count puts 0 dB on its own row
    std::vector<std::string> grid(static_cast<size_t>(rows), std::string(static_cast<size_t>(columns), ' '));
    const int zeroRow = rows / 2;
    auto rowOf = [&](double db) {
        const double t = (r.dbMax - db) / (r.dbMax - r.dbMin);
        return std::clamp(static_cast<int>(std::lround(t * (rows - 1))), 0, rows - 1);
    };
    for (int c = 0; c < columns; ++c) grid[zeroRow][c] = '-';
    for (int c = 0; c < columns; ++c) {
        const double f = frequencyAt((c + 0.5) / columns, r);
        const int row = rowOf(chainDb(eq, f));
        // Fill from the 0 dB line to the curve so boosts and cuts read as areas.
        const int from = std::min(row, zeroRow), to = std::max(row, zeroRow);
        for (int k = from; k <= to; ++k) grid[k][c] = k == row ? '*' : (k == zeroRow ? '-' : ':');
    }
    std::string out;
    char label[16];
    for (int k = 0; k < rows; ++k) {
        const double db = r.dbMax - (r.dbMax - r.dbMin) * k / (rows - 1);
        if (k == 0 || k == zeroRow || k == rows - 1)
            std::snprintf(label, sizeof label, "%+4.0f dB |", db);
        else
            std::snprintf(label, sizeof label, "        |");
        out += label + grid[k] + "\n";
    }
    std::string axis(static_cast<size_t>(columns) + 10, ' ');
    for (double f : {20.0, 50.0, 100.0, 200.0, 500.0, 1000.0, 2000.0, 5000.0, 10000.0, 20000.0}) {
        if (f < r.fMin || f > r.fMax) continue;
        const std::string text = formatHz(f);
        const int at = 9 + static_cast<int>(std::lround(logPosition(f, r) * (columns - 1))) - static_cast<int>(text.size()) / 2;
        if (at < 0 || at + text.size() > axis.size()) continue;
        bool free = true;
        for (size_t i = 0; i < text.size() + 1 && at + i < axis.size(); ++i) free = free && axis[at + i] == ' ';
        if (free && (at == 0 || axis[at - 1] == ' ')) axis.replace(static_cast<size_t>(at), text.size(), text);
    }
    out += "        +" + std::string(static_cast<size_t>(columns), '-') + "\n";
    while (!axis.empty() && axis.back() == ' ') axis.pop_back();
    out += axis + "  Hz\n";
    return out;
}

}  // namespace zolctl
