#include "log/debug_log.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <string>

namespace {
constexpr int kLogChars = 256;
}

namespace zol::log {

// A null format has no message to send, so nothing is sent.
void writeNarrow(const char* format, va_list args) {
    if (format == nullptr) return;
    char text[kLogChars];
    std::vsnprintf(text, sizeof text, format, args);
    text[kLogChars - 1] = '\0';

    wchar_t wide[kLogChars];
    int i = 0;
    for (; text[i] != '\0'; ++i) wide[i] = static_cast<unsigned char>(text[i]);
    wide[i] = L'\0';
    OutputDebugStringW(wide);
}

void writeWide(const wchar_t* format, va_list args) {
    if (format == nullptr) return;
    wchar_t text[kLogChars] = {};  // a formatter that fails without writing leaves an empty message
    // msvcrt's _vsnwprintf, not the C99 one: the library's formats rely on %S taking a narrow
    // string. It leaves the buffer unterminated when the text does not fit, hence the cut below.
    _vsnwprintf(text, kLogChars, format, args);
    text[kLogChars - 1] = L'\0';
    OutputDebugStringW(text);
}

void trace(const wchar_t* format, ...) {
    static constexpr wchar_t kPrefix[] = L"[brisol]";
    const std::wstring line = kPrefix + std::wstring(format);
    va_list args;
    va_start(args, format);
    writeWide(line.c_str(), args);
    va_end(args);
}

}  // namespace zol::log

extern "C" void _dbg(const char* format, ...) {
    va_list args;
    va_start(args, format);
    zol::log::writeNarrow(format, args);
    va_end(args);
}

extern "C" void _dbgw(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    zol::log::writeWide(format, args);
    va_end(args);
}
