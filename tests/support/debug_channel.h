// Listens to the system debugger channel the way a debug-output viewer does (the DBWIN_BUFFER
// section and its two events), so tests assert the very lines a support engineer would see.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "dbwin_channel.h"

namespace zol::test {

using DebugMessage = zol::dbwin::Message;

class DebugChannelListener {
public:
    // Fails the test (and throws) when another listener already owns the channel.
    DebugChannelListener();
    ~DebugChannelListener();
    DebugChannelListener(const DebugChannelListener&) = delete;
    DebugChannelListener& operator=(const DebugChannelListener&) = delete;

    // Texts from this process received so far; waits until the channel has drained everything
    // this process sent before the call.
    std::vector<std::string> ownLines();
    void clear();

    // Called on the listening thread with each message's text, before the sender may send the
    // next one: a sender's following debug line waits until the hook has returned. Lets a test
    // act at a precise point of a sequence that logs. Keep it short (senders wait 10 s at most).
    void setHook(std::function<void(const std::string&)> hook);

private:
    void run();
    void drain();

    zol::dbwin::Channel channel_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<DebugMessage> messages_;
    bool stopping_ = false;
    unsigned syncSerial_ = 0;
    std::function<void(const std::string&)> hook_;
};

}  // namespace zol::test
