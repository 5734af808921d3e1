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
    const auto* sections = IMAGE_FIRST_SECTION(nt);
    auto offsetOf = [&](DWORD rva, std::size_t size) {
        for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
            const IMAGE_SECTION_HEADER& s = sections[i];
            if (rva >= s.VirtualAddress && rva < s.VirtualAddress + std::max(s.Misc.VirtualSize, s.SizeOfRawData))
                return at(rva - s.VirtualAddress + s.PointerToRawData, size);
        }
        throw std::runtime_error("RVA outside every section");
    };
    auto string = [&](DWORD rva) {
        const char* text = offsetOf(rva, 1);
        return std::string(text, strnlen(text, bytes.data() + bytes.size() - text));
    };

    PeTables tables;
    if (const DWORD rva = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT].VirtualAddress) {
        const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(offsetOf(rva, sizeof(IMAGE_EXPORT_DIRECTORY)));
        for (DWORD i = 0; i < exports->NumberOfNames; ++i)
            tables.exports.push_back(string(*reinterpret_cast<const DWORD*>(offsetOf(exports->AddressOfNames + i * 4, 4))));
    }
    if (const DWORD rva = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress) {
        for (DWORD next = rva;; next += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
            const auto* import = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(offsetOf(next, sizeof(IMAGE_IMPORT_DESCRIPTOR)));
            if (import->Name == 0) break;
            tables.importedDlls.push_back(string(import->Name));
        }
    }
    return tables;
}

}  // namespace zol::test
