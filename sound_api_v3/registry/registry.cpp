#include "registry/registry.h"

#include <objbase.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <iterator>

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

std::wstring valuePath(const std::wstring& keyPath, const std::wstring& valueName) {
    return keyPath + L"\\" + valueName;
}

[[noreturn]] void raise(const wchar_t* prefix, const std::wstring& object, LONG code) {
    throw RegistryException(prefix + object + L": " + systemErrorText(static_cast<DWORD>(code)));
}

[[noreturn]] void raiseWrongType(const std::wstring& keyPath, const std::wstring& valueName) {
    throw RegistryException(L"Registry value " + valuePath(keyPath, valueName) + L" has wrong type");
}

constexpr const wchar_t* kReadError = L"Error while reading registry value ";
constexpr const wchar_t* kWriteError = L"Error while writing to registry value ";

// Opens the key, checks the stored type and reads the data whole. Shared by every read.
std::vector<std::uint8_t> readRaw(const std::wstring& keyPath, const std::wstring& valueName,
                                  DWORD expectedType, DWORD minimumSize = 0) {
    unique_hkey key = openKey(keyPath, kQueryAccess);
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

std::atomic<ChangeObserver> changeObserver{nullptr};

void setValue(const std::wstring& keyPath, const std::wstring& valueName, DWORD type, const void* data,
              DWORD size) {
    unique_hkey key = openKey(keyPath, kSetAccess);
    LONG rc = RegSetValueExW(key.get(), valueName.c_str(), 0, type, static_cast<const BYTE*>(data), size);
    if (rc != ERROR_SUCCESS) raise(kWriteError, valuePath(keyPath, valueName), rc);
    noteChange();
}

}  // namespace

void setChangeObserver(ChangeObserver observer) { changeObserver.store(observer); }

void noteChange() {
    if (const ChangeObserver observer = changeObserver.load()) observer();
}

std::wstring systemErrorText(DWORD code) {
    wchar_t* buffer = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                  reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    unique_local owner(buffer);
    if (length == 0 || buffer == nullptr) return std::wstring();
    std::wstring text(buffer, length);
    if (!text.empty() && text.back() == L'\n') text.pop_back();
    if (!text.empty() && text.back() == L'\r') text.pop_back();
    return text;
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

unique_hkey openKey(const std::wstring& keyPath, REGSAM access) {
    auto [root, subkey] = splitKeyPath(keyPath);
    HKEY handle = nullptr;
    LONG rc = RegOpenKeyExW(root, subkey.c_str(), 0, access, &handle);
    if (rc == ERROR_SUCCESS) return unique_hkey(handle);
    _dbgw(L"[brisol]%s", (L"Error while opening registry key " + keyPath + L": ").c_str());
    _dbgw(L"[brisol]%s", systemErrorText(static_cast<DWORD>(rc)).c_str());
    return unique_hkey();
}

bool keyExists(const std::wstring& keyPath) {
    auto [root, subkey] = splitKeyPath(keyPath);
    unique_hkey key;
    return RegOpenKeyExW(root, subkey.c_str(), 0, kQueryAccess, key.put()) == ERROR_SUCCESS;
}

bool valueExists(const std::wstring& keyPath, const std::wstring& valueName) {
    unique_hkey key = openKey(keyPath, kQueryAccess);
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

void writeStringValue(const std::wstring& keyPath, const std::wstring& valueName, const std::wstring& text) {
    _dbgw(L"[brisol]start writevalue");
    unique_hkey key = openKey(keyPath, kSetAccess);
    if (!key) {
        _dbgw(L"[brisol]invalid handle");
        return;
    }
    LONG rc = RegSetValueExW(key.get(), valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    if (rc != ERROR_SUCCESS) {
        _dbgw(L"[brisol]%s", (L"Error while writing toregistry key " + keyPath + L": ").c_str());
        _dbgw(L"[brisol]%s", systemErrorText(static_cast<DWORD>(rc)).c_str());
        return;
    }
    noteChange();
}

void writeDwordValue(const std::wstring& keyPath, const std::wstring& valueName, std::uint32_t value) {
    const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                                   static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
    setValue(keyPath, valueName, REG_DWORD, bytes, sizeof bytes);
}

void writeBinaryValue(const std::wstring& keyPath, const std::wstring& valueName, const void* data,
                      std::uint32_t size) {
    setValue(keyPath, valueName, REG_BINARY, data, size);
}

void writeMultiStringValue(const std::wstring& keyPath, const std::wstring& valueName, const std::wstring& text) {
    std::wstring buffer = text;
    buffer.push_back(L'\0');
    buffer.push_back(L'\0');
    setValue(keyPath, valueName, REG_MULTI_SZ, buffer.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t) + 4));
}

void deleteValue(const std::wstring& keyPath, const std::wstring& valueName) {
    unique_hkey key = openKey(keyPath, kSetAccess);
    LONG rc = RegDeleteValueW(key.get(), valueName.c_str());
    if (rc != ERROR_SUCCESS) raise(L"Error while deleting registry value ", valuePath(keyPath, valueName), rc);
    noteChange();
}

void createKey(const std::wstring& keyPath) {
    auto [root, subkey] = splitKeyPath(keyPath);
    HKEY handle = nullptr;
    LONG rc = RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, kSetAccess, nullptr, &handle,
                              nullptr);
    unique_hkey owner(handle);
    if (rc != ERROR_SUCCESS) raise(L"Error while creating registry key ", keyPath, rc);
    noteChange();
}

void deleteKey(const std::wstring& keyPath) {
    auto [root, subkey] = splitKeyPath(keyPath);
    LONG rc = RegDeleteKeyExW(root, subkey.c_str(), KEY_WOW64_64KEY, 0);
    if (rc != ERROR_SUCCESS) raise(L"Error while deleting registry key ", keyPath, rc);
    noteChange();
}

std::vector<std::wstring> listSubkeys(const std::wstring& keyPath) {
    unique_hkey key = openKey(keyPath, kEnumerateAccess);
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
    unique_hkey key = openKey(keyPath, kQueryAccess);
    DWORD subkeys = 0;
    DWORD values = 0;
    LONG rc = RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                               nullptr, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) raise(L"Error while reading info for registry key ", keyPath, rc);
    return subkeys == 0 && values == 0;
}

std::wstring guidToString(const GUID& guid) {
    LPOLESTR raw = nullptr;
    const HRESULT result = StringFromCLSID(guid, &raw);
    unique_co_task_mem text(raw);
    if (FAILED(result) || !text) throw RegistryException(L"Could not convert GUID to string");
    return static_cast<const wchar_t*>(text.get());
}

std::uint32_t fileProductVersion(const wchar_t* fileName) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(fileName, &ignored);
    if (size == 0) return 0;
    std::vector<std::uint8_t> block(size);
    if (!GetFileVersionInfoW(fileName, 0, size, block.data())) return 0;
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &length) || info == nullptr ||
        length < sizeof(VS_FIXEDFILEINFO))
        return 0;
    return info->dwProductVersionMS;
}

bool productVersionAtLeast(std::uint32_t productVersionMS, std::uint32_t major, std::uint32_t minor) {
    return productVersionMS >= major * 65536u + minor;
}

bool isWindowsVersionAtLeast(std::uint32_t major, std::uint32_t minor) {
    static std::atomic<std::uint32_t> cachedVersion{0};
    if (cachedVersion.load() == 0) cachedVersion.store(fileProductVersion(L"kernel32.dll"));
    return productVersionAtLeast(cachedVersion.load(), major, minor);
}

}  // namespace zol::registry
