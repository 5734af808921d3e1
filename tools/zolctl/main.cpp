// zolctl: the kit's console tool. Loads zol_ecd_api.dll the way the kit's host does and drives
// every part of it from the command line, for support engineers, scripts (--json) and demos.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "commands.h"
#include "registry/registry_read.h"

namespace zolctl {
namespace {

const Command kCommands[] = {
    {"status", "", "library, product key, endpoints and attached headsets",
     "Shows the library's version and path, whether zolctl runs elevated, the product key and its\n"
     "settings values, every render and capture endpoint with its name, whether it belongs to a\n"
     "supported headset, whether the effect is installed, its saved former effects and slot style,\n"
     "and the supported headsets attached.",
     runStatus},
    {"install", "", "install the effect on the supported endpoints (init)",
     "Calls init: installs the effect on the endpoints of every supported headset, records the\n"
     "install path and creates the default settings. Reports what changed on which endpoint.\n"
     "Needs administrator rights.",
     runInstall},
    {"uninstall", "", "remove the effect and the product's values (unInit)",
     "Calls unInit: stops the audio engine, unregisters the effect library, restores each\n"
     "endpoint's former effects and deletes the product's values. Reports what changed on which\n"
     "endpoint. Fails (exit 1) when the effect library beside the host cannot be unregistered.",
     runUninstall},
    {"eq", "show|set|reset|plot ...", "the 10-band graphic equaliser",
     "Subcommands:\n"
     "  eq show [--coefficients]   bands, gains and (optionally) the filter coefficients\n"
     "  eq set BAND=DB ...         set band gains; BAND is 1..10 or a centre frequency (1k, 250Hz)\n"
     "  eq reset                   all gains back to 0 dB\n"
     "  eq plot [--out FILE.svg]   draw the combined response as SVG and as a terminal sketch",
     nullptr},
    {"eq show", "[--coefficients] [--section]", "show the equaliser",
     "Reads the settings through getDeviceInfo and lists the ten bands: centre frequency,\n"
     "bandwidth, Q and gain; with --coefficients also the biquad coefficients a1 a2 b0 b1 b2 that\n"
     "the library computed. With --section also opens the shared section the audio effect reads\n"
     "and shows whether it holds the same settings.",
     runEqShow},
    {"eq set", "BAND=DB [BAND=DB ...]", "set band gains",
     "Sets the gains of the named bands (whole dB, -24..24) and keeps the others; the library\n"
     "recomputes the filters, stores the settings and publishes them to the audio effect.\n"
     "BAND is the band number 1..10 or its centre frequency: 30, 60, 120, 250, 500, 1k, 2k, 4k,\n"
     "8k, 16k (Hz, an optional Hz suffix is accepted). Example: zolctl eq set 1k=6 8k=-3",
     runEqSet},
    {"eq reset", "", "all gains to 0 dB", "Sets all ten band gains to 0 dB (a flat response).", runEqReset},
    {"eq plot", "[--out FILE.svg] [--no-sketch]", "draw the equaliser's response",
     "Computes the combined magnitude response of the ten filters from the coefficients the\n"
     "library stored in the effect settings, writes it as an SVG file (default zol_eq.svg) and\n"
     "prints a sketch of it to the terminal.",
     runEqPlot},
    {"volume", "[render|capture] [PERCENT]", "master volume of the default endpoint",
     "Without PERCENT shows the master volume of the default render (default) or capture\n"
     "endpoint; with PERCENT (0..100) sets it and shows the result.",
     runVolume},
    {"mute", "[render|capture] [on|off|toggle]", "mute state of the default endpoint",
     "Without a state shows whether the default render (default) or capture endpoint is muted;\n"
     "with on, off or toggle sets it.",
     runMute},
    {"devices", "[--all]", "supported headset interfaces attached",
     "Lists the HID interfaces of supported headsets that are attached, per entry of the kit's\n"
     "device table. With --all also lists every HID device the system has (for support).",
     runDevices},
    {"fw", "update IMAGE [--start-parameter N]", "firmware update",
     "Subcommands:\n"
     "  fw update IMAGE   write the firmware image file to the attached headset",
     nullptr},
    {"fw update", "IMAGE [--start-parameter N]", "write a firmware image to the headset",
     "Streams the image file to the first attached supported headset and shows the stages,\n"
     "percentage, transfer rate and the device's final status. N (0..255, default 0) is sent\n"
     "in the start packet. Exit 0 when the device reports status 0, 1 otherwise (no headset,\n"
     "channels not opened, the device's time-out, or another status).\n"
     "With the demo build zol_ecd_api_sim.dll (--dll) the simulated headset is told to expect the\n"
     "image and to report --simulated-status N at the end (default 0).",
     runFwUpdate},
    {"log", "[--count N] [--for SECONDS] [--pid PID] [--grep TEXT]", "live view of the library's debug messages",
     "Shows the messages the library (and every other program) sends to the debugger channel,\n"
     "as they arrive, with time and process id. Stops on Ctrl+C, after N messages or after\n"
     "SECONDS. Only one viewer can own the channel at a time.",
     runLog},
};

const char kGlobalHelp[] =
    "Global options (before or after the command):\n"
    "  --json         machine-readable output (one JSON document, or one per line for log/fw)\n"
    "  --dll PATH     load this zol_ecd_api.dll instead of the one found by name\n"
    "  -h, --help     help for zolctl or for a command\n"
    "\n"
    "Exit codes: 0 done, 1 refused or failed, 2 bad usage or input file, 3 library missing or\n"
    "without the export, 4 the library raised an error.\n";

void printOverview() {
    std::string text = "usage: zolctl [--json] [--dll PATH] COMMAND [ARGS]\n\nCommands:\n";
    for (const Command& c : kCommands) {
        if (std::strchr(c.words, ' ')) continue;
        char line[160];
        std::snprintf(line, sizeof line, "  %-10s %s\n", c.words, c.summary);
        text += line;
    }
    text += "\nRun zolctl COMMAND --help for a command's arguments.\n\n";
    text += kGlobalHelp;
    out(text);
}

void printHelp(const Command& c) {
    out(std::string("usage: zolctl [--json] [--dll PATH] ") + c.words + (*c.synopsis ? " " : "") + c.synopsis + "\n\n" +
        c.details + "\n\nExit codes: 0 done, 1 refused or failed, 2 bad usage, 3 library missing, 4 library error.\n");
}

std::string wordsOf(const std::vector<std::string>& args, size_t count) {
    std::string words;
    for (size_t i = 0; i < count && i < args.size(); ++i) words += (i ? " " : "") + args[i];
    return words;
}

int run(std::vector<std::string> words, Context& context) {
    bool help = false;
    std::vector<std::string> rest;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (w == "--json") {
            context.json = true;
        } else if (w == "-h" || w == "--help" || w == "/?") {
            help = true;
        } else if (w == "--dll" || w.rfind("--dll=", 0) == 0) {
            if (w == "--dll" && i + 1 >= words.size()) throw CliError(kUsage, "option --dll needs a value");
            context.dll = widen(w == "--dll" ? words[++i] : w.substr(6));
        } else {
            rest.push_back(w);
        }
    }
    if (rest.empty()) {
        if (!help) throw CliError(kUsage, "no command given (zolctl --help lists them)");
        printOverview();
        return kOk;
    }
    // The longest match of command words wins: "eq set" before "eq".
    const Command* command = nullptr;
    size_t used = 0;
    for (size_t n = 2; n >= 1 && !command; --n)
        for (const Command& c : kCommands)
            if (rest.size() >= n && wordsOf(rest, n) == c.words) {
                command = &c;
                used = n;
                break;
            }
    if (!command) throw CliError(kUsage, "unknown command '" + rest[0] + "' (zolctl --help lists them)");
    if (help) {
        printHelp(*command);
        return kOk;
    }
    if (!command->run) {
        printHelp(*command);
        throw CliError(kUsage, std::string("'") + command->words + "' needs a subcommand");
    }
    Args args(std::vector<std::string>(rest.begin() + static_cast<long>(used), rest.end()));
    return command->run(context, args);
}

void reportError(const Context& context, int code, const std::string& message) {
    std::fprintf(stderr, "zolctl: %s\n", message.c_str());
    std::fflush(stderr);
    if (context.json) outJson(Json::object().set("error", message).set("exitCode", code));
}

}  // namespace

void out(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void outJson(const Json& value) { out(value.dump() + "\n"); }

}  // namespace zolctl

int wmain(int argc, wchar_t** argv) {
    using namespace zolctl;
    SetConsoleOutputCP(CP_UTF8);
    // Line ends as written: scripts and tests compare output byte for byte.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i) words.push_back(narrow(argv[i]));
    Context context;
    try {
        return run(words, context);
    } catch (const CliError& e) {
        reportError(context, e.exitCode(), e.what());
        return e.exitCode();
    } catch (const zol::registry::RegistryException& e) {
        reportError(context, kLibraryError, "registry: " + narrow(e.message()));
        return kLibraryError;
    } catch (const std::exception& e) {
        reportError(context, kLibraryError, e.what());
        return kLibraryError;
    } catch (...) {
        reportError(context, kLibraryError, "the library raised an unknown error");
        return kLibraryError;
    }
}
