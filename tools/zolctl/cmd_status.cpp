// status: everything a support engineer asks first, in one view.
#include <cstdio>

#include "commands.h"
#include "common/product_key.h"
#include "endpoint_view.h"
#include "registry/registry_read.h"
#include "settings/device_info.h"

namespace zolctl {
namespace {

namespace reg = zol::registry;

struct ValueState {
    const char* label;
    const wchar_t* name;
};
const ValueState kProductValues[] = {
    {"InstallPath", L"InstallPath"},
    {"control block", zol::settings::kControlValue},
    {"effect block", zol::settings::kEffectValue},
    {"EQ gain block", zol::settings::kEqGainValue},
    {"EnableAllDev", L"EnableAllDev"},
};

// Present values as short text: strings as they are, binary values by their size.
std::string describeValue(const wchar_t* name, bool& present) {
    present = reg::valueExists(zol::common::kProductKey, name);
    if (!present) return "absent";
    if (std::wstring(name) == L"InstallPath" || std::wstring(name) == L"EnableAllDev") {
        try {
            return "\"" + narrow(reg::readStringValue(zol::common::kProductKey, name)) + "\"";
        } catch (const reg::RegistryException&) {
            return "present (not a string)";
        }
    }
    return std::to_string(reg::readBinaryValue(zol::common::kProductKey, name).size()) + " bytes";
}

}  // namespace

int runStatus(Context& context, Args& args) {
    if (!args.positionals().empty()) throw CliError(kUsage, "status takes no arguments");
    Library& lib = context.library();
    Json json = Json::object();
    std::string text;

    json.set("library", Json::object().set("path", lib.path()).set("version", lib.fileVersion()));
    text += "Library      " + narrow(lib.path()) + " (version " + lib.fileVersion() + ")\n";
    const int elevated = lib.get<exports::IsRunningAsAdmin>("_IsRunningAsAdmin")();
    json.set("elevated", elevated == 1);
    text += std::string("Elevated     ") + (elevated == 1 ? "yes" : "no (install, uninstall and settings need it)") + "\n";

    const bool keyExists = reg::keyExists(zol::common::kProductKey);
    Json values = Json::object();
    text += "Product key  " + narrow(zol::common::kProductKey) + (keyExists ? "\n" : ": absent (the kit is not installed)\n");
    if (keyExists) {
        for (const ValueState& v : kProductValues) {
            bool present = false;
            const std::string state = describeValue(v.name, present);
            values.set(v.label, present ? Json(state) : Json());
            char line[300];
            std::snprintf(line, sizeof line, "  %-14s %s\n", v.label, state.c_str());
            text += line;
        }
    }
    json.set("productKey", Json::object().set("exists", keyExists).set("values", std::move(values)));

    const std::vector<EndpointView> endpoints = snapshotEndpoints();
    Json list = Json::array();
    int supported = 0, installed = 0;
    for (const EndpointView& e : endpoints) {
        list.push(endpointJson(e));
        supported += e.supported;
        installed += e.installed;
    }
    json.set("endpoints", std::move(list));
    text += "\nAudio endpoints: " + std::to_string(endpoints.size()) + " (" + std::to_string(supported) +
            " of supported headsets, effect installed on " + std::to_string(installed) + ")\n";
    for (const EndpointView& e : endpoints) text += endpointText(e);

    Json headsets = Json::object();
    const std::string hidProblem = hidUnavailable(lib);
    if (!hidProblem.empty()) {
        headsets.set("listable", false).set("problem", hidProblem);
        text += "\nAttached headsets: cannot be listed here (" + hidProblem + ")\n";
    } else if (lib.has("getDeviceCount")) {
        const int count = lib.get<exports::GetDeviceCount>("getDeviceCount")();
        headsets.set("listable", true).set("count", count);
        text += "\nAttached headsets: " + std::to_string(count) + " supported HID interface(s) (zolctl devices lists them)\n";
    }
    json.set("headsets", std::move(headsets));

    if (context.json)
        outJson(json);
    else
        out(text);
    return kOk;
}

}  // namespace zolctl
