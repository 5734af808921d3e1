// The library's debug log: formatted text to the system debugger channel, nothing else.
#pragma once

#include <stdarg.h>
#include <wchar.h>

extern "C" {
// A null format sends nothing.
// Narrow printf-style format; each byte is widened on its own (Latin-1), cut at 255 characters.
void _dbg(const char* format, ...);
// Wide format with the Microsoft CRT's conversions (%s wide, %S narrow), cut at 255 characters.
void _dbgw(const wchar_t* format, ...);
}

namespace zol::log {
// The two above with their arguments already gathered.
void writeNarrow(const char* format, va_list args);
void writeWide(const wchar_t* format, va_list args);

// One of the library's own lines: "[brisol]" and then `format` as _dbgw formats it.
void trace(const wchar_t* format, ...);
}  // namespace zol::log
