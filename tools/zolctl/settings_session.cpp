#include "settings_session.h"

#include <cstring>
#include <string>

#include "cli.h"

namespace zolctl {
namespace {
// Where the host's record keeps the equaliser (bytes of DeviceInfo).
constexpr size_t kSampleRateOffset = 36;
constexpr size_t kBandsOffset = 67, kBandSize = 14;
constexpr size_t kCoefficientsOffset = 207, kCoefficientsSize = 20;
constexpr int kBandCount = 10;

float f32At(const unsigned char* p) {
    float v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
}  // namespace

SettingsSession::SettingsSession(Library& library) : library_(library) {
    auto getDeviceInfo = library_.get<exports::GetDeviceInfo>("getDeviceInfo");
    library_.get<exports::ReleaseDeviceInfo>("releaseDeviceInfo");  // fail before opening, not after
    const int result = getDeviceInfo(0, record_.data());
    if (result != 1) throw CliError(kFailed, "getDeviceInfo returned " + std::to_string(result));
    open_ = true;
}

SettingsSession::~SettingsSession() {
    if (open_) library_.get<exports::ReleaseDeviceInfo>("releaseDeviceInfo")(record_.data());
}

std::array<unsigned char, SettingsSession::kGainBlockSize> SettingsSession::gainBlock() const {
    std::array<unsigned char, kGainBlockSize> block{};
    std::memcpy(block.data(), record_.data() + kGainBlockOffset, kGainBlockSize);
    return block;
}

void SettingsSession::setProperty(int property, const unsigned char* data) {
    const int result = library_.get<exports::SetDeviceProperty>("setDeviceProperty")(record_.data(), property, data);
    if (result != 1)
        throw CliError(kFailed, "setDeviceProperty(" + std::to_string(property) + ") returned " + std::to_string(result));
}

EqView SettingsSession::eq() const {
    EqView view;
    std::int32_t rate;
    std::memcpy(&rate, record_.data() + kSampleRateOffset, sizeof rate);
    view.sampleRate = rate;
    for (int k = 0; k < kBandCount; ++k) {
        const unsigned char* band = record_.data() + kBandsOffset + kBandSize * k;
        const unsigned char* c = record_.data() + kCoefficientsOffset + kCoefficientsSize * k;
        view.bands.push_back({k + 1, f32At(band + 2), f32At(band + 6), f32At(band + 10),
                              {f32At(c), f32At(c + 4), f32At(c + 8), f32At(c + 12), f32At(c + 16)}});
    }
    return view;
}

}  // namespace zolctl
