#include "settings/device_settings.h"

#include <cstring>

#include "common/product_key.h"
#include "registry/registry.h"
#include "settings/equalizer.h"
#include "volume/endpoint_volume.h"

namespace zol::settings {
namespace {

constexpr int kRender = 0;
constexpr int kCapture = 1;

// The stored block if there is one (only its own length, never more than the block),
// otherwise the defaults just built become the stored block.
void reconcileWithRegistry(const wchar_t* valueName, void* block, std::uint32_t size) {
    if (registry::valueExists(common::kProductKey, valueName))
        registry::readBinaryValueInto(common::kProductKey, valueName, block, size);
    else
        registry::writeBinaryValue(common::kProductKey, valueName, block, size);
}

void setRenderVolume(EffectBlock& effect, int percent) {
    effect.renderVolume = static_cast<std::uint8_t>(percent);
    effect.renderVolumeCopies[0] = effect.renderVolume;
    effect.renderVolumeCopies[1] = effect.renderVolume;
}

}  // namespace

void loadDeviceSettings(DeviceInfo* target) {
    DeviceInfo record{};

    ControlBlock& control = record.control;
    control.field4 = kDefaultSampleRate;
    control.field21 = 1;
    control.captureVolume = static_cast<std::uint32_t>(volume::readDefaultEndpointVolume(kCapture));
    control.renderVolume = static_cast<std::uint32_t>(volume::readDefaultEndpointVolume(kRender));
    control.field16 = 50;
    reconcileWithRegistry(kControlValue, &control, sizeof control);
    control.captureVolume = static_cast<std::uint32_t>(volume::readDefaultEndpointVolume(kCapture));
    control.captureMute = static_cast<std::uint8_t>(volume::readDefaultEndpointMute(kCapture));

    // Stored with an all-zero equaliser: bands and coefficients are rebuilt on every load.
    EffectBlock& effect = record.effect;
    setRenderVolume(effect, volume::readDefaultEndpointVolume(kRender));
    effect.sampleRate = static_cast<std::int32_t>(kDefaultSampleRate);
    effect.field13[0] = 1;
    effect.field13[1] = 1;
    reconcileWithRegistry(kEffectValue, &effect, sizeof effect);

    reconcileWithRegistry(kEqGainValue, &record.eqGains, sizeof record.eqGains);

    applyEqGains(record, record.eqGains.gains);

    setRenderVolume(effect, volume::readDefaultEndpointVolume(kRender));
    effect.renderMute = static_cast<std::uint8_t>(volume::readDefaultEndpointMute(kRender));

    if (target != nullptr) std::memcpy(target, &record, sizeof record);
}

void updateDeviceProperty(DeviceInfo& info, int property, const unsigned char* data, SettingsMirror* mirror) {
    switch (property) {
    case ZOL_PROPERTY_CONTROL:
        std::memcpy(&info.control, data, sizeof info.control);
        registry::writeBinaryValue(common::kProductKey, kControlValue, &info.control, sizeof info.control);
        if (mirror) mirror->write(&info.control, kControlPayloadOffset, sizeof info.control);
        break;
    case ZOL_PROPERTY_EFFECT:
        std::memcpy(&info.effect, data, sizeof info.effect);
        registry::writeBinaryValue(common::kProductKey, kEffectValue, &info.effect, sizeof info.effect);
        if (mirror) mirror->write(&info.effect, kEffectPayloadOffset, sizeof info.effect);
        break;
    case ZOL_PROPERTY_EQ_GAINS:
        std::memcpy(&info.eqGains, data, sizeof info.eqGains);
        applyEqGains(info, info.eqGains.gains);
        registry::writeBinaryValue(common::kProductKey, kEqGainValue, &info.eqGains, sizeof info.eqGains);
        registry::writeBinaryValue(common::kProductKey, kEffectValue, &info.effect, sizeof info.effect);
        if (mirror) mirror->write(&info.effect, kEffectPayloadOffset, sizeof info.effect);
        break;
    default:
        break;
    }
}

}  // namespace zol::settings
