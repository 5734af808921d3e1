#include "registry/permissions.h"

#include <aclapi.h>

#include "common/security.h"
#include "common/unique_handle.h"
#include "registry/registry.h"

namespace zol::registry {
namespace {

using common::administratorsSid;

// One fresh absolute descriptor; it holds only the part that is about to be written.
common::unique_local newSecurityDescriptor() {
    return common::unique_local(LocalAlloc(LPTR, SECURITY_DESCRIPTOR_MIN_LENGTH));
}

bool setTakeOwnershipPrivilege(HANDLE token, const LUID& privilege, DWORD attributes) {
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Luid = privilege;
    privileges.Privileges[0].Attributes = attributes;
    return AdjustTokenPrivileges(token, FALSE, &privileges, sizeof(TOKEN_PRIVILEGES), nullptr, nullptr) != FALSE;
}

constexpr const wchar_t* kSetSecurityError = L"Error while setting security information for registry key ";

}  // namespace

void ensureKeyWritable(const std::wstring& keyPath) {
    common::unique_hkey key = openKey(keyPath, kDaclAccess);

    // The first call only learns the size; a failure shows up in the second one.
    DWORD size = 0;
    RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, nullptr, &size);
    common::unique_process_heap_block current(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size));
    LONG rc = RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, current.get(), &size);
    if (rc != ERROR_SUCCESS)
        raise(L"Error while getting security information for registry key ", keyPath, rc);

    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL previous = nullptr;
    if (!GetSecurityDescriptorDacl(current.get(), &present, &previous, &defaulted))
        throw RegistryException(L"Error in GetSecurityDescriptorDacl while ensuring writability");
    if (!present) previous = nullptr;

    common::unique_sid administrators = administratorsSid();
    if (!administrators) throw RegistryException(L"Error in AllocateAndInitializeSid while ensuring writability");

    EXPLICIT_ACCESSW entry{};
    entry.grfAccessPermissions = KEY_ALL_ACCESS;
    entry.grfAccessMode = SET_ACCESS;
    entry.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    entry.Trustee.pMultipleTrustee = nullptr;
    entry.Trustee.MultipleTrusteeOperation = NO_MULTIPLE_TRUSTEE;
    entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entry.Trustee.TrusteeType = TRUSTEE_IS_GROUP;
    entry.Trustee.ptstrName = static_cast<LPWSTR>(administrators.get());
    PACL merged = nullptr;
    if (SetEntriesInAclW(1, &entry, previous, &merged) != ERROR_SUCCESS)
        throw RegistryException(L"Error in SetEntriesInAcl while ensuring writability");
    common::unique_local mergedOwner(merged);

    common::unique_local descriptor = newSecurityDescriptor();
    if (!descriptor) throw RegistryException(L"Error in LocalAlloc while ensuring writability");
    if (!InitializeSecurityDescriptor(descriptor.get(), SECURITY_DESCRIPTOR_REVISION))
        throw RegistryException(L"Error in InitializeSecurityDescriptor while ensuring writability");
    if (!SetSecurityDescriptorDacl(descriptor.get(), TRUE, merged, FALSE))
        throw RegistryException(L"Error in SetSecurityDescriptorDacl while ensuring writability");

    rc = RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, descriptor.get());
    if (rc != ERROR_SUCCESS) raise(kSetSecurityError, keyPath, rc);
    noteChange();
}

void takeKeyOwnership(const std::wstring& keyPath) {
    common::unique_kernel_handle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put()))
        throw RegistryException(L"Error in OpenProcessToken while taking ownership");
    LUID privilege{};
    if (!LookupPrivilegeValueW(nullptr, L"SeTakeOwnershipPrivilege", &privilege))
        throw RegistryException(L"Error in LookupPrivilegeValue while taking ownership");
    // Success here does not mean the token holds the privilege; the owner write below decides.
    if (!setTakeOwnershipPrivilege(token.get(), privilege, SE_PRIVILEGE_ENABLED))
        throw RegistryException(L"Error in AdjustTokenPrivileges while taking ownership");

    common::unique_hkey key = openKey(keyPath, kOwnerAccess);

    common::unique_local descriptor = newSecurityDescriptor();
    if (!descriptor) throw RegistryException(L"Error in SetPrivilege while taking ownership");
    if (!InitializeSecurityDescriptor(descriptor.get(), SECURITY_DESCRIPTOR_REVISION))
        throw RegistryException(L"Error in InitializeSecurityDescriptor while taking ownership");
    common::unique_sid administrators = administratorsSid();
    if (!administrators) throw RegistryException(L"Error in AllocateAndInitializeSid while taking ownership");
    if (!SetSecurityDescriptorOwner(descriptor.get(), administrators.get(), FALSE))
        throw RegistryException(L"Error in SetSecurityDescriptorOwner while taking ownership");

    const LONG rc = RegSetKeySecurity(key.get(), OWNER_SECURITY_INFORMATION, descriptor.get());
    if (rc != ERROR_SUCCESS) raise(kSetSecurityError, keyPath, rc);
    noteChange();

    if (!setTakeOwnershipPrivilege(token.get(), privilege, 0))
        throw RegistryException(L"Error in AdjustTokenPrivileges while taking ownership");
}

}  // namespace zol::registry
