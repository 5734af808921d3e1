// Firmware update against the simulated headset: the library's cost per 63-byte block when the
// device lets it send freely, and a paced image against its floor, the 3 ms pauses alone.
#include <cstdio>
#include <vector>

#include "bench_report.h"
#include "device_link/firmware_update.h"
#include "simulated_headset.h"

namespace {

int runUpdate(const std::vector<unsigned char>& image, zol::sim::FirmwareScript::Flow flow) {
    zol::sim::detachAll();
    zol::sim::FirmwareScript script;
    script.imageLength = image.size();
    script.flow = flow;
    auto device = zol::sim::attachKitHeadset(0x0A1B, 0x00C2, script);
    const int status = zol::device_link::updateFirmware(nullptr, nullptr, image.data(), static_cast<int>(image.size()), 0);
    if (status != 0 || device->image != image) std::fprintf(stderr, "update failed: %d\n", status);
    return status;
}

}  // namespace

int main() {
    std::vector<unsigned char> image(256 * 1024);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<unsigned char>(i * 31 + 7);
    const double blocks = static_cast<double>(image.size() / 63);

    const double freeNs = zol::bench::nsPerCall([&] { runUpdate(image, zol::sim::FirmwareScript::Flow::sendFreely); }, 1, 5);
    zol::bench::report("firmware update, send freely: cost per 63-byte block (incl. simulated device)", freeNs / blocks,
                       "no floor: nothing to wait for");

    // Paced, the pauses are nearly all of it; a loaded machine stretches them, so the floor is
    // the same pauses taken in the neighbouring round.
    const std::vector<unsigned char> paced(image.begin(), image.begin() + 32 * 1024);
    const std::size_t pacedBlocks = paced.size() / 63;
    const zol::bench::Comparison pacing = zol::bench::compare(
        [&] { runUpdate(paced, zol::sim::FirmwareScript::Flow::pace); },
        [&] {
            for (std::size_t b = 0; b < pacedBlocks; ++b) zol::device_link::pauseBeforePacedBlock();
        },
        1, 7);
    zol::bench::report("firmware update, 32 KiB paced every block: total", pacing,
                       "the pauses alone: blocks x pauseBeforePacedBlock (3 ms)");
    return 0;
}
