#include "log/debug_log.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>

namespace {
constexpr int kLogChars = 256;
}

// A null format has no message to send, so nothing is sent.
extern "C" void _dbg(const char* format, ...) {
    if (format == nullptr) return;
    char text[kLogChars];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    text[kLogChars - 1] = '\0';

    wchar_t wide[kLogChars];
    int i = 0;
    for (; text[i] != '\0'; ++i) wide[i] = static_cast<unsigned char>(text[i]);
    wide[i] = L'\0';
    OutputDebugStringW(wide);
}

extern "C" void _dbgw(const wchar_t* format, ...) {
    if (format == nullptr) return;
    wchar_t text[kLogChars] = {};  // a formatter that fails without writing leaves an empty message
    va_list args;
    va_start(args, format);
    // msvcrt's _vsnwprintf, not the C99 one: the library's formats rely on %S taking a narrow
    // string. It leaves the buffer unterminated when the text does not fit, hence the cut below.
    _vsnwprintf(text, kLogChars, format, args);
    va_end(args);
    text[kLogChars - 1] = L'\0';
    OutputDebugStringW(text);
}
