// Answers the first message box this process shows, from a thread of its own, as a user would:
// reads its text and caption and presses OK. Needs the test bed's desktop (see
// tests/standins/desktop_probe/wait_for_desktop.sh); elsewhere MessageBoxW returns at once.
//
//   MessageBoxPresser presser;           // starts watching
//   int result = codeThatShowsABox();    // blocks until the presser clicks OK
//   auto box = presser.wait();           // what the box said; std::nullopt if none appeared
#pragma once

#include <windows.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>

namespace zol::test {

struct SeenMessageBox {
    std::wstring text;
    std::wstring caption;
};

class MessageBoxPresser {
public:
    explicit MessageBoxPresser(DWORD timeoutMs = 10000);
    ~MessageBoxPresser();
    MessageBoxPresser(const MessageBoxPresser&) = delete;
    MessageBoxPresser& operator=(const MessageBoxPresser&) = delete;
    std::optional<SeenMessageBox> wait();

private:
    std::atomic<bool> stop_{false};
    std::optional<SeenMessageBox> seen_;
    std::thread thread_;
};

}  // namespace zol::test
