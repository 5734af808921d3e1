#include "support/message_box.h"

namespace zol::test {
namespace {

std::wstring windowText(HWND window) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

HWND findOwnMessageBox() {
    for (HWND box = nullptr; (box = FindWindowExW(nullptr, box, L"#32770", nullptr)) != nullptr;) {
        DWORD pid = 0;
        GetWindowThreadProcessId(box, &pid);
        if (pid == GetCurrentProcessId() && IsWindowVisible(box)) return box;
    }
    return nullptr;
}

}  // namespace

MessageBoxPresser::MessageBoxPresser(DWORD timeoutMs)
    : thread_([this, deadline = GetTickCount64() + timeoutMs] {
          for (; !stop_ && GetTickCount64() < deadline; Sleep(10)) {
              if (HWND box = findOwnMessageBox()) {
                  // 0xFFFF: the static control holding a message box's text.
                  seen_ = SeenMessageBox{windowText(GetDlgItem(box, 0xFFFF)), windowText(box)};
                  PostMessageW(box, WM_COMMAND, IDOK, 0);
                  return;
              }
          }
      }) {}

MessageBoxPresser::~MessageBoxPresser() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

std::optional<SeenMessageBox> MessageBoxPresser::wait() {
    if (thread_.joinable()) thread_.join();
    return seen_;
}

}  // namespace zol::test
