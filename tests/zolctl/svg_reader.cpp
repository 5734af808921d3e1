#include "svg_reader.h"

#include <windows.h>
#include <shlwapi.h>
#include <xmllite.h>
#include <wrl/client.h>

#include <cmath>
#include <sstream>

#include "common/unique_handle.h"

using Microsoft::WRL::ComPtr;

namespace zol::test {
namespace {

std::string utf8(const wchar_t* text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n - 1 : 0), '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    return out;
}

std::map<std::string, std::string> attributes(IXmlReader* reader) {
    std::map<std::string, std::string> result;
    for (HRESULT hr = reader->MoveToFirstAttribute(); hr == S_OK; hr = reader->MoveToNextAttribute()) {
        const wchar_t *name = nullptr, *value = nullptr;
        reader->GetLocalName(&name, nullptr);
        reader->GetValue(&value, nullptr);
        result[utf8(name)] = utf8(value);
    }
    reader->MoveToElement();
    return result;
}

double number(const std::map<std::string, std::string>& a, const char* key) {
    auto it = a.find(key);
    return it == a.end() ? NAN : std::stod(it->second);
}

}  // namespace

SvgPlot readSvgPlot(const std::string& document) {
    SvgPlot plot;
    using CreateReader = HRESULT(WINAPI*)(REFIID, void**, IMalloc*);
    zol::unique_module xmllite(LoadLibraryW(L"xmllite.dll"));
    auto create = xmllite ? reinterpret_cast<CreateReader>(reinterpret_cast<void*>(GetProcAddress(xmllite.get(), "CreateXmlReader")))
                          : nullptr;
    if (!create) {
        plot.parseError = "xmllite.dll not available";
        return plot;
    }
    ComPtr<IStream> stream;
    stream.Attach(SHCreateMemStream(reinterpret_cast<const BYTE*>(document.data()), static_cast<UINT>(document.size())));
    {
        ComPtr<IXmlReader> reader;
        if (FAILED(create(__uuidof(IXmlReader), reinterpret_cast<void**>(reader.GetAddressOf()), nullptr)) ||
            FAILED(reader->SetInput(stream.Get()))) {
            plot.parseError = "cannot set up the XML reader";
            return plot;
        }
        XmlNodeType type;
        HRESULT hr;
        while ((hr = reader->Read(&type)) == S_OK) {
            if (type != XmlNodeType_Element) continue;
            ++plot.elements;
            const wchar_t* name = nullptr;
            reader->GetLocalName(&name, nullptr);
            const std::string element = utf8(name);
            const auto a = attributes(reader.Get());
            const auto id = a.count("id") ? a.at("id") : std::string();
            if (element == "svg" && plot.root.empty()) plot.root = a;
            if (element == "rect" && id == "plot") {
                plot.plotX = number(a, "x");
                plot.plotY = number(a, "y");
                plot.plotWidth = number(a, "width");
                plot.plotHeight = number(a, "height");
            }
            if (element == "polyline" && id == "response" && a.count("points")) {
                std::istringstream points(a.at("points"));
                std::string pair;
                while (points >> pair) {
                    const size_t comma = pair.find(',');
                    plot.curve.emplace_back(std::stod(pair.substr(0, comma)), std::stod(pair.substr(comma + 1)));
                }
            }
        }
        if (hr != S_FALSE) {
            std::ostringstream error;
            error << "XML parse error 0x" << std::hex << static_cast<unsigned long>(hr);
            plot.parseError = error.str();
            return plot;
        }
    }
    plot.wellFormed = true;
    return plot;
}

double SvgPlot::peakHz() const {
    if (curve.empty()) return NAN;
    auto best = curve.front();
    for (const auto& p : curve)
        if (p.second < best.second) best = p;  // SVG y grows downwards
    const double fMin = number(root, "data-f-min"), fMax = number(root, "data-f-max");
    return fMin * std::pow(fMax / fMin, (best.first - plotX) / plotWidth);
}

double SvgPlot::peakDb() const {
    if (curve.empty()) return NAN;
    double top = curve.front().second;
    for (const auto& p : curve) top = std::min(top, p.second);
    const double dbMin = number(root, "data-db-min"), dbMax = number(root, "data-db-max");
    return dbMax - (top - plotY) / plotHeight * (dbMax - dbMin);
}

}  // namespace zol::test
