#include "support/test_paths.h"

#include <windows.h>

std::wstring zol::test::besideThisProgram(const std::wstring& relativePath) {
    wchar_t path[MAX_PATH];
    const std::wstring self(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    return self.substr(0, self.find_last_of(L"\\/") + 1) + relativePath;
}
