#include "registry/registry_read.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "common/system_error.h"
#include "log/debug_log.h"

namespace zol::registry {
namespace {

struct RootName {
    const wchar_t* name;
    HKEY key;
};
const RootName kRoots[] = {
    {L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},   {L"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
    {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},   {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {L"HKEY_USERS", HKEY_USERS},
};

[[noreturn]] void raiseWrongType(const std::wstring& keyPath, const std::wstring& valueName) {
    throw RegistryException(L"Registry value " + valuePath(keyPath, valueName) + L" has wrong type");
}

constexpr const wchar_t* kReadError = L"Error while reading registry value ";

// Opens the key, checks the stored type and reads the data whole. Shared by every read.
std::vector<std::uint8_t> readRaw(const std::wstring& keyPath, const std::wstring& valueName,
                                  DWORD expectedType, DWORD minimumSize = 0) {
    common::unique_hkey key = openKey(keyPath, kQueryAccess);
    DWORD type = 0;
    DWORD size = 0;
    LONG rc = RegQueryValueExW(key.get(), valueName.c_str(), nullptr, &type, nullptr, &size);
    if (rc != ERROR_SUCCESS) raise(kReadError, valuePath(keyPath, valueName), rc);
    if (type != expectedType || size < minimumSize) raiseWrongType(keyPath, valueName);
    std::vector<std::uint8_t> data(size);
    rc = RegQueryValueExW(key.get(), valueName.c_str(), nullptr, nullptr, data.data(), &size);
    if (rc != ERROR_SUCCESS) raise(kReadError, valuePath(keyPath, valueName), rc);
    data.resize(size);
    return data;
}

}  // namespace

std::wstring valuePath(const std::wstring& keyPath, const std::wstring& valueName) {
    return keyPath + L"\\" + valueName;
}

[[noreturn]] void raise(const wchar_t* prefix, const std::wstring& object, LONG code) {
    throw RegistryException(prefix + object + L": " + common::systemErrorText(static_cast<DWORD>(code)));
}

std::pair<HKEY, std::wstring> splitKeyPath(const std::wstring& keyPath) {
    const auto slash = keyPath.find(L'\\');
    if (slash == std::wstring::npos) throw RegistryException(L"Key " + keyPath + L" has invalid format");
    const std::wstring root = keyPath.substr(0, slash);
    std::wstring upper = root;
    if (!upper.empty() && CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size())) != upper.size())
        upper = root;
    for (const RootName& candidate : kRoots) {
        if (upper == candidate.name) return {candidate.key, keyPath.substr(slash + 1)};
    }
    throw RegistryException(L"Unknown root key " + root);
}

common::unique_hkey openKey(const std::wstring& keyPath, REGSAM access) {
    auto [root, subkey] = splitKeyPath(keyPath);
    HKEY handle = nullptr;
    LONG rc = RegOpenKeyExW(root, subkey.c_str(), 0, access, &handle);
    if (rc == ERROR_SUCCESS) return common::unique_hkey(handle);
    log::trace(L"%s", (L"Error while opening registry key " + keyPath + L": ").c_str());
    log::trace(L"%s", common::systemErrorText(static_cast<DWORD>(rc)).c_str());
    return common::unique_hkey();
}

bool keyExists(const std::wstring& keyPath) {
    auto [root, subkey] = splitKeyPath(keyPath);
    common::unique_hkey key;
    return RegOpenKeyExW(root, subkey.c_str(), 0, kQueryAccess, key.put()) == ERROR_SUCCESS;
}

bool valueExists(const std::wstring& keyPath, const std::wstring& valueName) {
    common::unique_hkey key = openKey(keyPath, kQueryAccess);
    DWORD type = 0;
    DWORD size = 0;
    return RegQueryValueExW(key.get(), valueName.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
}

std::wstring readStringValue(const std::wstring& keyPath, const std::wstring& valueName) {
    const std::vector<std::uint8_t> data = readRaw(keyPath, valueName, REG_SZ);
    std::wstring text(data.size() / sizeof(wchar_t), L'\0');
    std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
    if (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
}

std::uint32_t readDwordValue(const std::wstring& keyPath, const std::wstring& valueName) {
    const std::vector<std::uint8_t> data = readRaw(keyPath, valueName, REG_DWORD, sizeof(std::uint32_t));
    if (data.size() < sizeof(std::uint32_t)) raiseWrongType(keyPath, valueName);
    return static_cast<std::uint32_t>(data[0]) | static_cast<std::uint32_t>(data[1]) << 8 |
           static_cast<std::uint32_t>(data[2]) << 16 | static_cast<std::uint32_t>(data[3]) << 24;
}

std::vector<std::uint8_t> readBinaryValue(const std::wstring& keyPath, const std::wstring& valueName) {
    return readRaw(keyPath, valueName, REG_BINARY);
}

void readBinaryValueInto(const std::wstring& keyPath, const std::wstring& valueName, void* buffer,
                         std::uint32_t size) {
    const std::vector<std::uint8_t> data = readRaw(keyPath, valueName, REG_BINARY);
    std::memcpy(buffer, data.data(), std::min<std::size_t>(data.size(), size));
}

std::vector<std::wstring> listSubkeys(const std::wstring& keyPath) {
    common::unique_hkey key = openKey(keyPath, kEnumerateAccess);
    std::vector<std::wstring> names;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD capacity = 256;
        LONG rc = RegEnumKeyExW(key.get(), index, name, &capacity, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) return names;
        if (rc != ERROR_SUCCESS) raise(L"Error while enumerating sub keys of registry key ", keyPath, rc);
        names.emplace_back(name, capacity);
    }
}

bool isKeyEmpty(const std::wstring& keyPath) {
    common::unique_hkey key = openKey(keyPath, kQueryAccess);
    DWORD subkeys = 0;
    DWORD values = 0;
    LONG rc = RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                               nullptr, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) raise(L"Error while reading info for registry key ", keyPath, rc);
    return subkeys == 0 && values == 0;
}

}  // namespace zol::registry
