// The host's settings entry points: load a record, change one block of it, let it go.
#include <cstring>
#include <memory>

#include "exports/boundary.h"
#include "settings/device_settings.h"
#include "settings/mirror_table.h"
#include "settings/settings_lock.h"
#include "zol_ecd_api.h"

using namespace zol::settings;
using zol::exports::guarded;
using zol::exports::Registry;

namespace {

int loadDeviceInfo(DeviceInfo* info) {
    if (info == nullptr) return 0;
    const SettingsLock lock;
    std::memset(&info->control, 0, sizeof info->control);
    // Read before the load overwrites the record: a reload without release closes the earlier mirror.
    DeviceInfo earlier;
    std::memcpy(earlier.mirror, info->mirror, sizeof earlier.mirror);
    loadDeviceSettings(info);
    detachMirror(earlier);

    auto mirror = std::make_unique<SettingsMirror>();
    mirror->open(kSettingsSectionSize, nullptr, true);
    mirror->write(&info->control, kControlPayloadOffset, sizeof info->control);
    mirror->write(&info->effect, kEffectPayloadOffset, sizeof info->effect);
    attachMirror(*info, std::move(mirror));
    return 1;
}

int changeDeviceProperty(DeviceInfo* info, int property, const unsigned char* data) {
    if (property < ZOL_PROPERTY_CONTROL || property > ZOL_PROPERTY_EQ_GAINS) return ZOL_BAD_PROPERTY;
    if (info == nullptr || data == nullptr) return 0;
    const SettingsLock lock;
    updateDeviceProperty(*info, property, data, findMirror(*info).get());
    return 1;
}

int releaseRecord(DeviceInfo* info) {
    if (info == nullptr) return 0;
    detachMirror(*info);
    return 1;
}

}  // namespace

extern "C" {

int __cdecl getDeviceInfo(int /*index: every device shares one set of settings*/, DeviceInfo* info) {
    return guarded("getDeviceInfo", Registry::PassesOut, 0, [&] { return loadDeviceInfo(info); });
}

int __cdecl setDeviceProperty(DeviceInfo* info, int property, const unsigned char* data) {
    return guarded("setDeviceProperty", Registry::PassesOut, 0, [&] { return changeDeviceProperty(info, property, data); });
}

int __cdecl releaseDeviceInfo(DeviceInfo* info) {
    return guarded("releaseDeviceInfo", Registry::Contained, 0, [&] { return releaseRecord(info); });
}

}  // extern "C"
