#include "registry/registry.h"

#include <atomic>

#include "common/system_error.h"
#include "log/debug_log.h"

namespace zol::registry {
namespace {

constexpr const wchar_t* kWriteError = L"Error while writing to registry value ";

std::atomic<ChangeObserver> changeObserver{nullptr};

void setValue(const std::wstring& keyPath, const std::wstring& valueName, DWORD type, const void* data,
              DWORD size) {
    common::unique_hkey key = openKey(keyPath, kSetAccess);
    LONG rc = RegSetValueExW(key.get(), valueName.c_str(), 0, type, static_cast<const BYTE*>(data), size);
    if (rc != ERROR_SUCCESS) raise(kWriteError, valuePath(keyPath, valueName), rc);
    noteChange();
}

}  // namespace

void setChangeObserver(ChangeObserver observer) { changeObserver.store(observer); }

void noteChange() {
    if (const ChangeObserver observer = changeObserver.load()) observer();
}

void writeStringValue(const std::wstring& keyPath, const std::wstring& valueName, const std::wstring& text) {
    log::trace(L"start writevalue");
    common::unique_hkey key = openKey(keyPath, kSetAccess);
    if (!key) {
        log::trace(L"invalid handle");
        return;
    }
    LONG rc = RegSetValueExW(key.get(), valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    if (rc != ERROR_SUCCESS) {
        log::trace(L"%s", (L"Error while writing toregistry key " + keyPath + L": ").c_str());
        log::trace(L"%s", common::systemErrorText(static_cast<DWORD>(rc)).c_str());
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
    common::unique_hkey key = openKey(keyPath, kSetAccess);
    LONG rc = RegDeleteValueW(key.get(), valueName.c_str());
    if (rc != ERROR_SUCCESS) raise(L"Error while deleting registry value ", valuePath(keyPath, valueName), rc);
    noteChange();
}

void createKey(const std::wstring& keyPath) {
    auto [root, subkey] = splitKeyPath(keyPath);
    HKEY handle = nullptr;
    LONG rc = RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, kSetAccess, nullptr, &handle,
                              nullptr);
    common::unique_hkey owner(handle);
    if (rc != ERROR_SUCCESS) raise(L"Error while creating registry key ", keyPath, rc);
    noteChange();
}

void deleteKey(const std::wstring& keyPath) {
    auto [root, subkey] = splitKeyPath(keyPath);
    LONG rc = RegDeleteKeyExW(root, subkey.c_str(), KEY_WOW64_64KEY, 0);
    if (rc != ERROR_SUCCESS) raise(L"Error while deleting registry key ", keyPath, rc);
    noteChange();
}

}  // namespace zol::registry
