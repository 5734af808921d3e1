#include "dbwin_channel.h"

#include <cstring>

namespace zol::dbwin {
namespace {
constexpr DWORD kBufferSize = 4096;  // DWORD pid, then the NUL-terminated text
}

Channel::Channel() {
    bufferReady_.reset(CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY"));
    const bool taken = GetLastError() == ERROR_ALREADY_EXISTS;
    dataReady_.reset(CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY"));
    section_.reset(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBufferSize, L"DBWIN_BUFFER"));
    stop_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (taken) {
        error_ = "another debug-output viewer owns the debugger channel";
        return;
    }
    if (!bufferReady_ || !dataReady_ || !section_ || !stop_) {
        error_ = "cannot create the debugger channel objects (error " + std::to_string(GetLastError()) + ")";
        return;
    }
    view_.reset(MapViewOfFile(section_.get(), FILE_MAP_READ, 0, 0, kBufferSize));
    if (!view_) error_ = "cannot map the debugger channel buffer (error " + std::to_string(GetLastError()) + ")";
}

Channel::Wait Channel::next(Message& out, DWORD timeoutMs) {
    if (!isOpen()) return Wait::interrupted;
    // Signalling "ready" again after a time-out is harmless: the event is auto-reset.
    SetEvent(bufferReady_.get());
    const HANDLE waits[] = {stop_.get(), dataReady_.get()};
    switch (WaitForMultipleObjects(2, waits, FALSE, timeoutMs)) {
        case WAIT_OBJECT_0 + 1: {
            std::memcpy(&out.pid, view_.get(), sizeof(DWORD));
            const char* text = static_cast<const char*>(view_.get()) + sizeof(DWORD);
            out.text.assign(text, strnlen(text, kBufferSize - sizeof(DWORD)));
            return Wait::message;
        }
        case WAIT_TIMEOUT:
            return Wait::timeout;
        default:
            return Wait::interrupted;
    }
}

void Channel::interrupt() noexcept {
    if (stop_) SetEvent(stop_.get());
}

}  // namespace zol::dbwin
