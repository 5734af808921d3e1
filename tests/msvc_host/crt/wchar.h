/* The few C runtime declarations the MSVC-ABI hosts use; there is no Microsoft SDK here. */
#ifndef ZOL_HOST_CRT_WCHAR_H
#define ZOL_HOST_CRT_WCHAR_H
#include <stddef.h>
#ifdef __cplusplus
extern "C" {
#endif
__declspec(dllimport) int __cdecl wcscmp(const wchar_t* a, const wchar_t* b);
__declspec(dllimport) size_t __cdecl wcslen(const wchar_t* s);
#ifdef __cplusplus
}
#endif
#endif
