// The stand-ins are built beside the test programs.
#pragma once

#include <string>

namespace zol::test {
std::wstring besideThisProgram(const std::wstring& relativePath);  // in the running program's directory
}
