// Master volume and mute exports: thin C entry points over the endpoint volume operations.
#include "zol_ecd_api.h"

#include "volume/endpoint_volume.h"

extern "C" {

int __cdecl _SetMasterMute(int mute, int flow) { return zol::volume::setDefaultEndpointMute(mute, flow) ? 1 : 0; }

int __cdecl _GetMasterMute(int flow) { return zol::volume::readDefaultEndpointMuteState(flow); }

int __cdecl _SetVolum(int volume, int flow, int /*unused*/) {
    return zol::volume::setDefaultEndpointVolume(volume, flow) ? 1 : 0;
}

int __cdecl _getVolum(int flow, int /*unused*/) { return zol::volume::readDefaultEndpointVolume(flow); }

}  // extern "C"
