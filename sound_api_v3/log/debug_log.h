// The library's debug log: formatted text to the system debugger channel, nothing else.
#pragma once

#include <wchar.h>

extern "C" {
// A null format sends nothing.
// Narrow printf-style format; each byte is widened on its own (Latin-1), cut at 255 characters.
void _dbg(const char* format, ...);
// Wide format with the Microsoft CRT's conversions (%s wide, %S narrow), cut at 255 characters.
void _dbgw(const wchar_t* format, ...);
}
