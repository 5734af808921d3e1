#include "settings/settings_mirror.h"

#include <cstring>

#include "common/security.h"

namespace zol::settings {
namespace {
constexpr DWORD kSectionAccess = 0xF001F;  // SECTION_ALL_ACCESS, for the user and for the audio engine
}

bool SettingsMirror::open(std::uint32_t size, const wchar_t* name, bool restricted) {
    close();
    if (size < sizeof(std::uint32_t)) return false;  // no room for the payload size
    common::GlobalObjectSecurity security;
    if (restricted && common::buildGlobalObjectSecurity(security, kSectionAccess, kSectionAccess) < 1) return false;
    if (name != nullptr) name_ = name;

    section_.reset(CreateFileMappingW(INVALID_HANDLE_VALUE, restricted ? &security.attributes : nullptr,
                                      PAGE_READWRITE, 0, size, name_.c_str()));
    if (!section_) return false;

    size_ = size;
    // An existing section smaller than `size` cannot be mapped at that size: stay closed.
    view_.reset(MapViewOfFile(section_.get(), FILE_MAP_ALL_ACCESS, 0, 0, size));
    if (!view_) {
        section_.reset();
        return false;
    }
    const std::uint32_t payloadSize = size - 4;
    std::memcpy(view_.get(), &payloadSize, sizeof payloadSize);
    return true;
}

void SettingsMirror::write(const void* source, std::uint32_t payloadOffset, std::uint32_t length) {
    if (!view_) return;
    const std::uint32_t payloadSize = size_ - 4;
    if (payloadOffset >= payloadSize) return;
    if (length > payloadSize - payloadOffset) length = payloadSize - payloadOffset;
    std::memcpy(static_cast<std::uint8_t*>(view_.get()) + 4 + payloadOffset, source, length);
}

void SettingsMirror::close() {
    view_.reset();
    section_.reset();
}

}  // namespace zol::settings
