#include "support/test_paths.h"

#include <windows.h>

namespace zol::test {

std::wstring besideThisProgram(const std::wstring& relativePath) {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring self(path, length);
    return self.substr(0, self.find_last_of(L"\\/") + 1) + relativePath;
}

}  // namespace zol::test
