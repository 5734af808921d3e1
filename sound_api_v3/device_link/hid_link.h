// One open HID interface of the headset, used for one exchange within one call.
#pragma once

#include <windows.h>

#include <cstdint>

#include "common/unique_handle.h"
#include "device_link/hid_api.h"

namespace zol::device_link {

// Reports are framed in hidapi's way: byte 0 is the report id, the payload follows.
class HidLink {
public:
    HidLink() = default;
    // Closing is part of every path out of a call; the destructor makes that hold by construction.
    ~HidLink() { close(); }
    HidLink(const HidLink&) = delete;
    HidLink& operator=(const HidLink&) = delete;

    // hid_open_intf_rptid with the four ids, then setup; false (and closed) when either fails.
    bool open(std::uint16_t vendorId, std::uint16_t productId, std::uint16_t interfaceNumber, std::uint16_t reportId);
    // 0 done; -1 invalid OS handle; -2 no preparsed data; -3 capability query failed.
    int setup();
    // Sends one output report: report id, then outputReportLength - 1 bytes of `data`. True when
    // hidapi wrote the whole report. hidapi's write waits for completion without a time-out.
    bool writeReport(const unsigned char* data, std::uint8_t reportId);
    // Reads one input report into `buffer` (inputReportLength - 1 bytes, id byte dropped). A full
    // answer returns inputReportLength; a time-out 0; a read error -1.
    int readReport(unsigned char* buffer, std::uint8_t reportId, int timeoutMs);
    void close();

    bool isOpen() const { return device_ != nullptr; }
    std::uint32_t inputLength() const { return isOpen() ? inputReportLength_ : 0; }
    std::uint32_t outputLength() const { return isOpen() ? outputReportLength_ : 0; }
    std::uint32_t featureLength() const { return isOpen() ? featureReportLength_ : 0; }

private:
    unique_hid_device device_;
    HANDLE osHandle_ = INVALID_HANDLE_VALUE;  // owned by device_
    std::uint32_t inputReportLength_ = 0;
    std::uint32_t outputReportLength_ = 0;
    std::uint32_t featureReportLength_ = 0;
};

// The two exchanges of the host's transfer exports.
int transferData(int vendorId, int productId, int interfaceNumber, int reportId, const unsigned char* output,
                 unsigned char* input);
int isUsbConnected(int vendorId, int productId, int interfaceNumber, int reportId);

}  // namespace zol::device_link
