#include "common/system_error.h"

#include "common/unique_handle.h"

namespace zol::common {

std::wstring systemErrorText(DWORD code) {
    wchar_t* buffer = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                  reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    unique_local owner(buffer);
    if (length == 0 || buffer == nullptr) return std::wstring();
    std::wstring text(buffer, length);
    if (!text.empty() && text.back() == L'\n') text.pop_back();
    if (!text.empty() && text.back() == L'\r') text.pop_back();
    return text;
}

}  // namespace zol::common
