// Master volume and mute exports: thin C entry points over the endpoint volume operations.
#include "zol_ecd_api.h"

#include "exports/boundary.h"
#include "volume/endpoint_volume.h"

using zol::exports::guarded;
using zol::exports::Registry;

extern "C" {

int __cdecl _SetMasterMute(int mute, int flow) {
    return guarded("_SetMasterMute", Registry::Contained, 0,
                   [&] { return zol::volume::setDefaultEndpointMute(mute, flow) ? 1 : 0; });
}

int __cdecl _GetMasterMute(int flow) {
    return guarded("_GetMasterMute", Registry::Contained, 0, [&] { return zol::volume::readDefaultEndpointMuteState(flow); });
}

int __cdecl _SetVolum(int volume, int flow, int /*unused*/) {
    return guarded("_SetVolum", Registry::Contained, 0,
                   [&] { return zol::volume::setDefaultEndpointVolume(volume, flow) ? 1 : 0; });
}

int __cdecl _getVolum(int flow, int /*unused*/) {
    return guarded("_getVolum", Registry::Contained, 50, [&] { return zol::volume::readDefaultEndpointVolume(flow); });
}

}  // extern "C"
