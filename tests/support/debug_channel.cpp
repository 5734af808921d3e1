#include "support/debug_channel.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <stdexcept>

namespace zol::test {
namespace {
const char kSyncPrefix[] = "\x01zol-test-sync:";
}  // namespace

DebugChannelListener::DebugChannelListener() {
    if (!channel_.isOpen()) {
        ADD_FAILURE() << "debug channel unavailable: " << channel_.error();
        throw std::runtime_error("debug channel unavailable");
    }
    thread_ = std::thread([this] { run(); });
}

DebugChannelListener::~DebugChannelListener() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    channel_.interrupt();
    thread_.join();
}

void DebugChannelListener::run() {
    for (;;) {
        DebugMessage message;
        if (channel_.next(message, INFINITE) != zol::dbwin::Channel::Wait::message) return;
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) return;
        // The buffer goes to the next sender only with the next call to next(): the hook runs
        // before any later message can arrive.
        if (hook_) hook_(message.text);
        messages_.push_back(std::move(message));
        arrived_.notify_all();
    }
}

// A marker sent from this thread arrives after everything this process sent before it.
void DebugChannelListener::drain() {
    std::string marker;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        marker = kSyncPrefix + std::to_string(++syncSerial_);
    }
    OutputDebugStringA(marker.c_str());
    std::unique_lock<std::mutex> lock(mutex_);
    const bool seen = arrived_.wait_for(lock, std::chrono::seconds(15), [&] {
        for (const DebugMessage& m : messages_)
            if (m.text == marker) return true;
        return false;
    });
    if (!seen) ADD_FAILURE() << "debug channel did not deliver the sync marker";
}

std::vector<std::string> DebugChannelListener::ownLines() {
    drain();
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> lines;
    const DWORD self = GetCurrentProcessId();
    for (const DebugMessage& m : messages_)
        if (m.pid == self && m.text.rfind(kSyncPrefix, 0) != 0) lines.push_back(m.text);
    return lines;
}

void DebugChannelListener::setHook(std::function<void(const std::string&)> hook) {
    std::lock_guard<std::mutex> lock(mutex_);
    hook_ = std::move(hook);
}

void DebugChannelListener::clear() {
    drain();
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.clear();
}

}  // namespace zol::test
