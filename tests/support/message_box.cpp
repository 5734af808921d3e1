#include "support/message_box.h"

namespace zol::test {

namespace {

constexpr int kMessageTextControlId = 0xFFFF;  // the static control holding a message box's text

std::wstring windowText(HWND window) {
    if (!window) return std::wstring();
    int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<size_t>(copied));
    return text;
}

}  // namespace

HWND findOwnMessageBox() {
    HWND candidate = nullptr;
    while ((candidate = FindWindowExW(nullptr, candidate, L"#32770", nullptr)) != nullptr) {
        DWORD pid = 0;
        GetWindowThreadProcessId(candidate, &pid);
        if (pid == GetCurrentProcessId() && IsWindowVisible(candidate)) return candidate;
    }
    return nullptr;
}

MessageBoxPresser::MessageBoxPresser(DWORD timeoutMs) : thread_([this, timeoutMs] { run(timeoutMs); }) {}

MessageBoxPresser::~MessageBoxPresser() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

std::optional<SeenMessageBox> MessageBoxPresser::wait() {
    if (thread_.joinable()) thread_.join();
    return seen_;
}

void MessageBoxPresser::run(DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!stop_ && GetTickCount64() < deadline) {
        if (HWND box = findOwnMessageBox()) {
            seen_ = SeenMessageBox{windowText(GetDlgItem(box, kMessageTextControlId)), windowText(box)};
            PostMessageW(box, WM_COMMAND, IDOK, 0);
            return;
        }
        Sleep(10);
    }
}

}  // namespace zol::test
