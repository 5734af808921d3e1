// Listens to the debugger channel as a debug-output viewer does: the very lines a support engineer sees.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "dbwin_channel.h"

namespace zol::test {

class DebugChannelListener {
public:
    DebugChannelListener();  // throws when another listener owns the channel
    ~DebugChannelListener();

    // This process's lines so far, once everything it sent before the call has arrived.
    std::vector<std::string> ownLines();
    void clear();

private:
    zol::dbwin::Channel channel_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<zol::dbwin::Message> messages_;
    bool stopping_ = false;
    unsigned syncSerial_ = 0;
    std::thread thread_;
};

}  // namespace zol::test
