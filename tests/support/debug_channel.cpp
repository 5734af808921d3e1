#include "support/debug_channel.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <stdexcept>

namespace zol::test {
namespace {
constexpr DWORD kBufferSize = 4096;
const char kSyncPrefix[] = "\x01zol-test-sync:";
}  // namespace

DebugChannelListener::DebugChannelListener() {
    bufferReady_ = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY");
    const bool taken = GetLastError() == ERROR_ALREADY_EXISTS;
    dataReady_ = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY");
    buffer_ = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBufferSize, L"DBWIN_BUFFER");
    if (taken || !bufferReady_ || !dataReady_ || !buffer_) {
        ADD_FAILURE() << "debug channel unavailable (another listener running?)";
        throw std::runtime_error("debug channel unavailable");
    }
    view_ = MapViewOfFile(buffer_, FILE_MAP_READ, 0, 0, kBufferSize);
    thread_ = std::thread([this] { run(); });
}

DebugChannelListener::~DebugChannelListener() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    SetEvent(dataReady_);
    thread_.join();
    UnmapViewOfFile(view_);
    CloseHandle(buffer_);
    CloseHandle(dataReady_);
    CloseHandle(bufferReady_);
}

void DebugChannelListener::run() {
    for (;;) {
        SetEvent(bufferReady_);
        WaitForSingleObject(dataReady_, INFINITE);
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) return;
        DebugMessage message;
        std::memcpy(&message.pid, view_, sizeof(DWORD));
        const char* text = static_cast<const char*>(view_) + sizeof(DWORD);
        message.text.assign(text, strnlen(text, kBufferSize - sizeof(DWORD)));
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

std::vector<DebugMessage> DebugChannelListener::messages() {
    drain();
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<DebugMessage> result;
    for (const DebugMessage& m : messages_)
        if (m.text.rfind(kSyncPrefix, 0) != 0) result.push_back(m);
    return result;
}

std::vector<std::string> DebugChannelListener::ownLines() {
    std::vector<std::string> lines;
    const DWORD self = GetCurrentProcessId();
    for (const DebugMessage& m : messages())
        if (m.pid == self) lines.push_back(m.text);
    return lines;
}

std::vector<std::string> DebugChannelListener::allLines() {
    std::vector<std::string> lines;
    for (const DebugMessage& m : messages()) lines.push_back(m.text);
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
