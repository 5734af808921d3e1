#include "support/install_fixture.h"

#include "apo_install/apo_info.h"

#include <gtest/gtest.h>


#include "support/endpoint_fixture.h"
#include "common/product_key.h"
#include "support/scratch_key.h"

namespace zol::test {

ProductKeyGuard::ProductKeyGuard() : existed_(rawKeyExists(common::kProductKey)) {}

ProductKeyGuard::~ProductKeyGuard() {
    if (!existed_) rawDeleteTree(common::kProductKey);
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
