// The receiving end of the system debugger channel, as a debug-output viewer owns it: the
// "DBWIN_BUFFER" section and the events "DBWIN_BUFFER_READY" / "DBWIN_DATA_READY". Shared by
// zolctl's live log and the tests' listener, so both read the channel the same way.
#pragma once

#include <windows.h>

#include <string>

#include "common/unique_handle.h"

namespace zol::dbwin {

struct Message {
    DWORD pid = 0;
    std::string text;  // the channel carries ANSI text, whatever the sender passed
};

class Channel {
public:
    enum class Wait { message, timeout, interrupted };

    // Claims the channel. There is one per session: when another viewer already owns it,
    // isOpen() is false and error() says so (two readers would split the messages).
    Channel();
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    bool isOpen() const noexcept { return static_cast<bool>(view_); }
    const std::string& error() const noexcept { return error_; }

    // Hands the buffer to the next sender and waits for its message (INFINITE allowed).
    Wait next(Message& out, DWORD timeoutMs);
    // Makes a waiting or the next next() return Wait::interrupted; callable from any thread.
    void interrupt() noexcept;

private:
    common::unique_kernel_handle bufferReady_;
    common::unique_kernel_handle dataReady_;
    common::unique_kernel_handle section_;
    common::unique_kernel_handle stop_;
    common::unique_view view_;
    std::string error_;
};

}  // namespace zol::dbwin
