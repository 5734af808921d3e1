// Calls one lifecycle export of zol_ecd_api_fault.dll, found by name as the kit's host does.
#include <windows.h>

#include <string>

int wmain(int argc, wchar_t** argv) {
    const HMODULE library = argc < 2 ? nullptr : LoadLibraryW(L"zol_ecd_api_fault.dll");
    if (!library) return 3;
    // A GCC-built host: a raise reaches the catch below instead of ending the process.
    if (auto format = reinterpret_cast<int(__cdecl*)(int)>(reinterpret_cast<void*>(GetProcAddress(library, "_SetRegistryExceptionFormat")))) format(1);
    const std::string name(argv[1], argv[1] + wcslen(argv[1]));
    auto call = reinterpret_cast<int(__cdecl*)()>(reinterpret_cast<void*>(GetProcAddress(library, name.c_str())));
    if (!call) return 3;
    try {
        return 100 + call();
    } catch (...) {
        return 99;
    }
}
