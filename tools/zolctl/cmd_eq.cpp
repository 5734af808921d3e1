// eq show / set / reset / plot: the equaliser through the settings entry points.
#include <cmath>
#include <cstdio>
#include <fstream>

#include "commands.h"
#include "settings/device_info.h"
#include "settings_session.h"

namespace zolctl {
namespace {

constexpr int kMaxGainDb = 24;

Json eqJson(const EqView& eq, bool coefficients) {
    Json bands = Json::array();
    for (const EqBandView& b : eq.bands) {
        Json band = Json::object()
                        .set("band", b.number)
                        .set("centreHz", double(b.centreHz))
                        .set("bandwidthHz", double(b.bandwidthHz))
                        .set("q", b.bandwidthHz > 0 ? double(b.centreHz / b.bandwidthHz) : 0.0)
                        .set("gainDb", double(b.gainDb));
        if (coefficients)
            band.set("coefficients", Json::object()
                                         .set("a1", double(b.coefficients.a1))
                                         .set("a2", double(b.coefficients.a2))
                                         .set("b0", double(b.coefficients.b0))
                                         .set("b1", double(b.coefficients.b1))
                                         .set("b2", double(b.coefficients.b2)));
        bands.push(std::move(band));
    }
    return Json::object().set("sampleRate", eq.sampleRate).set("bands", std::move(bands));
}

void printEq(const EqView& eq, bool coefficients) {
    std::string text = "Graphic equaliser at " + std::to_string(eq.sampleRate) + " Hz\n";
    text += coefficients ? "band  centre Hz  width Hz     Q   gain dB        a1        a2        b0        b1        b2\n"
                         : "band  centre Hz  width Hz     Q   gain dB\n";
    char line[200];
    for (const EqBandView& b : eq.bands) {
        std::snprintf(line, sizeof line, "%4d  %9.0f  %8.0f  %4.2f  %+8.1f", b.number, b.centreHz, b.bandwidthHz,
                      b.bandwidthHz > 0 ? b.centreHz / b.bandwidthHz : 0.0f, b.gainDb);
        text += line;
        if (coefficients) {
            const Biquad& c = b.coefficients;
            std::snprintf(line, sizeof line, "  %8.5f  %8.5f  %8.5f  %8.5f  %8.5f", c.a1, c.a2, c.b0, c.b1, c.b2);
            text += line;
        }
        text += "\n";
    }
    out(text);
}

// A band named by its number (1..10) or by its centre frequency (1k, 1000, 1kHz, 250Hz).
int bandIndex(const std::string& name, const EqView& eq) {
    std::string text = name;
    for (char& ch : text) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (text.size() > 2 && text.compare(text.size() - 2, 2, "hz") == 0) text.resize(text.size() - 2);
    double scale = 1;
    if (!text.empty() && text.back() == 'k') {
        scale = 1000;
        text.pop_back();
    }
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0') throw CliError(kUsage, "unknown band '" + name + "'");
    const bool isNumber = scale == 1 && name.find_first_not_of("0123456789") == std::string::npos;
    if (isNumber && value >= 1 && value <= static_cast<double>(eq.bands.size())) return static_cast<int>(value) - 1;
    const double hz = value * scale;
    for (size_t k = 0; k < eq.bands.size(); ++k)
        if (std::fabs(eq.bands[k].centreHz - hz) <= 0.01 * hz) return static_cast<int>(k);
    std::string known;
    for (const EqBandView& b : eq.bands) known += (known.empty() ? "" : ", ") + std::to_string(int(b.centreHz));
    throw CliError(kUsage, "no band '" + name + "': use 1.." + std::to_string(eq.bands.size()) + " or a centre frequency (" +
                               known + " Hz)");
}

void report(Context& context, const EqView& eq, bool coefficients) {
    if (context.json)
        outJson(eqJson(eq, coefficients));
    else
        printEq(eq, coefficients);
}

}  // namespace

int runEqShow(Context& context, Args& args) {
    const bool coefficients = args.takeFlag("--coefficients");
    const bool withSection = args.takeFlag("--section");
    if (!args.positionals().empty()) throw CliError(kUsage, "eq show takes no arguments");
    SettingsSession session(context.library());
    if (!withSection) {
        report(context, session.eq(), coefficients);
        return kOk;
    }
    // What the audio effect reads: the shared section, opened by name like the effect does.
    const SectionView section = session.section();
    if (context.json) {
        Json view = Json::object().set("present", section.present);
        if (section.present)
            view.set("payloadSize", static_cast<unsigned long>(section.payloadSize))
                .set("controlMatchesRecord", section.controlMatchesRecord)
                .set("effectMatchesRecord", section.effectMatchesRecord)
                .set("equaliser", eqJson(section.eq, coefficients));
        else
            view.set("error", static_cast<unsigned long>(section.error));
        outJson(eqJson(session.eq(), coefficients).set("section", std::move(view)));
        return kOk;
    }
    printEq(session.eq(), coefficients);
    if (!section.present) {
        out("shared section " + narrow(zol::settings::kSettingsSectionName) + ": cannot be opened (error " +
            std::to_string(section.error) + ")\n");
        return kOk;
    }
    out("\nShared section " + narrow(zol::settings::kSettingsSectionName) + ", as the audio effect reads it:\n" +
        "  payload size " + std::to_string(section.payloadSize) + " bytes; control block " +
        (section.controlMatchesRecord ? "matches" : "DIFFERS FROM") + " the record; effect block " +
        (section.effectMatchesRecord ? "matches" : "DIFFERS FROM") + " the record\n");
    std::string gains;
    for (const EqBandView& b : section.eq.bands) gains += " " + std::to_string(int(std::lround(b.gainDb)));
    out("  equaliser gains in the section (dB):" + gains + "\n");
    return kOk;
}

int runEqSet(Context& context, Args& args) {
    const std::vector<std::string> settings = args.positionals();
    if (settings.empty()) throw CliError(kUsage, "eq set needs at least one BAND=DB (for example 1k=6)");
    SettingsSession session(context.library());
    const EqView before = session.eq();
    auto gains = session.gainBlock();
    // Check every argument before changing anything: nothing is left half-done.
    for (const std::string& s : settings) {
        const size_t eq = s.find('=');
        if (eq == std::string::npos) throw CliError(kUsage, "expected BAND=DB, not '" + s + "'");
        const int band = bandIndex(s.substr(0, eq), before);
        const int db = parseInt(s.substr(eq + 1), "the gain of band " + s.substr(0, eq), -kMaxGainDb, kMaxGainDb, 10);
        gains[static_cast<size_t>(band)] = static_cast<unsigned char>(static_cast<signed char>(db));
    }
    session.setProperty(ZOL_PROPERTY_EQ_GAINS, gains.data());
    report(context, session.eq(), false);
    return kOk;
}

int runEqReset(Context& context, Args& args) {
    if (!args.positionals().empty()) throw CliError(kUsage, "eq reset takes no arguments");
    SettingsSession session(context.library());
    auto gains = session.gainBlock();
    for (size_t k = 0; k < session.eq().bands.size(); ++k) gains[k] = 0;  // bytes past the bands pass through
    session.setProperty(ZOL_PROPERTY_EQ_GAINS, gains.data());
    report(context, session.eq(), false);
    return kOk;
}

int runEqPlot(Context& context, Args& args) {
    std::string file = "zol_eq.svg";
    args.takeOption("--out", file);
    const bool sketch = !args.takeFlag("--no-sketch");
    if (!args.positionals().empty()) throw CliError(kUsage, "eq plot takes no positional arguments");
    EqView eq;
    {
        SettingsSession session(context.library());
        eq = session.eq();
    }
    if (eq.sampleRate < 1000 || eq.sampleRate > 768000)
        throw CliError(kFailed, "the effect settings hold no usable sample rate (" + std::to_string(eq.sampleRate) + " Hz)");
    std::string gains;
    for (const EqBandView& b : eq.bands) gains += (gains.empty() ? "" : " ") + std::to_string(int(std::lround(b.gainDb)));
    const std::string svg = renderSvg(eq, "ZolSoundKit equaliser, " + std::to_string(eq.sampleRate) + " Hz, gains " + gains + " dB");
    {
        std::ofstream stream(widen(file).c_str(), std::ios::binary | std::ios::trunc);
        stream << svg;
        if (!stream.flush()) throw CliError(kUsage, "cannot write " + file);
    }
    const Peak peak = responsePeak(eq);
    if (context.json) {
        outJson(Json::object()
                    .set("svg", file)
                    .set("peakHz", peak.frequencyHz)
                    .set("peakDb", peak.db)
                    .set("equaliser", eqJson(eq, true)));
        return kOk;
    }
    if (sketch) out(renderSketch(eq));
    char line[200];
    std::snprintf(line, sizeof line, "wrote %s (response peak %+.1f dB at %.0f Hz)\n", file.c_str(), peak.db, peak.frequencyHz);
    out(line);
    return kOk;
}

}  // namespace zolctl
