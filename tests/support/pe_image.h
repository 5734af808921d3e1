// Reads a PE file's export names and imported DLL names from the file itself, independently of
// the loader, so tests see exactly what a host's linker or loader would see.
#pragma once

#include <string>
#include <vector>

namespace zol::test {

struct PeTables {
    std::vector<std::string> exports;       // names in the export directory, as stored
    std::vector<std::string> importedDlls;  // names in the import directory, as stored
};

PeTables readPeTables(const std::wstring& file);  // throws std::runtime_error on a malformed file

}  // namespace zol::test
