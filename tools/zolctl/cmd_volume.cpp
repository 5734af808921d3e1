// volume / mute of the default render and capture endpoints.
#include "commands.h"

namespace zolctl {
namespace {

// "[render|capture] [VALUE]" in either order of presence: the flow word is optional.
void splitFlow(const std::vector<std::string>& words, int& flow, std::string& value) {
    flow = 0;
    value.clear();
    size_t i = 0;
    if (i < words.size()) {
        try {
            flow = parseFlow(words[i]);
            ++i;
        } catch (const CliError&) {
        }
    }
    if (i < words.size()) value = words[i++];
    if (i < words.size()) throw CliError(kUsage, "unexpected argument '" + words[i] + "'");
}

void report(Context& context, int flow, const char* key, Json value, const std::string& text) {
    if (context.json)
        outJson(Json::object().set("flow", flowName(flow)).set(key, std::move(value)));
    else
        out(text + "\n");
}

}  // namespace

int runVolume(Context& context, Args& args) {
    int flow;
    std::string value;
    splitFlow(args.positionals(), flow, value);
    const int wanted = value.empty() ? -1 : parseInt(value, "the volume", 0, 100, 10);
    Library& lib = context.library();
    auto getVolum = lib.get<exports::GetVolum>("_getVolum");
    if (wanted >= 0) {
        const int percent = wanted;
        if (lib.get<exports::SetVolum>("_SetVolum")(percent, flow, 0) != 1)
            throw CliError(kFailed, std::string("the default ") + flowName(flow) + " endpoint did not take volume " + value +
                                        " % (no such endpoint, or it refuses volume changes)");
    }
    const int percent = getVolum(flow, 0);
    report(context, flow, "volume", percent, std::string(flowName(flow)) + " volume: " + std::to_string(percent) + " %");
    return kOk;
}

int runMute(Context& context, Args& args) {
    int flow;
    std::string value;
    splitFlow(args.positionals(), flow, value);
    const bool on = value == "on" || value == "1" || value == "true";
    const bool off = value == "off" || value == "0" || value == "false";
    if (!value.empty() && !on && !off && value != "toggle")
        throw CliError(kUsage, "mute state must be on, off or toggle, not '" + value + "'");
    Library& lib = context.library();
    auto getMute = lib.get<exports::GetMasterMute>("_GetMasterMute");
    if (!value.empty()) {
        const BOOL mute = on ? TRUE : off ? FALSE : (getMute(flow) ? FALSE : TRUE);
        if (lib.get<exports::SetMasterMute>("_SetMasterMute")(mute, flow) != 1)
            throw CliError(kFailed, std::string("the default ") + flowName(flow) + " endpoint did not take the mute change");
        // The state just set is what the endpoint took; reading it back through a fresh
        // interface is not reliable on every system.
        report(context, flow, "muted", mute != FALSE, std::string(flowName(flow)) + (mute ? ": muted" : ": not muted"));
        return kOk;
    }
    const bool muted = getMute(flow) != 0;
    report(context, flow, "muted", muted, std::string(flowName(flow)) + (muted ? ": muted" : ": not muted"));
    return kOk;
}

}  // namespace zolctl
