/*
 * zol_ecd_api.h - public interface of zol_ecd_api.dll, the ZolSoundKit headset control library.
 *
 * A 64-bit Windows DLL. Link against zol_ecd_api.lib, or load it by name and look the exports up
 * with GetProcAddress. Every export runs to completion on the calling thread; call the library
 * from one thread at a time.
 *
 * Results: 1 done; 0 nothing done or a negative answer; -1 device interface not found or not
 * opened; -2 property number out of range; -3 effect library not unregistered; -5 audio
 * service not restarted. Registry failures inside getDeviceInfo, setDeviceProperty, init and
 * unInit leave the library as a C++ exception (zol::registry::RegistryException); hosts built
 * with another compiler should treat a registry failure as fatal for that call.
 */
#ifndef ZOL_ECD_API_H
#define ZOL_ECD_API_H

#include <stddef.h>
#include <wchar.h>

#ifdef ZOL_ECD_API_BUILD
#define ZOL_API
#else
#define ZOL_API __declspec(dllimport)
#endif

/* Compile-time checks that work in C89 hosts and in C++. */
#define ZOL_STATIC_CHECK(name, condition) typedef char zol_check_##name[(condition) ? 1 : -1]

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Debug log -------------------------------------------------------------------------
 * Both send one message to the system debugger channel (OutputDebugStringW), cut at 255
 * characters; nothing else (no file, no prefix, no line end). _dbg widens each byte on its own
 * (bytes above 0x7F become U+0080..U+00FF): pass ASCII. _dbgw uses the Microsoft CRT's
 * conversions, where %s takes a wide string and %S a narrow one.
 * They are exported under the names the x64 MSVC compiler gives their C++ signatures. A C++ host
 * built with MSVC declares them as below; any other host looks them up by these names. */
#define ZOL_DBG_EXPORT_NAME "?_dbg@@YAXPEBDZZ"
#define ZOL_DBGW_EXPORT_NAME "?_dbgw@@YAXPEB_WZZ"
typedef void(__cdecl* zol_dbg_fn)(const char* format, ...);
typedef void(__cdecl* zol_dbgw_fn)(const wchar_t* format, ...);

#ifdef __cplusplus
} /* extern "C" */
#endif

#if defined(__cplusplus) && defined(_MSC_VER)
ZOL_API void __cdecl _dbg(const char* format, ...);
ZOL_API void __cdecl _dbgw(const wchar_t* format, ...);
#endif

#endif /* ZOL_ECD_API_H */
