// Reads an SVG document with the system's XML parser (XmlLite): a document that is not
// well-formed XML is refused, and the facts the equaliser plot promises are picked out.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace zol::test {

struct SvgPlot {
    bool wellFormed = false;
    std::string parseError;
    std::map<std::string, std::string> root;  // attributes of <svg>
    double plotX = 0, plotY = 0, plotWidth = 0, plotHeight = 0;  // rect id="plot"
    std::vector<std::pair<double, double>> curve;                // polyline id="response"
    int elements = 0;

    // The curve's highest point, mapped back to Hz and dB through the axis ranges on <svg>.
    double peakHz() const;
    double peakDb() const;
};

SvgPlot readSvgPlot(const std::string& document);

}  // namespace zol::test
