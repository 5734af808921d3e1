// devices: the supported headsets' HID interfaces that are attached (and, for support, every
// HID device the system has).
#include <cstdio>
#include <memory>
#include <vector>

#include "commands.h"
#include "device_link/supported_devices.h"

namespace zolctl {
namespace {

std::string hex4(unsigned v) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", v & 0xFFFF);
    return text;
}

int __cdecl collectPath(void* context, const char* path) {
    static_cast<std::vector<std::string>*>(context)->push_back(path ? path : "");
    return 0;
}

}  // namespace

std::string hidUnavailable(Library& lib) {
    if (lib.get<exports::HidInit>("hid_init")() == 0) return {};
    const wchar_t* error = lib.get<exports::HidError>("hid_error")(nullptr);
    return "hid_init failed" + (error && *error ? " (" + narrow(error) + ")" : std::string());
}

int runDevices(Context& context, Args& args) {
    const bool all = args.takeFlag("--all");
    if (!args.positionals().empty()) throw CliError(kUsage, "devices takes no positional arguments");
    Library& lib = context.library();
    auto enumerate = lib.get<exports::HidEnumIntfRptid>("hid_enum_intf_rptid");
    // Without a working hidapi every list below would be empty: say so instead.
    const std::string hidProblem = hidUnavailable(lib);
    if (!hidProblem.empty()) throw CliError(kFailed, "HID devices cannot be listed here: " + hidProblem);

    Json entries = Json::array();
    std::string text;
    int attached = 0;
    for (size_t i = 0; i < zol::device_link::supportedDeviceCount(); ++i) {
        const zol::device_link::SupportedDevice d = zol::device_link::supportedDevice(i);
        Json entry = Json::object();
        if (d.isBluetooth()) {
            entry.set("bluetooth", true).set("words", Json::array().push(d.word0).push(d.word1).push(d.word2));
            text += "  Bluetooth entry " + std::to_string(i + 1) + ": not reached over USB HID\n";
            entries.push(std::move(entry));
            continue;
        }
        std::vector<std::string> paths;
        enumerate(d.vendorId(), d.productId(), d.interfaceNumber(), d.reportId(), &collectPath, &paths);
        attached += static_cast<int>(paths.size());
        Json pathList = Json::array();
        for (const std::string& p : paths) pathList.push(p);
        entries.push(entry.set("bluetooth", false)
                         .set("vendorId", hex4(d.vendorId()))
                         .set("productId", hex4(d.productId()))
                         .set("interface", d.interfaceNumber())
                         .set("reportId", d.reportId())
                         .set("paths", std::move(pathList)));
        const std::string ids = hex4(d.vendorId()) + ":" + hex4(d.productId()) + " interface " +
                                std::to_string(d.interfaceNumber()) + " report " + std::to_string(d.reportId());
        if (paths.empty()) text += "  " + ids + ": not attached\n";
        for (const std::string& p : paths) text += "  " + ids + ": ATTACHED  " + p + "\n";
    }

    Json result = Json::object().set("attached", attached);
    if (lib.has("getDeviceCount")) result.set("getDeviceCount", lib.get<exports::GetDeviceCount>("getDeviceCount")());
    result.set("supported", std::move(entries));

    std::string allText;
    if (all) {
        auto hidEnumerate = lib.get<exports::HidEnumerate>("hid_enumerate");
        // Freed through the library's own export, also when building the report throws.
        const std::unique_ptr<hid_device_info, exports::HidFreeEnumeration> first(
            hidEnumerate(0, 0), lib.get<exports::HidFreeEnumeration>("hid_free_enumeration"));
        Json list = Json::array();
        for (const hid_device_info* d = first.get(); d; d = d->next) {
            const std::string product = d->product_string ? narrow(d->product_string) : "";
            list.push(Json::object()
                          .set("vendorId", hex4(d->vendor_id))
                          .set("productId", hex4(d->product_id))
                          .set("interface", d->interface_number)
                          .set("usagePage", hex4(d->usage_page))
                          .set("usage", hex4(d->usage))
                          .set("product", product)
                          .set("path", d->path ? d->path : ""));
            allText += "  " + hex4(d->vendor_id) + ":" + hex4(d->product_id) + " usage " + hex4(d->usage_page) + "/" +
                       hex4(d->usage) + "  " + (product.empty() ? "(no product string)" : product) + "\n      " +
                       (d->path ? d->path : "") + "\n";
        }
        result.set("all", std::move(list));
    }

    if (context.json) {
        outJson(result);
        return kOk;
    }
    out("Supported headset interfaces attached: " + std::to_string(attached) + "\n" + text);
    if (all) out("\nEvery HID device of the system:\n" + (allText.empty() ? std::string("  none\n") : allText));
    return kOk;
}

}  // namespace zolctl
