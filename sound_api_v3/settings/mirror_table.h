// The mirrors the library has handed out to host records. A record holds a link, never a
// pointer: the host's bytes are only ever looked up, so a fresh, copied or stale record cannot
// make the library touch memory it does not own. A link is a number that is not reused within
// one load of the library plus a random tag of that load, so a record from before a reload (or
// bytes that match by chance) finds nothing.
#pragma once

#include <cstdint>
#include <memory>

#include "settings/device_info.h"
#include "settings/settings_mirror.h"

namespace zol::settings {

// Takes ownership and stores the link in the record's mirror bytes.
void attachMirror(DeviceInfo& info, std::unique_ptr<SettingsMirror> mirror);
// The mirror the record refers to, or null when the record's bytes name none that is live. The
// mirror stays usable while the result is held, even if another thread detaches it meanwhile.
std::shared_ptr<SettingsMirror> findMirror(const DeviceInfo& info);
// Closes and forgets the record's mirror, if it has a live one; the record's bytes stay.
void detachMirror(const DeviceInfo& info);

}  // namespace zol::settings
