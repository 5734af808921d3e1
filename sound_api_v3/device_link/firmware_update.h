// Writes a firmware image into the headset through two collections of its control interface.
#pragma once

#include <windows.h>

namespace zol::device_link {

// Progress: (context, value, stage), stages 0-6 only. An update the device stopped taking part in
// reports nothing more: its last stage tells how far it got.
using FirmwareProgress = void (*)(void* context, int value, int stage);

enum FirmwareStage : int {
    kStageEntered = 0,
    kStageDeviceFound = 1,
    kStageChannelsOpen = 2,
    kStageStartAccepted = 3,
    kStageBlockSent = 4,  // value: percentage
    kStageAllSent = 5,
    kStageFinalStatus = 6,  // value: the device's status byte
};

// Which wait gave up (named in the log line).
enum FirmwareWait : int {
    kWaitHandshake = 1,
    kWaitBlockPhase = 2,
    kWaitPartialBlock = 3,
    kWaitFinalStatus = 4,
};

// Results besides the device's status byte (0..255).
constexpr int kFirmwareNoDevice = 0;
constexpr int kFirmwareChannelNotOpened = -1;
constexpr int kFirmwareBadImage = -2;  // negative length, or no image for a positive one
constexpr int kFirmwareDeviceSilent = -4;

// Bounds of the waits, in milliseconds. Each is measured from the moment the wait begins; garbage
// answers do not restart it, so a babbling device cannot hold the host either.
struct FirmwareTimeouts {
    // Start packet to "start accepted": the device may erase its whole flash first (a few
    // seconds for the parts such headsets carry); ample headroom.
    DWORD handshakeMs = 30000;
    // A paced block to the next flow-control answer: one page write, or a sector erase when
    // the write crosses into a new sector (tens of milliseconds).
    DWORD blockAnswerMs = 5000;
    // Before the final partial block: the device finishing its pending writes.
    DWORD partialBlockMs = 5000;
    // All data sent to the final status: the device may verify the whole image.
    DWORD finalStatusMs = 30000;
    // Reads that fail one after another for this long (and nothing else): the device is gone.
    DWORD deviceLostMs = 2000;
};

// The update itself; _update_7420_fw runs it with the default bounds. `image` covers
// `imageLength` bytes; anything else is refused before the first callback.
int updateFirmware(FirmwareProgress progress, void* context, const unsigned char* image, int imageLength,
                   int startParameter, const FirmwareTimeouts& timeouts = FirmwareTimeouts{});

// The 3 ms pause before a paced block, kept close to its length (Sleep alone overshoots).
void pauseBeforePacedBlock();

}  // namespace zol::device_link
