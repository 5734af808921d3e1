// Answers the first message box a process (this one unless named) shows, as a user would: reads
// its text and caption and presses OK. The test bed's desktop makes MessageBoxW wait for that.
#pragma once

#include <windows.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>

namespace zol::test {

struct SeenMessageBox { std::wstring text, caption; };

class MessageBoxPresser {
public:
    explicit MessageBoxPresser(DWORD timeoutMs = 10000, DWORD processId = GetCurrentProcessId());
    ~MessageBoxPresser() { stop(); }
    std::optional<SeenMessageBox> wait() { return thread_.joinable() ? thread_.join(), seen_ : seen_; }
    std::optional<SeenMessageBox> stop() { return stop_ = true, wait(); }

private:
    std::atomic<bool> stop_{false};
    std::optional<SeenMessageBox> seen_;
    std::thread thread_;
};

}  // namespace zol::test
