/* The Win32 calls the MSVC-ABI hosts make, declared by hand (no Windows SDK here). */
#ifndef ZOL_HOST_WIN32_H
#define ZOL_HOST_WIN32_H
#include <wchar.h>
#ifdef __cplusplus
extern "C" {
#endif
typedef void* HKEY;
#define ZOL_HKLM ((HKEY)(unsigned long long)0x80000002)
__declspec(dllimport) void* __stdcall GetStdHandle(unsigned long which);
__declspec(dllimport) int __stdcall WriteFile(void* file, const void* data, unsigned long size, unsigned long* written,
                                              void* overlapped);
__declspec(dllimport, noreturn) void __stdcall ExitProcess(unsigned int code);
__declspec(dllimport) const wchar_t* __stdcall GetCommandLineW(void);
__declspec(dllimport) unsigned long __stdcall FormatMessageW(unsigned long flags, const void* source, unsigned long id,
                                                             unsigned long language, wchar_t* buffer,
                                                             unsigned long size, void* arguments);
__declspec(dllimport) long __stdcall RegCreateKeyExW(HKEY key, const wchar_t* sub, unsigned long reserved,
                                                     wchar_t* cls, unsigned long options, unsigned long sam,
                                                     void* security, HKEY* result, unsigned long* disposition);
__declspec(dllimport) long __stdcall RegSetValueExW(HKEY key, const wchar_t* name, unsigned long reserved,
                                                    unsigned long type, const void* data, unsigned long size);
__declspec(dllimport) long __stdcall RegDeleteTreeW(HKEY key, const wchar_t* sub);
__declspec(dllimport) long __stdcall RegCloseKey(HKEY key);
__declspec(dllimport) long __stdcall RegSetKeySecurity(HKEY key, unsigned long what, void* descriptor);
__declspec(dllimport) int __stdcall ConvertStringSecurityDescriptorToSecurityDescriptorW(
    const wchar_t* text, unsigned long revision, void** descriptor, unsigned long* size);
#ifdef __cplusplus
}
#endif
#endif
