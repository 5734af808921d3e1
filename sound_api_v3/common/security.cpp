#include "common/security.h"

#include <aclapi.h>

#include <vector>

namespace zol::common {
namespace {

// The process user's SID in a LocalAlloc block of its own, or empty.
unique_local currentUserSid() {
    unique_kernel_handle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return {};
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size == 0) return {};
    std::vector<BYTE> buffer(size);
    if (!GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return {};
    PSID user = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    const DWORD length = GetLengthSid(user);
    unique_local copy(LocalAlloc(LPTR, length));
    if (!copy || !CopySid(length, copy.get(), user)) return {};
    return copy;
}

}  // namespace

unique_sid administratorsSid() {
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    unique_sid sid;
    if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0,
                                  0, 0, sid.put()))
        return unique_sid();
    return sid;
}

int buildGlobalObjectSecurity(GlobalObjectSecurity& security, DWORD userMask, DWORD localServiceMask) {
    security.attributes = SECURITY_ATTRIBUTES{};
    security.attributes.nLength = sizeof(SECURITY_ATTRIBUTES);
    security.attributes.bInheritHandle = FALSE;
    security.descriptor.reset();
    security.acl.reset();

    unique_local userSid = currentUserSid();
    if (!userSid) return -1;

    BYTE localServiceSid[SECURITY_MAX_SID_SIZE] = {};
    DWORD sidSize = sizeof localServiceSid;
    if (!CreateWellKnownSid(WinLocalServiceSid, nullptr, localServiceSid, &sidSize)) return -2;

    EXPLICIT_ACCESSW entries[2] = {};
    entries[0].grfAccessPermissions = userMask;
    entries[0].grfAccessMode = SET_ACCESS;
    entries[0].grfInheritance = NO_INHERITANCE;
    entries[0].Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entries[0].Trustee.TrusteeType = TRUSTEE_IS_USER;
    entries[0].Trustee.ptstrName = static_cast<LPWSTR>(userSid.get());
    entries[1] = entries[0];
    entries[1].grfAccessPermissions = localServiceMask;
    entries[1].Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    entries[1].Trustee.ptstrName = reinterpret_cast<LPWSTR>(localServiceSid);
    PACL acl = nullptr;
    if (SetEntriesInAclW(localServiceMask == 0 ? 1 : 2, entries, nullptr, &acl) != ERROR_SUCCESS) return -3;
    unique_local aclOwner(acl);

    unique_local descriptor(LocalAlloc(LPTR, SECURITY_DESCRIPTOR_MIN_LENGTH));
    if (!descriptor) return -4;
    if (!InitializeSecurityDescriptor(descriptor.get(), SECURITY_DESCRIPTOR_REVISION)) return -5;
    if (!SetSecurityDescriptorDacl(descriptor.get(), TRUE, acl, FALSE)) return -6;

    security.attributes.lpSecurityDescriptor = descriptor.get();
    security.descriptor = std::move(descriptor);
    security.acl = std::move(aclOwner);
    return 1;
}

}  // namespace zol::common
