#include "volume/endpoint_volume.h"

#include <audioclient.h>
#include <endpointvolume.h>
#include <mmdeviceapi.h>
#include <wrl/client.h>

#include <algorithm>

#include "common/com_apartment.h"

namespace zol::volume {
namespace {

using Microsoft::WRL::ComPtr;

// The published identifiers, spelt out so nothing depends on which SDK defines them.
constexpr CLSID kMMDeviceEnumeratorClsid = {0xBCDE0395, 0xE52F, 0x467C, {0x8E, 0x3D, 0xC4, 0x57, 0x92, 0x91, 0x69, 0x2E}};
constexpr IID kMMDeviceEnumeratorIid = {0xA95664D2, 0x9614, 0x4F35, {0xA7, 0x46, 0xDE, 0x8D, 0xB6, 0x36, 0x17, 0xE6}};
constexpr IID kAudioEndpointVolumeIid = {0x5CDF2C82, 0x841E, 0x4546, {0x97, 0x22, 0x0C, 0xF7, 0x40, 0x78, 0x22, 0x9A}};
constexpr IID kAudioClientIid = {0x1CB9AD4C, 0xDBFA, 0x4C32, {0xB1, 0x78, 0xC2, 0xF5, 0x68, 0xA7, 0x03, 0xB2}};

// The one sequence every volume and mute operation runs: apartment, enumerator, default
// endpoint, endpoint volume, audio client (obtained only because the sequence has always
// required it), then `operation`. Interfaces are released in reverse order before COM is
// uninitialised. True when every step and the operation succeeded.
template <typename Operation>
bool onDefaultEndpoint(int flow, Operation&& operation) {
    common::ApartmentScope apartment;
    if (!apartment.ok()) return false;
    ComPtr<IMMDeviceEnumerator> enumerator;
    ComPtr<IMMDevice> device;
    ComPtr<IAudioEndpointVolume> endpointVolume;
    ComPtr<IAudioClient> audioClient;
    if (FAILED(CoCreateInstance(kMMDeviceEnumeratorClsid, nullptr, CLSCTX_ALL, kMMDeviceEnumeratorIid,
                                reinterpret_cast<void**>(enumerator.GetAddressOf()))) ||
        !enumerator)
        return false;
    if (FAILED(enumerator->GetDefaultAudioEndpoint(static_cast<EDataFlow>(flow), eMultimedia, device.GetAddressOf())) ||
        !device)
        return false;
    if (FAILED(device->Activate(kAudioEndpointVolumeIid, CLSCTX_ALL, nullptr,
                                reinterpret_cast<void**>(endpointVolume.GetAddressOf()))) ||
        !endpointVolume)
        return false;
    if (FAILED(device->Activate(kAudioClientIid, CLSCTX_ALL, nullptr, reinterpret_cast<void**>(audioClient.GetAddressOf()))))
        return false;
    return SUCCEEDED(operation(endpointVolume.Get()));
}

const GUID kNoEventContext = {};

}  // namespace

int readDefaultEndpointVolume(int flow) {
    float level = 0.0f;
    if (!onDefaultEndpoint(flow, [&](IAudioEndpointVolume* v) { return v->GetMasterVolumeLevelScalar(&level); }))
        return 50;
    return std::min(static_cast<int>(level * 100.0f), 100);
}

BOOL readDefaultEndpointMuteState(int flow) {
    BOOL muted = FALSE;
    if (!onDefaultEndpoint(flow, [&](IAudioEndpointVolume* v) { return v->GetMute(&muted); })) return FALSE;
    return muted;
}

int readDefaultEndpointMute(int flow) { return readDefaultEndpointMuteState(flow) ? 1 : 0; }

bool setDefaultEndpointVolume(int percent, int flow) {
    const float level = static_cast<float>(static_cast<float>(percent) / 100.0);
    return onDefaultEndpoint(flow, [&](IAudioEndpointVolume* v) {
        return v->SetMasterVolumeLevelScalar(level, &kNoEventContext);
    });
}

bool setDefaultEndpointMute(BOOL mute, int flow) {
    return onDefaultEndpoint(flow, [&](IAudioEndpointVolume* v) { return v->SetMute(mute, &kNoEventContext); });
}

}  // namespace zol::volume
