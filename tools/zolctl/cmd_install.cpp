// install / uninstall: init and unInit, with what changed on which endpoint.
#include <windows.h>

#include <map>

#include "common/unique_handle.h"

#include "commands.h"
#include "endpoint_view.h"

namespace zolctl {
namespace {

struct Change {
    const EndpointView* before;
    const EndpointView* after;
    std::vector<std::string> lines;
};

std::vector<Change> compare(const std::vector<EndpointView>& before, const std::vector<EndpointView>& after) {
    std::map<std::wstring, const EndpointView*> old;
    for (const EndpointView& e : before) old[e.id] = &e;
    std::vector<Change> changes;
    for (const EndpointView& e : after) {
        Change c{old.count(e.id) ? old[e.id] : nullptr, &e, {}};
        if (!c.before) {
            c.lines.push_back("endpoint appeared");
        } else {
            if (c.before->installed != e.installed) c.lines.push_back(e.installed ? "effect installed" : "effect removed");
            if (c.before->systemEffectsDisabled != e.systemEffectsDisabled)
                c.lines.push_back(std::string("system effects switched ") + (e.systemEffectsDisabled ? "off" : "on"));
            if (c.before->hasFxProperties != e.hasFxProperties)
                c.lines.push_back(e.hasFxProperties ? "FxProperties created" : "FxProperties removed");
            for (size_t i = 0; i < 5; ++i)
                if (c.before->fxProperties[i] != e.fxProperties[i])
                    c.lines.push_back(std::string(slotName(i)) + " slot: " +
                                      (c.before->fxProperties[i].empty() ? "(none)" : narrow(c.before->fxProperties[i])) + " -> " +
                                      (e.fxProperties[i].empty() ? "(none)" : narrow(e.fxProperties[i])));
        }
        if (!c.lines.empty()) changes.push_back(std::move(c));
    }
    for (const EndpointView& e : before) {
        bool still = false;
        for (const EndpointView& a : after) still = still || a.id == e.id;
        if (!still) changes.push_back({&e, nullptr, {"endpoint disappeared"}});
    }
    return changes;
}

int report(Context& context, const char* what, int result, const std::vector<Change>& changes, size_t endpoints) {
    if (context.json) {
        Json list = Json::array();
        for (const Change& c : changes) {
            const EndpointView& e = c.after ? *c.after : *c.before;
            Json lines = Json::array();
            for (const std::string& l : c.lines) lines.push(l);
            list.push(Json::object()
                          .set("id", e.id)
                          .set("flow", e.capture ? "capture" : "render")
                          .set("name", e.name.empty() ? e.description : e.name)
                          .set("changes", std::move(lines)));
        }
        outJson(Json::object().set("command", what).set("result", result).set("endpoints", static_cast<unsigned long>(endpoints)).set("changed", std::move(list)));
        return kOk;
    }
    std::string text = std::string(what) + " returned " + std::to_string(result) + "; " + std::to_string(changes.size()) + " of " +
                       std::to_string(endpoints) + " endpoint(s) changed\n";
    for (const Change& c : changes) {
        const EndpointView& e = c.after ? *c.after : *c.before;
        text += std::string("  [") + (e.capture ? "capture" : "render ") + "] " + narrow(e.name.empty() ? e.description : e.name) +
                "  " + narrow(e.id) + "\n";
        for (const std::string& l : c.lines) text += "      " + l + "\n";
    }
    out(text);
    return kOk;
}

// init and unInit restart the audio service; without one they would edit the endpoints and then
// stop at a message box. Refuse up front instead of leaving the system half-done.
void requireAudioService() {
    zol::common::unique_sc_handle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    zol::common::unique_sc_handle service(manager ? OpenServiceW(manager.get(), L"AudioSrv", SERVICE_QUERY_STATUS) : nullptr);
    if (!service)
        throw CliError(kFailed, "the Windows audio service (AudioSrv) is not there to restart (error " +
                                    std::to_string(GetLastError()) + "); nothing was changed");
}

}  // namespace

int runInstall(Context& context, Args& args) {
    if (!args.positionals().empty()) throw CliError(kUsage, "install takes no arguments");
    auto init = context.library().get<exports::Init>("init");
    requireAudioService();
    const std::vector<EndpointView> before = snapshotEndpoints();
    const int result = init();
    const std::vector<EndpointView> after = snapshotEndpoints();
    return report(context, "init", result, compare(before, after), after.size());
}

int runUninstall(Context& context, Args& args) {
    if (!args.positionals().empty()) throw CliError(kUsage, "uninstall takes no arguments");
    auto unInit = context.library().get<exports::UnInit>("unInit");
    requireAudioService();
    const std::vector<EndpointView> before = snapshotEndpoints();
    const int result = unInit();
    const std::vector<EndpointView> after = snapshotEndpoints();
    if (result == -3)
        throw CliError(kFailed, "unInit returned -3: the effect library beside the host (ZolSoundAPO.dll) could not be "
                                "unregistered; nothing was removed");
    return report(context, "unInit", result, compare(before, after), after.size());
}

}  // namespace zolctl
