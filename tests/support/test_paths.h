// Where the test stand-ins lie: the build puts them beside the test programs.
#pragma once

#include <string>

namespace zol::test {

// Full path of `relativePath` in the directory of the running program.
std::wstring besideThisProgram(const std::wstring& relativePath);

}  // namespace zol::test
