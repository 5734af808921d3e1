// A PE file's export names and imported DLL names, as stored in the file.
#pragma once

#include <string>
#include <vector>

namespace zol::test {

struct PeTables {
    std::vector<std::string> exports;       // as stored
    std::vector<std::string> importedDlls;  // as stored
};

PeTables readPeTables(const std::wstring& file);  // throws std::runtime_error on a malformed file

}  // namespace zol::test
