#include "device_link/hid_link.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "device_link/hid_api.h"
#include "log/debug_log.h"

namespace zol::device_link {
namespace {

// Lengths a device reports outside this range are not trusted; its reports are taken as 64 bytes.
std::uint32_t usableLength(USHORT reported) { return reported >= 1 && reported <= 1024 ? reported : 64; }

constexpr int kAnswerReads = 5;
constexpr int kAnswerReadTimeoutMs = 10;

}  // namespace

bool HidLink::open(std::uint16_t vendorId, std::uint16_t productId, std::uint16_t interfaceNumber,
                   std::uint16_t reportId) {
    close();
    device_.reset(hid_open_intf_rptid(vendorId, productId, interfaceNumber, reportId));
    if (!device_) return false;
    osHandle_ = hid_get_device_handle(device_.get());
    if (setup() != 0) {
        close();
        return false;
    }
    return true;
}

int HidLink::setup() {
    if (osHandle_ == INVALID_HANDLE_VALUE) return -1;
    PHIDP_PREPARSED_DATA raw = nullptr;
    if (!HidD_GetPreparsedData(osHandle_, &raw)) return -2;
    const unique_preparsed data(raw);
    HIDP_CAPS caps{};
    if (HidP_GetCaps(raw, &caps) != HIDP_STATUS_SUCCESS) return -3;
    log::trace(L"inBufLen=%d", static_cast<int>(caps.InputReportByteLength));
    inputReportLength_ = usableLength(caps.InputReportByteLength);
    outputReportLength_ = usableLength(caps.OutputReportByteLength);
    featureReportLength_ = usableLength(caps.FeatureReportByteLength);

    HidD_SetNumInputBuffers(osHandle_, 2);  // the driver keeps at most two unread answers

    HidD_FlushQueue(osHandle_);  // answers to someone else's earlier requests are not ours
    return 0;
}

bool HidLink::writeReport(const unsigned char* data, std::uint8_t reportId) {
    if (!device_) return false;
    std::vector<unsigned char> report(outputReportLength_, 0);
    report[0] = reportId;
    std::memcpy(report.data() + 1, data, outputReportLength_ - 1);
    return hid_write(device_.get(), report.data(), report.size()) == static_cast<int>(outputReportLength_);
}

int HidLink::readReport(unsigned char* buffer, std::uint8_t reportId, int timeoutMs) {
    if (!buffer || !device_ || inputReportLength_ < 1) return 0;
    std::vector<unsigned char> report(inputReportLength_, 0);
    report[0] = reportId;
    hid_set_nonblocking(device_.get(), 0);
    const int n = hid_read_timeout(device_.get(), report.data(), report.size(), timeoutMs);
    if (n <= 1) return n;
    const std::size_t room = inputReportLength_ - 1;  // what the caller's buffer holds
    if (reportId == 0) {
        // hidapi has dropped the zero id byte already.
        std::memcpy(buffer, report.data(), std::min<std::size_t>(n, room));
        return static_cast<int>(inputReportLength_);
    }
    std::memcpy(buffer, report.data() + 1, std::min<std::size_t>(n - 1, room));
    return n;
}

void HidLink::close() {
    device_.reset();
    osHandle_ = INVALID_HANDLE_VALUE;
    inputReportLength_ = outputReportLength_ = featureReportLength_ = 0;
}

int transferData(int vendorId, int productId, int interfaceNumber, int reportId, const unsigned char* output,
                 unsigned char* input) {
    HidLink link;
    if (!link.open(static_cast<std::uint16_t>(vendorId), static_cast<std::uint16_t>(productId),
                   static_cast<std::uint16_t>(interfaceNumber), static_cast<std::uint16_t>(reportId)))
        return -1;
    const auto id = static_cast<std::uint8_t>(reportId);
    if (output) link.writeReport(output, id);  // a lost write shows as a missing answer
    if (!input) return 1;
    // A read that times out stays pending in hidapi; the next one goes on waiting for it.
    for (int attempt = 0; attempt < kAnswerReads; ++attempt)
        if (link.readReport(input, id, kAnswerReadTimeoutMs) == static_cast<int>(link.inputLength())) return 1;
    return 0;
}

int isUsbConnected(int vendorId, int productId, int interfaceNumber, int reportId) {
    HidLink link;
    return link.open(static_cast<std::uint16_t>(vendorId), static_cast<std::uint16_t>(productId),
                     static_cast<std::uint16_t>(interfaceNumber), static_cast<std::uint16_t>(reportId))
               ? 1
               : -1;
}

}  // namespace zol::device_link
