// Master volume and mute of the default endpoint of a data flow (0 render, 1 capture), in the
// multimedia role. Every call builds the whole Core Audio chain inside its own single-threaded
// COM initialisation and releases it again: nothing is kept between calls.
#pragma once

#include <windows.h>

namespace zol::volume {

// Percent 0..100 (level x 100 in single precision, truncated, capped); 50 when unreadable.
int readDefaultEndpointVolume(int flow);
// 1 when muted, else 0; 0 when unreadable.
int readDefaultEndpointMute(int flow);

// The endpoint's own BOOL; 0 when unreadable.
BOOL readDefaultEndpointMuteState(int flow);
// Level = percent / 100; the endpoint decides what it accepts. True when it did.
bool setDefaultEndpointVolume(int percent, int flow);
bool setDefaultEndpointMute(BOOL mute, int flow);

}  // namespace zol::volume
