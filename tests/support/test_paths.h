// The stand-ins are built beside the test programs.
#pragma once

#include <windows.h>

#include <string>

namespace zol::test {

inline std::wstring besideThisProgram(const std::wstring& relativePath) {
    wchar_t path[MAX_PATH];
    const std::wstring self(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    return self.substr(0, self.find_last_of(L"\\/") + 1) + relativePath;
}

}  // namespace zol::test
