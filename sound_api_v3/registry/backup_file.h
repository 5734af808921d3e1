// Backup of named string values of one key as a file that the registry editor can import.
#pragma once

#include <string>
#include <vector>

namespace zol::registry {

// Writes the version line, an empty line, "[keyPath]", one "name"="text" line per value name in
// list order, and a closing empty line; every line ends in CR LF, no byte-order mark. Inside the
// quotes, backslashes and quotation marks are escaped with a backslash, as the registry editor
// reads them (GUID texts hold neither, so their lines are as they always were). Each finished
// line is written through to the file at once, so a value that cannot be read (its
// RegistryException passes out) leaves the lines before it on disk and no closing line.
// An existing file is replaced. Raises "Error while opening file <path> for writing" when the
// file cannot be created.
//
// Characters above U+007F are written in the system's ANSI code page, which is how the registry
// editor reads a file of this format without a byte-order mark; one the code page cannot
// represent becomes '?'. The values this library exports are ASCII.
void exportValuesToRegFile(const std::wstring& keyPath, const std::vector<std::wstring>& valueNames,
                           const std::wstring& filePath);

}  // namespace zol::registry
