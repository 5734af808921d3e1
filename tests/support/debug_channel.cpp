#include "support/debug_channel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace zol::test {
namespace {
const char kSyncPrefix[] = "\x01zol-test-sync:";
}

DebugChannelListener::DebugChannelListener() {
    if (!channel_.isOpen()) throw std::runtime_error("debug channel unavailable: " + channel_.error());
    thread_ = std::thread([this] {
        for (zol::dbwin::Message message; channel_.next(message, INFINITE) == zol::dbwin::Channel::Wait::message;) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) return;
            messages_.push_back(std::move(message));
            arrived_.notify_all();
        }
    });
}

DebugChannelListener::~DebugChannelListener() {
    std::unique_lock<std::mutex> lock(mutex_);
    stopping_ = true;
    lock.unlock();
    channel_.interrupt();
    thread_.join();
}

// A marker sent from this thread arrives after everything this process sent before it.
std::vector<std::string> DebugChannelListener::ownLines() {
    std::unique_lock<std::mutex> lock(mutex_);
    const std::string marker = kSyncPrefix + std::to_string(++syncSerial_);
    lock.unlock();
    OutputDebugStringA(marker.c_str());
    lock.lock();
    if (!arrived_.wait_for(lock, std::chrono::seconds(15), [&] {
            return std::any_of(messages_.begin(), messages_.end(), [&](const auto& m) { return m.text == marker; });
        }))
        ADD_FAILURE() << "debug channel did not deliver the sync marker";
    std::vector<std::string> lines;
    for (const auto& m : messages_)
        if (m.pid == GetCurrentProcessId() && m.text.rfind(kSyncPrefix, 0) != 0) lines.push_back(m.text);
    return lines;
}

void DebugChannelListener::clear() {
    ownLines();
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.clear();
}

}  // namespace zol::test
