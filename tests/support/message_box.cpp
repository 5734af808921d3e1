#include "support/message_box.h"

namespace {

std::wstring windowText(HWND window) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

}  // namespace

zol::test::MessageBoxPresser::MessageBoxPresser(DWORD timeoutMs, DWORD processId)
    : thread_([this, processId, deadline = GetTickCount64() + timeoutMs] {
          for (; !stop_ && GetTickCount64() < deadline; Sleep(10)) {
              for (HWND box = nullptr; (box = FindWindowExW(nullptr, box, L"#32770", nullptr)) != nullptr;) {
                  DWORD pid = 0;
                  GetWindowThreadProcessId(box, &pid);
                  if (pid != processId || !IsWindowVisible(box)) continue;
                  seen_ = SeenMessageBox{windowText(GetDlgItem(box, 0xFFFF)), windowText(box)};  // 0xFFFF: the text
                  PostMessageW(box, WM_COMMAND, IDOK, 0);
                  return;
              }
          }
      }) {}
