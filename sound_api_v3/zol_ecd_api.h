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

/* ---- Host utilities: processes by executable name --------------------------------------
 * A process is named by its executable file name ("tool.exe"), compared without regard to
 * case; never by id or window. A null or empty name, or one of MAX_PATH characters or more,
 * matches no process.
 *
 * _is_task_running: 1 when at least one process of that name runs, else 0 (also when the
 *   process list cannot be read).
 * _kill_task: ends every process of that name with exit code -10 (0xFFFFFFF6). A process this
 *   caller may not terminate is skipped silently. Returns at once, without waiting for them.
 * _start_task: starts "<directory>\<exeName>" (quoted) followed by one space and `arguments`
 *   when arguments is not null; showCommand is the window state (SW_*). A null or empty
 *   directory means the install directory, the "InstallPath" value under
 *   HKEY_LOCAL_MACHINE\SOFTWARE\ZolSoundKit; when that value is missing a
 *   zol::registry::RegistryException leaves the call ("Error while reading registry value ...").
 *   The program gets this process's environment and current directory; it is neither waited for
 *   nor tracked. A failed start writes "failed start <path>,err=<system message>\r\n" to
 *   standard output and returns. */
ZOL_API int __cdecl _is_task_running(const wchar_t* exeName);
ZOL_API void __cdecl _start_task(const wchar_t* exeName, const wchar_t* arguments, int showCommand,
                                 const wchar_t* directory);
ZOL_API void __cdecl _kill_task(const wchar_t* exeName);

/* ---- Host utilities: elevation and single instance -------------------------------------
 * _IsRunningAsAdmin: 1 when the caller's token has the Administrators group enabled (an
 *   elevated administrator), else 0.
 * _RestartAsAdmin: asks the shell to start this process's executable again with the verb
 *   "runas" (elevation prompt), without arguments. 1 when the shell accepted, 0 when the user
 *   declined or the executable's path is MAX_PATH characters or longer. The calling process
 *   keeps running: ending it is the host's decision.
 * _IsGlobalMutexExist: 0 when a mutex of that name exists and can be opened; -1 when none
 *   exists (also for a null or empty name); otherwise the Windows error code of the open, e.g.
 *   5 when the mutex's security refuses the caller, 6 when the name is taken by another kind of
 *   object.
 * _IsAlreadyRun: creates or opens the named mutex and keeps it for the life of the process
 *   (the handle is never closed). 1 when the mutex already existed, else 0. Its security grants
 *   the current user all access and the LOCAL SERVICE account wait and query only; a mutex that
 *   refuses the caller gives 0. A null or empty name creates nothing and gives 0.
 * Names pass to the system unchanged: include "Global\" for a machine-wide name. */
ZOL_API int __cdecl _IsRunningAsAdmin(void);
ZOL_API int __cdecl _RestartAsAdmin(void);
ZOL_API int __cdecl _IsGlobalMutexExist(const wchar_t* name);
ZOL_API int __cdecl _IsAlreadyRun(const wchar_t* name);

#ifdef __cplusplus
} /* extern "C" */
#endif

#if defined(__cplusplus) && defined(_MSC_VER)
ZOL_API void __cdecl _dbg(const char* format, ...);
ZOL_API void __cdecl _dbgw(const wchar_t* format, ...);
#endif

#endif /* ZOL_ECD_API_H */
