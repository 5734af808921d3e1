// The shared section the audio effect reads the settings from: a u32 payload size at byte 0,
// then the payload (ControlBlock at payload 0, EffectBlock at payload 32). No lock, no signal:
// the reader takes whatever bytes are there when it looks.
#pragma once

#include <cstdint>
#include <string>

#include "common/unique_handle.h"
#include "settings/device_info.h"

namespace zol::settings {

inline constexpr std::uint32_t kSettingsSectionSize = 8188;

class SettingsMirror {
public:
    SettingsMirror() = default;
    ~SettingsMirror() { close(); }
    SettingsMirror(const SettingsMirror&) = delete;
    SettingsMirror& operator=(const SettingsMirror&) = delete;

    // Creates the section or opens the existing one of that name, maps `size` bytes and writes
    // the payload size. Restricted: only the current user and LOCAL SERVICE may open it.
    // Any failure leaves the mirror closed; the result says whether it is open.
    bool open(std::uint32_t size, const wchar_t* name = nullptr, bool restricted = true);
    // Copies into the payload; clipped at the payload's end, ignored while closed.
    void write(const void* source, std::uint32_t payloadOffset, std::uint32_t length);
    void close();

    bool isOpen() const { return static_cast<bool>(view_); }
    HANDLE section() const { return section_.get(); }

private:
    common::unique_kernel_handle section_;
    common::unique_view view_;
    std::uint32_t size_ = 0;
    std::wstring name_ = kSettingsSectionName;
};

}  // namespace zol::settings
