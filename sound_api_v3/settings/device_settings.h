// Loading the settings record from the registry and changing one block of it.
#pragma once

#include "settings/device_info.h"
#include "settings/settings_mirror.h"

namespace zol::settings {

// Builds the record in private (defaults, stored values, equaliser, live volume and mute),
// creating missing registry values with their defaults, then copies all 944 bytes to `target`
// if one is given. Raises RegistryException; `target` is then left as it was.
void loadDeviceSettings(DeviceInfo* target);

// One setDeviceProperty update (property 1, 2 or 3): record, then registry, then `mirror`
// (which may be null or closed). A registry failure raises after the record was changed.
void updateDeviceProperty(DeviceInfo& info, int property, const unsigned char* data, SettingsMirror* mirror);

}  // namespace zol::settings
