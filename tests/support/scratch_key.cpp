#include "support/scratch_key.h"

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <stdexcept>

namespace zol::test {

HKEY rawRoot(const std::wstring& fullPath, std::wstring* subkey) {
    const auto slash = fullPath.find(L'\\');
    const std::wstring root = fullPath.substr(0, slash);
    *subkey = slash == std::wstring::npos ? std::wstring() : fullPath.substr(slash + 1);
    if (root == L"HKEY_CURRENT_USER") return HKEY_CURRENT_USER;
    if (root == L"HKEY_LOCAL_MACHINE") return HKEY_LOCAL_MACHINE;
    if (root == L"HKEY_CLASSES_ROOT") return HKEY_CLASSES_ROOT;
    if (root == L"HKEY_USERS") return HKEY_USERS;
    throw std::invalid_argument("test helper: unknown root");
}

ScratchKey::ScratchKey(const std::wstring& name, const std::wstring& root) {
    path_ = root + L"\\Software\\ZolTests\\" + name + L"-" + std::to_wstring(GetCurrentProcessId());
    root_ = rawRoot(path_, &subkey_);
    RegDeleteTreeW(root_, subkey_.c_str());
    rawCreateKey(path_);
}

ScratchKey::~ScratchKey() { rawDeleteTree(path_); }

void rawCreateKey(const std::wstring& fullPath) {
    std::wstring subkey;
    HKEY root = rawRoot(fullPath, &subkey);
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key,
                              nullptr);
    ASSERT_EQ(rc, ERROR_SUCCESS) << "creating " << narrow(fullPath);
    RegCloseKey(key);
}

bool rawKeyExists(const std::wstring& fullPath) {
    std::wstring subkey;
    HKEY root = rawRoot(fullPath, &subkey);
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

void rawDeleteTree(const std::wstring& fullPath) {
    std::wstring subkey;
    HKEY root = rawRoot(fullPath, &subkey);
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, &key) == ERROR_SUCCESS) {
        RegDeleteTreeW(key, nullptr);
        RegCloseKey(key);
    }
    RegDeleteKeyExW(root, subkey.c_str(), KEY_WOW64_64KEY, 0);
}

void rawSetValue(const std::wstring& fullPath, const std::wstring& name, DWORD type, const void* data, DWORD size) {
    std::wstring subkey;
    HKEY root = rawRoot(fullPath, &subkey);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    RegCloseKey(key);
}

bool rawGetValue(const std::wstring& fullPath, const std::wstring& name, DWORD* type, std::string* bytes) {
    std::wstring subkey;
    HKEY root = rawRoot(fullPath, &subkey);
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) return false;
    DWORD size = 0;
    LONG rc = RegQueryValueExW(key, name.c_str(), nullptr, type, nullptr, &size);
    if (rc == ERROR_SUCCESS) {
        bytes->assign(size, '\0');
        rc = RegQueryValueExW(key, name.c_str(), nullptr, type, reinterpret_cast<BYTE*>(bytes->data()), &size);
        bytes->resize(size);
    }
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

std::string narrow(const std::wstring& text) {
    if (text.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring widen(const std::string& text) {
    if (text.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

}  // namespace zol::test

namespace zol::test {

void rawSetText(const std::wstring& fullPath, const std::wstring& name, const std::wstring& text) {
    rawSetValue(fullPath, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void rawDeleteValue(const std::wstring& fullPath, const std::wstring& name) {
    std::wstring subkey;
    HKEY root = rawRoot(fullPath, &subkey);
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_SET_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) return;
    RegDeleteValueW(key, name.c_str());
    RegCloseKey(key);
}

void rawSetKeySecurity(const std::wstring& fullPath, const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr));
    std::wstring subkey;
    HKEY root = rawRoot(fullPath, &subkey);
    HKEY key = nullptr;
    const LONG opened = RegOpenKeyExW(root, subkey.c_str(), 0, WRITE_DAC | WRITE_OWNER | KEY_WOW64_64KEY, &key);
    const LONG set = opened == ERROR_SUCCESS
                         ? RegSetKeySecurity(key, OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                                      DACL_SECURITY_INFORMATION, descriptor)
                         : opened;
    if (key) RegCloseKey(key);
    LocalFree(descriptor);
    ASSERT_EQ(set, ERROR_SUCCESS);
}

std::string kernelObjectDacl(HANDLE object) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(object, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr,
                        &descriptor) != ERROR_SUCCESS)
        return "";
    LPWSTR text = nullptr;
    std::string result;
    if (ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                             &text, nullptr)) {
        result = narrow(text);
        LocalFree(text);
    }
    LocalFree(descriptor);
    return result;
}

std::string currentUserSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return "";
    BYTE buffer[256];
    DWORD size = 0;
    std::string result;
    LPWSTR text = nullptr;
    if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) {
        result = narrow(text);
        LocalFree(text);
    }
    CloseHandle(token);
    return result;
}

}  // namespace zol::test
