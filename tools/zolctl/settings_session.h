// One settings session as the host runs it: getDeviceInfo on a host-owned record, any number of
// setDeviceProperty calls, releaseDeviceInfo when done (also on errors).
#pragma once

#include <array>
#include <cstdint>

#include "eq_response.h"
#include "library.h"

namespace zolctl {

// The settings as the audio effect sees them: the shared section, opened by name from outside.
struct SectionView {
    bool present = false;
    unsigned long error = 0;          // why it could not be opened
    std::uint32_t payloadSize = 0;
    bool controlMatchesRecord = false;
    bool effectMatchesRecord = false;
    EqView eq;                        // decoded from the section's effect block
};

class SettingsSession {
public:
    static constexpr size_t kGainBlockSize = sizeof(EqGainBlock);

    explicit SettingsSession(Library& library);
    ~SettingsSession();
    SettingsSession(const SettingsSession&) = delete;
    SettingsSession& operator=(const SettingsSession&) = delete;

    const DeviceInfo& record() const { return record_; }
    std::array<unsigned char, kGainBlockSize> gainBlock() const;
    void setProperty(int property, const unsigned char* data);  // CliError when refused

    EqView eq() const;  // bands, gains and coefficients as the library left them in the record
    // Valid while the session holds the section open (the library's handle keeps it alive).
    SectionView section() const;

private:
    Library& library_;
    DeviceInfo record_{};
    bool open_ = false;
};

}  // namespace zolctl
