// Listens to the system debugger channel as a debug-output viewer does, so tests assert the very
// lines a support engineer would see.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "dbwin_channel.h"

namespace zol::test {

class DebugChannelListener {
public:
    DebugChannelListener();  // fails the test and throws when another listener owns the channel
    ~DebugChannelListener();

    // This process's lines so far, once everything it sent before the call has arrived.
    std::vector<std::string> ownLines();
    void clear();
    // Runs on the listening thread for each line before the sender may send the next one, so a
    // test can act at a precise point of a logged sequence. Keep it short: senders wait 10 s.
    void setHook(std::function<void(const std::string&)> hook);

private:
    zol::dbwin::Channel channel_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<zol::dbwin::Message> messages_;
    bool stopping_ = false;
    unsigned syncSerial_ = 0;
    std::function<void(const std::string&)> hook_;
    std::thread thread_;
};

}  // namespace zol::test
