// One settings session as the host runs it: getDeviceInfo on a host-owned record, any number of
// setDeviceProperty calls, releaseDeviceInfo when done (also on errors).
#pragma once

#include <array>
#include <cstdint>

#include "eq_response.h"
#include "library.h"

namespace zolctl {

class SettingsSession {
public:
    static constexpr size_t kRecordSize = 944;
    static constexpr size_t kGainBlockOffset = 899;
    static constexpr size_t kGainBlockSize = 32;
    static constexpr int kGainProperty = 3;

    explicit SettingsSession(Library& library);
    ~SettingsSession();
    SettingsSession(const SettingsSession&) = delete;
    SettingsSession& operator=(const SettingsSession&) = delete;

    const unsigned char* record() const { return record_.data(); }
    std::array<unsigned char, kGainBlockSize> gainBlock() const;
    void setProperty(int property, const unsigned char* data);  // CliError when refused

    EqView eq() const;  // bands, gains and coefficients as the library left them in the record

private:
    Library& library_;
    alignas(8) std::array<unsigned char, kRecordSize> record_{};
    bool open_ = false;
};

}  // namespace zolctl
