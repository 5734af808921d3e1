#include "endpoint_view.h"

#include <windows.h>
#include <objbase.h>

#include "apo_install/apo_info.h"
#include "common/com_apartment.h"
#include "apo_install/endpoint_catalogue.h"
#include "device_link/supported_devices.h"
#include "registry/registry_read.h"

namespace zolctl {
namespace {

namespace reg = zol::registry;

bool belongsToKit(const zol::apo_install::EndpointRecord& info) {
    for (size_t i = 0; i < zol::device_link::supportedDeviceCount(); ++i) {
        const auto d = zol::device_link::supportedDevice(i);
        if (info.matchesDevice(d.word0, d.word1, d.word2)) return true;
    }
    return false;
}

EndpointView view(const std::wstring& id, bool capture) {
    EndpointView e;
    e.id = id;
    e.capture = capture;
    const std::wstring key = zol::apo_install::endpointKeyPath(false, capture, id);
    const std::wstring fx = zol::apo_install::fxPropertiesKeyPath(key);
    try {
        e.hasFxProperties = reg::keyExists(fx);
        for (size_t i = 0; i < zol::apo_install::kFxSlotCount; ++i)
            if (e.hasFxProperties && reg::valueExists(fx, zol::apo_install::kFxSlotValueNames[i]))
                e.fxProperties[i] = reg::readStringValue(fx, zol::apo_install::kFxSlotValueNames[i]);
        zol::apo_install::EndpointRecord info;
        if (!info.reload(id, L"")) {
            e.present = false;
            return e;
        }
        e.name = info.endpointName;
        e.description = info.deviceDescription;
        e.hardwareId = info.hardwareId;
        e.isDefault = info.isDefault;
        e.supported = belongsToKit(info);
        e.installed = info.installed;
        e.systemEffectsDisabled = info.systemEffectsDisabled;
        e.slotStyle = info.loadedOptions.slotStyle;
        e.storeVersion = info.installed ? info.version : L"";
        for (size_t i = 0; i < zol::apo_install::kFxSlotCount; ++i) e.formerEffects[i] = info.orgGuid[i];
    } catch (const reg::RegistryException& error) {
        e.unreadable = narrow(error.message());
        const std::wstring properties = zol::apo_install::propertiesKeyPath(key);
        try {
            if (reg::valueExists(properties, zol::apo_install::property::kDeviceDescription))
                e.description = reg::readStringValue(properties, zol::apo_install::property::kDeviceDescription);
        } catch (const reg::RegistryException&) {
        }
    }
    return e;
}

}  // namespace

const char* slotName(size_t slot) {
    static const char* const names[] = {"pre-mix", "post-mix", "stream", "mode", "endpoint"};
    return slot < 5 ? names[slot] : "?";
}

std::vector<EndpointView> snapshotEndpoints() {
    zol::common::ApartmentScope com;
    std::vector<EndpointView> endpoints;
    for (bool capture : {false, true}) {
        const std::wstring flowKey = zol::apo_install::flowKeyPath(false, capture ? zol::apo_install::kCaptureFlow : zol::apo_install::kRenderFlow);
        if (!reg::keyExists(flowKey)) continue;
        for (const std::wstring& id : reg::listSubkeys(flowKey)) endpoints.push_back(view(id, capture));
    }
    return endpoints;
}

Json endpointJson(const EndpointView& e) {
    Json j = Json::object().set("id", e.id).set("flow", e.capture ? "capture" : "render").set("present", e.present);
    if (!e.unreadable.empty()) j.set("unreadable", e.unreadable);
    j.set("name", e.name).set("description", e.description).set("hardwareId", e.hardwareId);
    j.set("default", e.isDefault).set("supported", e.supported).set("installed", e.installed);
    j.set("systemEffectsDisabled", e.systemEffectsDisabled).set("slotStyle", e.slotStyle);
    if (e.installed) j.set("storeVersion", e.storeVersion);
    Json former = Json::object(), now = Json::object();
    for (size_t i = 0; i < 5; ++i) {
        former.set(slotName(i), e.formerEffects[i]);
        now.set(slotName(i), e.fxProperties[i].empty() ? Json() : Json(e.fxProperties[i]));
    }
    j.set(e.installed ? "savedEffects" : "currentEffects", std::move(former));
    j.set("fxProperties", e.hasFxProperties ? std::move(now) : Json());
    return j;
}

std::string endpointText(const EndpointView& e) {
    std::string t = std::string("  [") + (e.capture ? "capture" : "render ") + "] " +
                    narrow(e.name.empty() ? e.description : e.name) + "\n      id " + narrow(e.id) + "\n";
    if (!e.present) return t + "      not present\n";
    if (!e.unreadable.empty()) {
        // The message names the full value path; its last part says what is missing.
        const size_t cut = e.unreadable.rfind('\\');
        return t + "      not readable by the catalogue: " + (cut == std::string::npos ? e.unreadable : e.unreadable.substr(cut + 1)) + "\n";
    }
    t += "      " + narrow(e.description) + ", hardware id " + narrow(e.hardwareId) + "\n";
    t += std::string("      supported headset: ") + (e.supported ? "YES" : "no") + "   effect installed: " +
         (e.installed ? "YES" : "no") + "   default: " + (e.isDefault ? "yes" : "no") +
         "   system effects off: " + (e.systemEffectsDisabled ? "yes" : "no") + "\n";
    t += "      slot style " + std::to_string(e.slotStyle) +
         (e.slotStyle == 0 ? " (pre-mix/post-mix)" : e.slotStyle == 1 ? " (stream/mode)" : " (stream/endpoint)");
    if (e.installed) t += ", effect store layout " + narrow(e.storeVersion);
    t += std::string("\n      ") + (e.installed ? "saved former effects:" : "current effects:");
    bool any = false;
    for (size_t i = 0; i < 5; ++i) {
        const std::wstring& v = e.formerEffects[i];
        if (v == L"!KEY") {
            t += " none (no FxProperties)";
            any = true;
            break;
        }
        if (v.empty() || v == L"!VALUE") continue;
        t += std::string(" ") + slotName(i) + "=" + narrow(v);
        any = true;
    }
    if (!any) t += " none";
    return t + "\n";
}

}  // namespace zolctl
