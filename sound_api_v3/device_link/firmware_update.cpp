#include "device_link/firmware_update.h"

#include <chrono>
#include <cstring>
#include <optional>

#include "device_link/hid_api.h"
#include "device_link/supported_devices.h"
#include "log/debug_log.h"

namespace zol::device_link {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kPacketSize = 64;
constexpr std::size_t kBlockSize = 63;
constexpr unsigned short kCommandCollection = 3;
constexpr unsigned short kDataCollection = 4;
constexpr unsigned char kDataReportId = 0x41;
constexpr unsigned char kAnswerMark = 0x55;  // byte 0 of every answer, and bytes 0-1 of the start command
// Byte 1 of an answer says what it is; byte 2 carries its value.
constexpr unsigned char kFlowControlAnswer = 0x60;  // 0xFF: pace the blocks, 0x00: send freely
constexpr unsigned char kPacedFlow = 0xFF;
constexpr unsigned char kFreeFlow = 0x00;
constexpr unsigned char kStatusAnswer = 0x01;       // the final status of the update
constexpr unsigned char kStartAnswer = 0x02;        // the reply to the start command
constexpr unsigned char kStartAccepted = 0x01;
constexpr auto kPacedPause = std::chrono::milliseconds(3);

enum class SendState { paced, waiting, free };

struct Device {
    std::uint16_t vendorId, productId, interfaceNumber;
};

std::optional<Device> findDevice() {
    for (std::size_t i = 0; i < supportedDeviceCount(); ++i) {
        const SupportedDevice entry = supportedDevice(i);
        if (entry.isBluetooth()) continue;  // no HID interface to update over
        unique_hid_device probe(
            hid_open_intf_rptid(entry.vendorId(), entry.productId(), entry.interfaceNumber(), entry.reportId()));
        if (probe) return Device{entry.vendorId(), entry.productId(), entry.interfaceNumber()};
    }
    return std::nullopt;
}

// One bounded wait: expires `limit` after it began, or once reads have done nothing but fail for
// `lostLimit` (a device that was unplugged).
class Wait {
public:
    enum Outcome { goingOn, noAnswer, deviceLost };

    Wait(DWORD limitMs, DWORD lostLimitMs)
        : start_(Clock::now()), limit_(std::chrono::milliseconds(limitMs)), lostLimit_(std::chrono::milliseconds(lostLimitMs)) {}

    void restart() { start_ = Clock::now(); }

    // Called after each read with its count.
    Outcome after(int readCount) {
        const Clock::time_point now = Clock::now();
        if (readCount < 0) {
            if (!failing_) failingSince_ = now;
            failing_ = true;
            if (now - failingSince_ >= lostLimit_) return deviceLost;
        } else {
            failing_ = false;
        }
        return now - start_ >= limit_ ? noAnswer : goingOn;
    }

private:
    Clock::time_point start_;
    std::chrono::milliseconds limit_;
    std::chrono::milliseconds lostLimit_;
    bool failing_ = false;
    Clock::time_point failingSince_{};
};

class Update {
public:
    Update(FirmwareProgress progress, void* context, const FirmwareTimeouts& timeouts)
        : progress_(progress), context_(context), timeouts_(timeouts) {}

    int run(const unsigned char* image, int imageLength, int startParameter);

private:
    void report(int value, int stage) const {
        if (progress_) progress_(context_, value, stage);
    }

    // Hosts know stages 0-6 only: the last stage reported stays the one reached, and the log
    // tells which wait ended it and how.
    int giveUp(Wait::Outcome outcome, FirmwareWait wait) const {
        static const wchar_t* const kWaits[] = {L"", L"start handshake", L"block phase", L"partial block",
                                                L"final status"};
        log::trace(L":fw update: %s during the %s", outcome == Wait::deviceLost ? L"device lost" : L"no answer",
              kWaits[wait]);
        return kFirmwareDeviceSilent;
    }

    int finish(int status) const {
        report(status, kStageFinalStatus);
        return status;
    }

    int readCommand() {
        return hid_read(command_.get(), answer_, kPacketSize);
    }

    // False when hidapi reports the write failed: the device is gone. (A success may count more
    // than 64 bytes: hidapi pads to the device's output report length.)
    bool sendBlock(const unsigned char* block, std::size_t length) {
        unsigned char packet[kPacketSize] = {kDataReportId};
        std::memcpy(packet + 1, block, length);
        return hid_write(data_.get(), packet, kPacketSize) >= 0;
    }

    // Only a whole packet with the mark is an answer: a short read can leave stale bytes behind it.
    bool isAnswer(int count) const { return count == static_cast<int>(kPacketSize) && answer_[0] == kAnswerMark; }

    // A flow-control or status answer in answer_ after a read of `count`: true when it carried the
    // final status (left in status_).
    bool handleAnswer(int count) {
        if (!isAnswer(count)) return false;
        if (answer_[1] == kFlowControlAnswer) {
            if (answer_[2] == kPacedFlow) state_ = SendState::paced;
            else if (answer_[2] == kFreeFlow) state_ = SendState::free;
        } else if (answer_[1] == kStatusAnswer) {
            status_ = answer_[2];
            return true;
        }
        return false;
    }

    FirmwareProgress progress_;
    void* context_;
    const FirmwareTimeouts& timeouts_;
    unique_hid_device command_;
    unique_hid_device data_;
    unsigned char answer_[kPacketSize] = {};
    SendState state_ = SendState::paced;
    int status_ = 0;
};

int Update::run(const unsigned char* image, int imageLength, int startParameter) {
    if (imageLength < 0 || (image == nullptr && imageLength > 0)) return kFirmwareBadImage;
    report(0, kStageEntered);
    const std::optional<Device> device = findDevice();
    if (!device) return kFirmwareNoDevice;
    report(0, kStageDeviceFound);

    command_.reset(hid_open_intf_col(device->vendorId, device->productId, device->interfaceNumber, kCommandCollection));
    data_.reset(hid_open_intf_col(device->vendorId, device->productId, device->interfaceNumber, kDataCollection));
    if (!command_ || !data_) return kFirmwareChannelNotOpened;
    hid_set_nonblocking(command_.get(), 1);
    hid_set_nonblocking(data_.get(), 1);
    report(0, kStageChannelsOpen);

    const unsigned char start[kPacketSize] = {kAnswerMark, kAnswerMark, static_cast<unsigned char>(startParameter & 0xFF)};
    if (hid_write(command_.get(), start, kPacketSize) < 0) return giveUp(Wait::deviceLost, kWaitHandshake);

    for (Wait wait(timeouts_.handshakeMs, timeouts_.deviceLostMs);;) {
        std::memset(answer_, 0, sizeof answer_);
        const int count = readCommand();
        if (isAnswer(count) && answer_[1] == kStartAnswer && answer_[2] == kStartAccepted) break;
        if (const Wait::Outcome outcome = wait.after(count); outcome != Wait::goingOn)
            return giveUp(outcome, kWaitHandshake);
    }
    report(0, kStageStartAccepted);

    const std::size_t length = static_cast<std::size_t>(imageLength);
    const std::size_t fullBlocks = length / kBlockSize;
    const std::size_t partial = length % kBlockSize;
    std::size_t sent = 0;
    Wait blockWait(timeouts_.blockAnswerMs, timeouts_.deviceLostMs);
    while (sent < fullBlocks) {
        bool didSend = false;
        if (state_ == SendState::paced) {
            pauseBeforePacedBlock();
            state_ = SendState::waiting;
            blockWait.restart();
            didSend = true;
        } else if (state_ == SendState::free) {
            didSend = true;
        }
        if (didSend) {
            if (!sendBlock(image + sent * kBlockSize, kBlockSize)) return giveUp(Wait::deviceLost, kWaitBlockPhase);
            ++sent;
            report(static_cast<int>(sent * 100 / fullBlocks), kStageBlockSent);
        }
        const int count = readCommand();
        if (handleAnswer(count)) return finish(status_);
        const Wait::Outcome outcome = blockWait.after(count);
        // Free sending makes progress by itself; only a device that holds us waiting, or that is
        // gone, ends the update.
        if (outcome == Wait::deviceLost || (outcome == Wait::noAnswer && state_ == SendState::waiting))
            return giveUp(outcome, kWaitBlockPhase);
    }

    if (partial != 0) {
        for (Wait wait(timeouts_.partialBlockMs, timeouts_.deviceLostMs); state_ != SendState::free;) {
            const int count = readCommand();
            if (handleAnswer(count)) return finish(status_);
            if (const Wait::Outcome outcome = wait.after(count); outcome != Wait::goingOn)
                return giveUp(outcome, kWaitPartialBlock);
        }
        if (!sendBlock(image + fullBlocks * kBlockSize, partial)) return giveUp(Wait::deviceLost, kWaitPartialBlock);
    }
    report(100, kStageBlockSent);
    report(0, kStageAllSent);

    for (Wait wait(timeouts_.finalStatusMs, timeouts_.deviceLostMs);;) {
        std::memset(answer_, 0, sizeof answer_);
        const int count = readCommand();
        if (handleAnswer(count)) return finish(status_);
        if (const Wait::Outcome outcome = wait.after(count); outcome != Wait::goingOn)
            return giveUp(outcome, kWaitFinalStatus);
    }
}

}  // namespace

void pauseBeforePacedBlock() {
    const Clock::time_point until = Clock::now() + kPacedPause;
    // Sleep overshoots by a fraction of a millisecond and a yield can lose the processor for as
    // long: sleep short, then spin out the rest (the update polls without pausing anyway).
    Sleep(static_cast<DWORD>(kPacedPause.count() - 1));
    while (Clock::now() < until) YieldProcessor();
}

int updateFirmware(FirmwareProgress progress, void* context, const unsigned char* image, int imageLength,
                   int startParameter, const FirmwareTimeouts& timeouts) {
    return Update(progress, context, timeouts).run(image, imageLength, startParameter);
}

}  // namespace zol::device_link
