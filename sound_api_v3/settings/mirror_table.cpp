#include "settings/mirror_table.h"

#include <windows.h>
#include <ntsecapi.h>

#include <cstring>
#include <map>
#include <mutex>

namespace zol::settings {
namespace {

// Never 0, so an all-zero record links to nothing.
std::uint32_t randomLoadTag() {
    std::uint32_t tag = 0;
    if (!RtlGenRandom(&tag, sizeof tag))
        tag = static_cast<std::uint32_t>(GetTickCount64() * 2654435761u) ^ GetCurrentProcessId();
    return tag != 0 ? tag : 1;
}

struct MirrorTable {
    std::mutex lock;
    std::map<std::uint64_t, std::shared_ptr<SettingsMirror>> mirrors;
    std::uint32_t lastNumber = 0;
    const std::uint32_t tag = randomLoadTag();
};

MirrorTable& table() {
    static MirrorTable instance;
    return instance;
}

std::uint64_t linkIn(const DeviceInfo& info) {
    std::uint64_t link = 0;
    std::memcpy(&link, info.mirror, sizeof link);
    return link;
}

}  // namespace

void attachMirror(DeviceInfo& info, std::unique_ptr<SettingsMirror> mirror) {
    MirrorTable& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    const std::uint64_t link = (static_cast<std::uint64_t>(t.tag) << 32) | ++t.lastNumber;
    t.mirrors.emplace(link, std::move(mirror));
    std::memcpy(info.mirror, &link, sizeof link);
}

std::shared_ptr<SettingsMirror> findMirror(const DeviceInfo& info) {
    MirrorTable& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    const auto it = t.mirrors.find(linkIn(info));
    return it == t.mirrors.end() ? nullptr : it->second;
}

void detachMirror(const DeviceInfo& info) {
    std::shared_ptr<SettingsMirror> mirror;  // closes on the way out, after the lock is let go
    MirrorTable& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    const auto it = t.mirrors.find(linkIn(info));
    if (it == t.mirrors.end()) return;
    mirror = std::move(it->second);
    t.mirrors.erase(it);
}

}  // namespace zol::settings
