#include "settings_session.h"

#include <cstring>
#include <string>

#include "cli.h"
#include "common/unique_handle.h"
#include "settings/device_info.h"

namespace zolctl {

SettingsSession::SettingsSession(Library& library) : library_(library) {
    auto getDeviceInfo = library_.get<exports::GetDeviceInfo>("getDeviceInfo");
    library_.get<exports::ReleaseDeviceInfo>("releaseDeviceInfo");  // fail before opening, not after
    const int result = getDeviceInfo(0, &record_);
    if (result != 1) throw CliError(kFailed, "getDeviceInfo returned " + std::to_string(result));
    open_ = true;
}

SettingsSession::~SettingsSession() {
    if (open_) library_.get<exports::ReleaseDeviceInfo>("releaseDeviceInfo")(&record_);
}

std::array<unsigned char, SettingsSession::kGainBlockSize> SettingsSession::gainBlock() const {
    std::array<unsigned char, kGainBlockSize> block{};
    std::memcpy(block.data(), &record_.eqGains, kGainBlockSize);
    return block;
}

void SettingsSession::setProperty(int property, const unsigned char* data) {
    const int result = library_.get<exports::SetDeviceProperty>("setDeviceProperty")(&record_, property, data);
    if (result != 1)
        throw CliError(kFailed, "setDeviceProperty(" + std::to_string(property) + ") returned " + std::to_string(result));
}

namespace {
EqView decodeEq(const EffectBlock& effect) {
    EqView view;
    view.sampleRate = effect.sampleRate;
    for (int k = 0; k < 10; ++k) {
        const EqBand& band = effect.bands[k];
        const BiquadCoefficients& c = effect.coefficients[k];
        view.bands.push_back({k + 1, band.frequency, band.gain, band.bandwidth, {c.a1, c.a2, c.b0, c.b1, c.b2}});
    }
    return view;
}
}  // namespace

SectionView SettingsSession::section() const {
    SectionView view;
    zol::common::unique_kernel_handle section(
        OpenFileMappingW(FILE_MAP_READ, FALSE, zol::settings::kSettingsSectionName));
    if (!section) {
        view.error = GetLastError();
        return view;
    }
    constexpr size_t kShown = 4 + sizeof(ControlBlock) + sizeof(EffectBlock);
    zol::common::unique_view mapped(MapViewOfFile(section.get(), FILE_MAP_READ, 0, 0, kShown));
    if (!mapped) {
        view.error = GetLastError();
        return view;
    }
    const auto* bytes = static_cast<const unsigned char*>(mapped.get());
    view.present = true;
    std::memcpy(&view.payloadSize, bytes, sizeof view.payloadSize);
    view.controlMatchesRecord = std::memcmp(bytes + 4, &record_.control, sizeof(ControlBlock)) == 0;
    view.effectMatchesRecord = std::memcmp(bytes + 4 + sizeof(ControlBlock), &record_.effect, sizeof(EffectBlock)) == 0;
    EffectBlock effect;
    std::memcpy(&effect, bytes + 4 + sizeof(ControlBlock), sizeof effect);
    view.eq = decodeEq(effect);
    return view;
}

EqView SettingsSession::eq() const { return decodeEq(record_.effect); }


}  // namespace zolctl
