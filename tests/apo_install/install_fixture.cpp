#include "apo_install/install_fixture.h"

#include "apo_install/apo_info.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "apo_install/endpoint_fixture.h"
#include "common/product_key.h"
#include "support/scratch_key.h"

namespace zol::test {

ScratchWorkingDirectory::ScratchWorkingDirectory() {
    wchar_t buffer[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, buffer);
    previous_ = buffer;
    GetTempPathW(MAX_PATH, buffer);
    path_ = std::wstring(buffer) + L"zol-install-" + freshGuidText();
    EXPECT_TRUE(CreateDirectoryW(path_.c_str(), nullptr));
    EXPECT_TRUE(SetCurrentDirectoryW(path_.c_str()));
}

ScratchWorkingDirectory::~ScratchWorkingDirectory() {
    SetCurrentDirectoryW(previous_.c_str());
    for (const std::wstring& name : files()) DeleteFileW((path_ + L"\\" + name).c_str());
    RemoveDirectoryW(path_.c_str());
}

std::vector<std::wstring> ScratchWorkingDirectory::files() const {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((path_ + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.emplace_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

std::string ScratchWorkingDirectory::read(const std::wstring& name) const {
    std::string content;
    if (FILE* file = _wfopen((path_ + L"\\" + name).c_str(), L"rb")) {
        char chunk[4096];
        for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) content.append(chunk, n);
        std::fclose(file);
    }
    return content;
}

ProductKeyGuard::ProductKeyGuard() : existed_(rawKeyExists(kProductKey)) {}

ProductKeyGuard::~ProductKeyGuard() {
    if (!existed_) rawDeleteTree(kProductKey);
}

std::optional<StoredValue> storedValue(const std::wstring& key, const std::wstring& name) {
    StoredValue value;
    if (!rawGetValue(key, name, &value.type, &value.bytes)) return std::nullopt;
    return value;
}

std::wstring storedText(const std::wstring& key, const std::wstring& name) {
    const auto value = storedValue(key, name);
    if (!value) return L"<absent>";
    if (value->type != REG_SZ) return L"<type " + std::to_wstring(value->type) + L">";
    std::wstring text(reinterpret_cast<const wchar_t*>(value->bytes.data()), value->bytes.size() / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
}

std::optional<DWORD> storedDword(const std::wstring& key, const std::wstring& name) {
    const auto value = storedValue(key, name);
    if (!value || value->type != REG_DWORD || value->bytes.size() != sizeof(DWORD)) return std::nullopt;
    DWORD number = 0;
    std::copy(value->bytes.begin(), value->bytes.end(), reinterpret_cast<char*>(&number));
    return number;
}

namespace {
void collectTree(const std::wstring& key, const std::wstring& relative, bool deep,
                 std::map<std::wstring, StoredValue>& out) {
    std::wstring subkey;
    HKEY root = rawRoot(key, &subkey);
    HKEY handle = nullptr;
    if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &handle) != ERROR_SUCCESS) return;
    std::vector<std::wstring> names, children;
    wchar_t name[512];
    DWORD length = 512;
    for (DWORD i = 0; RegEnumValueW(handle, i, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, length = 512)
        names.emplace_back(name, length);
    for (DWORD i = 0; deep && RegEnumKeyExW(handle, i, name, &length, nullptr, nullptr, nullptr, nullptr) ==
                                  ERROR_SUCCESS;
         ++i, length = 512)
        children.emplace_back(name, length);
    RegCloseKey(handle);
    out[relative + L"\\"] = StoredValue{};
    for (const std::wstring& n : names) out[relative + L"\\" + n] = *storedValue(key, n);
    for (const std::wstring& child : children) collectTree(key + L"\\" + child, relative + L"\\" + child, deep, out);
}
}  // namespace

std::map<std::wstring, StoredValue> storedTree(const std::wstring& key, bool deep) {
    std::map<std::wstring, StoredValue> out;
    collectTree(key, L"", deep, out);
    return out;
}

bool installedOn(const std::wstring& endpointId, bool previousOs) {
    zol::apo_install::DeviceAPOInfo record;
    record.previousOs = previousOs;
    return record.load(endpointId, L"") && record.isInstalled();
}

}  // namespace zol::test
