#include "support/pe_image.h"

#include <windows.h>

#include <cstdint>
#include <stdexcept>

#include "common/unique_handle.h"

namespace zol::test {

PeTables readPeTables(const std::wstring& file) {
    // Mapped as an image, never run: the directories' addresses are offsets into the mapping.
    const common::unique_module image(LoadLibraryExW(file.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    if (!image) throw std::runtime_error("not a PE file");
    const char* base = reinterpret_cast<const char*>(reinterpret_cast<std::uintptr_t>(image.get()) & ~std::uintptr_t{3});
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    if (nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC) throw std::runtime_error("not a 64-bit PE file");
    const IMAGE_DATA_DIRECTORY* directories = nt->OptionalHeader.DataDirectory;
    PeTables tables;
    if (const DWORD rva = directories[IMAGE_DIRECTORY_ENTRY_EXPORT].VirtualAddress) {
        const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + rva);
        const auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
        for (DWORD i = 0; i < exports->NumberOfNames; ++i) tables.exports.emplace_back(base + names[i]);
    }
    if (const DWORD rva = directories[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress)
        for (auto* import = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + rva); import->Name != 0; ++import)
            tables.importedDlls.emplace_back(base + import->Name);
    return tables;
}

}  // namespace zol::test
