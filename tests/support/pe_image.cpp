#include "support/pe_image.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace zol::test {

PeTables readPeTables(const std::wstring& file) {
    std::ifstream in(std::filesystem::path(file), std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    auto at = [&](std::size_t offset, std::size_t size) {
        if (offset + size > bytes.size()) throw std::runtime_error("PE offset out of range");
        return bytes.data() + offset;
    };
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(at(0, sizeof(IMAGE_DOS_HEADER)));
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(at(dos->e_lfanew, sizeof(IMAGE_NT_HEADERS64)));
    if (dos->e_magic != IMAGE_DOS_SIGNATURE || nt->Signature != IMAGE_NT_SIGNATURE ||
        nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC)
        throw std::runtime_error("not a 64-bit PE file");
    const auto* sections = reinterpret_cast<const IMAGE_SECTION_HEADER*>(
        reinterpret_cast<const char*>(&nt->OptionalHeader) + nt->FileHeader.SizeOfOptionalHeader);
    auto offsetOf = [&](DWORD rva) -> std::size_t {
        for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
            const IMAGE_SECTION_HEADER& s = sections[i];
            if (rva >= s.VirtualAddress && rva < s.VirtualAddress + std::max(s.Misc.VirtualSize, s.SizeOfRawData))
                return rva - s.VirtualAddress + s.PointerToRawData;
        }
        throw std::runtime_error("RVA outside every section");
    };
    auto string = [&](DWORD rva) {
        const char* text = at(offsetOf(rva), 1);
        return std::string(text, strnlen(text, bytes.data() + bytes.size() - text));
    };
    auto dword = [&](std::size_t offset) { return *reinterpret_cast<const DWORD*>(at(offset, sizeof(DWORD))); };

    PeTables tables;
    const IMAGE_DATA_DIRECTORY* directories = nt->OptionalHeader.DataDirectory;
    if (const DWORD rva = directories[IMAGE_DIRECTORY_ENTRY_EXPORT].VirtualAddress) {
        const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(at(offsetOf(rva), sizeof(IMAGE_EXPORT_DIRECTORY)));
        for (DWORD i = 0; i < exports->NumberOfNames; ++i)
            tables.exports.push_back(string(dword(offsetOf(exports->AddressOfNames) + i * sizeof(DWORD))));
    }
    if (const DWORD rva = directories[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress) {
        for (std::size_t offset = offsetOf(rva);; offset += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
            const auto* import = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(at(offset, sizeof(IMAGE_IMPORT_DESCRIPTOR)));
            if (import->Name == 0) break;
            tables.importedDlls.push_back(string(import->Name));
        }
    }
    return tables;
}

}  // namespace zol::test
