#include "settings/mirror_table.h"

#include <cstring>
#include <map>
#include <mutex>

namespace zol::settings {
namespace {

struct MirrorTable {
    std::mutex lock;
    std::map<std::uint64_t, std::unique_ptr<SettingsMirror>> mirrors;
    std::uint64_t lastNumber = 0;
};

MirrorTable& table() {
    static MirrorTable instance;
    return instance;
}

std::uint64_t numberIn(const DeviceInfo& info) {
    std::uint64_t number = 0;
    std::memcpy(&number, info.mirror, sizeof number);
    return number;
}

}  // namespace

void attachMirror(DeviceInfo& info, std::unique_ptr<SettingsMirror> mirror) {
    MirrorTable& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    const std::uint64_t number = ++t.lastNumber;
    t.mirrors.emplace(number, std::move(mirror));
    std::memcpy(info.mirror, &number, sizeof number);
}

SettingsMirror* findMirror(const DeviceInfo& info) {
    MirrorTable& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    const auto it = t.mirrors.find(numberIn(info));
    return it == t.mirrors.end() ? nullptr : it->second.get();
}

void detachMirror(const DeviceInfo& info) {
    std::unique_ptr<SettingsMirror> mirror;  // closes on the way out, after the lock is let go
    MirrorTable& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    const auto it = t.mirrors.find(numberIn(info));
    if (it == t.mirrors.end()) return;
    mirror = std::move(it->second);
    t.mirrors.erase(it);
}

}  // namespace zol::settings
