// The debug log's exports; the .def gives them the names of their C++ signatures.
#include <cstdarg>

#include "exports/boundary.h"
#include "log/debug_log.h"

using zol::exports::guarded;
using zol::exports::Registry;

extern "C" void zol_export_dbg(const char* format, ...) {
    va_list args;
    va_start(args, format);
    guarded("_dbg", Registry::Contained, [&] { zol::log::writeNarrow(format, args); });
    va_end(args);
}

extern "C" void zol_export_dbgw(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    guarded("_dbgw", Registry::Contained, [&] { zol::log::writeWide(format, args); });
    va_end(args);
}
