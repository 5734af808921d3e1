#include "support/pe_image.h"

#include <windows.h>

#include <cstring>
#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace zol::test {
namespace {

class Image {
public:
    explicit Image(const std::wstring& file) {
        FILE* in = _wfopen(file.c_str(), L"rb");
        if (!in) throw std::runtime_error("cannot open PE file");
        char chunk[65536];
        for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, in)) > 0;) bytes_.insert(bytes_.end(), chunk, chunk + n);
        std::fclose(in);
        const auto* dos = at<IMAGE_DOS_HEADER>(0);
        if (dos->e_magic != IMAGE_DOS_SIGNATURE) throw std::runtime_error("not a PE file");
        nt_ = at<IMAGE_NT_HEADERS64>(dos->e_lfanew);
        if (nt_->Signature != IMAGE_NT_SIGNATURE ||
            nt_->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC)
            throw std::runtime_error("not a 64-bit PE file");
        sections_ = reinterpret_cast<const IMAGE_SECTION_HEADER*>(
            reinterpret_cast<const char*>(&nt_->OptionalHeader) + nt_->FileHeader.SizeOfOptionalHeader);
    }

    template <typename T>
    const T* at(std::size_t offset) const {
        if (offset + sizeof(T) > bytes_.size()) throw std::runtime_error("PE offset out of range");
        return reinterpret_cast<const T*>(bytes_.data() + offset);
    }
    std::size_t fileOffset(DWORD rva) const {
        for (WORD i = 0; i < nt_->FileHeader.NumberOfSections; ++i) {
            const IMAGE_SECTION_HEADER& s = sections_[i];
            if (rva >= s.VirtualAddress && rva < s.VirtualAddress + std::max(s.Misc.VirtualSize, s.SizeOfRawData))
                return rva - s.VirtualAddress + s.PointerToRawData;
        }
        throw std::runtime_error("RVA outside every section");
    }
    std::string string(DWORD rva) const {
        const std::size_t offset = fileOffset(rva);
        if (offset >= bytes_.size()) throw std::runtime_error("string out of range");
        return std::string(bytes_.data() + offset, strnlen(bytes_.data() + offset, bytes_.size() - offset));
    }
    const IMAGE_DATA_DIRECTORY& directory(int index) const { return nt_->OptionalHeader.DataDirectory[index]; }

private:
    std::vector<char> bytes_;
    const IMAGE_NT_HEADERS64* nt_ = nullptr;
    const IMAGE_SECTION_HEADER* sections_ = nullptr;
};

}  // namespace

PeTables readPeTables(const std::wstring& file) {
    Image image(file);
    PeTables tables;
    const IMAGE_DATA_DIRECTORY& exportDir = image.directory(IMAGE_DIRECTORY_ENTRY_EXPORT);
    if (exportDir.VirtualAddress != 0) {
        const auto* exports = image.at<IMAGE_EXPORT_DIRECTORY>(image.fileOffset(exportDir.VirtualAddress));
        const std::size_t names = image.fileOffset(exports->AddressOfNames);
        for (DWORD i = 0; i < exports->NumberOfNames; ++i)
            tables.exports.push_back(image.string(*image.at<DWORD>(names + i * sizeof(DWORD))));
    }
    const IMAGE_DATA_DIRECTORY& importDir = image.directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
    if (importDir.VirtualAddress != 0) {
        for (std::size_t offset = image.fileOffset(importDir.VirtualAddress);; offset += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
            const auto* descriptor = image.at<IMAGE_IMPORT_DESCRIPTOR>(offset);
            if (descriptor->Name == 0) break;
            tables.importedDlls.push_back(image.string(descriptor->Name));
        }
    }
    return tables;
}

}  // namespace zol::test
