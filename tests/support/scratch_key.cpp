#include "support/scratch_key.h"

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <stdexcept>

#include "common/unique_handle.h"

namespace zol::test {
namespace {

HKEY rawRoot(const std::wstring& fullPath, std::wstring* subkey) {
    const auto slash = fullPath.find(L'\\');
    *subkey = slash == std::wstring::npos ? std::wstring() : fullPath.substr(slash + 1);
    const std::wstring root = fullPath.substr(0, slash);
    if (root == L"HKEY_CURRENT_USER") return HKEY_CURRENT_USER;
    if (root == L"HKEY_LOCAL_MACHINE") return HKEY_LOCAL_MACHINE;
    if (root == L"HKEY_CLASSES_ROOT") return HKEY_CLASSES_ROOT;
    throw std::invalid_argument("test helper: unknown root");
}

}  // namespace

common::unique_hkey openRaw(const std::wstring& fullPath, REGSAM access, bool create) {
    std::wstring subkey;
    const HKEY root = rawRoot(fullPath, &subkey);
    HKEY key = nullptr;
    access |= KEY_WOW64_64KEY;
    const LONG rc = create ? RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, 0, access, nullptr, &key, nullptr)
                           : RegOpenKeyExW(root, subkey.c_str(), 0, access, &key);
    return common::unique_hkey(rc == ERROR_SUCCESS ? key : nullptr);
}

ScratchKey::ScratchKey(const std::wstring& name, const std::wstring& root)
    : path_(root + L"\\Software\\ZolTests\\" + name + L"-" + std::to_wstring(GetCurrentProcessId())) {
    rawDeleteTree(path_);
    rawCreateKey(path_);
}

ScratchKey::~ScratchKey() { rawDeleteTree(path_); }

void rawCreateKey(const std::wstring& fullPath) { EXPECT_TRUE(openRaw(fullPath, KEY_READ, true)) << narrow(fullPath); }

bool rawKeyExists(const std::wstring& fullPath) { return static_cast<bool>(openRaw(fullPath, KEY_READ)); }

void rawDeleteTree(const std::wstring& fullPath) {
    if (auto key = openRaw(fullPath, KEY_ALL_ACCESS)) RegDeleteTreeW(key.get(), nullptr);
    std::wstring subkey;
    const HKEY root = rawRoot(fullPath, &subkey);
    RegDeleteKeyExW(root, subkey.c_str(), KEY_WOW64_64KEY, 0);
}

void rawSetValue(const std::wstring& fullPath, const std::wstring& name, DWORD type, const void* data, DWORD size) {
    EXPECT_EQ(RegSetValueExW(openRaw(fullPath, KEY_ALL_ACCESS, true).get(), name.c_str(), 0, type,
                             static_cast<const BYTE*>(data), size), ERROR_SUCCESS) << narrow(fullPath);
}

bool rawGetValue(const std::wstring& fullPath, const std::wstring& name, DWORD* type, std::string* bytes) {
    const auto key = openRaw(fullPath, KEY_READ);
    DWORD size = 0;
    if (!key || RegQueryValueExW(key.get(), name.c_str(), nullptr, type, nullptr, &size) != ERROR_SUCCESS) return false;
    bytes->assign(size, '\0');
    const LONG rc = RegQueryValueExW(key.get(), name.c_str(), nullptr, type, reinterpret_cast<BYTE*>(bytes->data()), &size);
    bytes->resize(size);
    return rc == ERROR_SUCCESS;
}

void rawSetText(const std::wstring& fullPath, const std::wstring& name, const std::wstring& text) {
    rawSetValue(fullPath, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void rawDeleteValue(const std::wstring& fullPath, const std::wstring& name) {
    RegDeleteValueW(openRaw(fullPath, KEY_SET_VALUE).get(), name.c_str());
}

void rawSetKeySecurity(const std::wstring& fullPath, const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr));
    const common::unique_local owner(descriptor);
    EXPECT_EQ(RegSetKeySecurity(openRaw(fullPath, WRITE_DAC | WRITE_OWNER).get(),
                                OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                descriptor), ERROR_SUCCESS);
}

std::string narrow(const std::wstring& text) {
    std::string out(text.size() * 3, '\0');
    out.resize(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                   static_cast<int>(out.size()), nullptr, nullptr));
    return out;
}

std::wstring widen(const std::string& text) {
    std::wstring out(text.size(), L'\0');
    out.resize(MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                   static_cast<int>(out.size())));
    return out;
}

std::string kernelObjectDacl(HANDLE object) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    LPWSTR text = nullptr;
    if (GetSecurityInfo(object, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return "";
    const common::unique_local owner(descriptor);
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr)) return "";
    const common::unique_local textOwner(text);
    return narrow(text);
}

std::string currentUserSid() {
    HANDLE token = nullptr;
    BYTE user[256];
    DWORD size = 0;
    LPWSTR text = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return "";
    const common::unique_kernel_handle tokenOwner(token);
    if (!GetTokenInformation(token, TokenUser, user, sizeof user, &size) ||
        !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &text))
        return "";
    const common::unique_local textOwner(text);
    return narrow(text);
}

}  // namespace zol::test
