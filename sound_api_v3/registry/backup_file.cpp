#include "registry/backup_file.h"

#include <windows.h>

#include "common/unique_handle.h"
#include "registry/registry.h"

namespace zol::registry {
namespace {

std::string toFileText(const std::wstring& text) {
    if (text.empty()) return std::string();
    const int length = static_cast<int>(text.size());
    const int bytes = WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string converted(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) WideCharToMultiByte(CP_ACP, 0, text.data(), length, converted.data(), bytes, nullptr, nullptr);
    return converted;
}

// Each line goes to the file as soon as it is complete; write failures are not reported.
class LineWriter {
public:
    explicit LineWriter(HANDLE file) : file_(file) {}
    void line(const std::wstring& text) {
        std::string bytes = toFileText(text);
        bytes += "\r\n";
        DWORD written = 0;
        WriteFile(file_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }

private:
    HANDLE file_;
};

// Backslashes and quotation marks inside a quoted name or text, as the registry editor reads them.
std::wstring quoted(const std::wstring& text) {
    std::wstring out = L"\"";
    for (wchar_t c : text) {
        if (c == L'\\' || c == L'"') out += L'\\';
        out += c;
    }
    return out + L"\"";
}

}  // namespace

void exportValuesToRegFile(const std::wstring& keyPath, const std::vector<std::wstring>& valueNames,
                           const std::wstring& filePath) {
    common::unique_file_handle file(CreateFileW(filePath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) throw RegistryException(L"Error while opening file " + filePath + L" for writing");

    LineWriter out(file.get());
    out.line(L"Windows Registry Editor Version 5.00");
    out.line(L"");
    out.line(L"[" + keyPath + L"]");
    for (const std::wstring& name : valueNames) {
        const std::wstring text = readStringValue(keyPath, name);
        out.line(quoted(name) + L"=" + quoted(text));
    }
    out.line(L"");
}

}  // namespace zol::registry
