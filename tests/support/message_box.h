// Answers a message box shown by this process, from a thread of its own, as a user would: finds
// the dialog (class "#32770"), reads its text and caption, and presses OK. Needs a display
// driver that makes MessageBoxW wait (the test bed sets Wine's null driver); without one
// MessageBoxW returns at once and no box is ever seen. The test bed's setup makes the desktop
// usable before suites start (tests/standins/desktop_probe/wait_for_desktop.sh tells why).
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
    // Gives up after timeoutMs without a box.
    explicit MessageBoxPresser(DWORD timeoutMs = 10000);
    ~MessageBoxPresser();
    MessageBoxPresser(const MessageBoxPresser&) = delete;
    MessageBoxPresser& operator=(const MessageBoxPresser&) = delete;

    // Waits for the watcher to finish: the first box it answered, or nothing.
    std::optional<SeenMessageBox> wait();

private:
    void run(DWORD timeoutMs);

    std::atomic<bool> stop_{false};
    std::optional<SeenMessageBox> seen_;
    std::thread thread_;
};

// The visible message box of this process, or nullptr.
HWND findOwnMessageBox();

}  // namespace zol::test
