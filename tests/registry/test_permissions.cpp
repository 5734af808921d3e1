// Ownership and DACL repair of registry keys, read back through the security descriptor.
#include <windows.h>

#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "common/system_error.h"
#include "common/unique_handle.h"
#include "registry/permissions.h"
#include "registry/registry.h"
#include "support/scratch_key.h"

namespace zol::registry {
namespace {

using test::narrow;

// The key's owner and DACL as SDDL ("" when unreadable).
std::string securityOf(const std::wstring& path) {
    std::wstring subkey;
    const HKEY root = test::rawRoot(path, &subkey);
    common::unique_hkey key;
    RegOpenKeyExW(root, subkey.c_str(), 0, READ_CONTROL | KEY_WOW64_64KEY, key.put());
    std::vector<BYTE> descriptor(4096);
    DWORD size = static_cast<DWORD>(descriptor.size());
    const SECURITY_INFORMATION parts = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    LPWSTR text = nullptr;
    if (RegGetKeySecurity(key.get(), parts, descriptor.data(), &size) != ERROR_SUCCESS ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor.data(), SDDL_REVISION_1, parts, &text, nullptr))
        return "";
    common::unique_local owner(text);
    return narrow(text);
}

// Whether SeTakeOwnershipPrivilege is enabled; `disable` turns it off first.
bool takeOwnershipEnabled(bool disable = false) {
    common::unique_kernel_handle token;
    OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put());
    TOKEN_PRIVILEGES privileges{1};
    LookupPrivilegeValueW(nullptr, L"SeTakeOwnershipPrivilege", &privileges.Privileges[0].Luid);
    if (disable) AdjustTokenPrivileges(token.get(), FALSE, &privileges, sizeof privileges, nullptr, nullptr);
    PRIVILEGE_SET set{1, PRIVILEGE_SET_ALL_NECESSARY, {{privileges.Privileges[0].Luid, 0}}};
    BOOL enabled = FALSE;
    return PrivilegeCheck(token.get(), &set, &enabled) && enabled;
}

bool createSucceeds(const std::wstring& path) {
    return test::registryMessageOf([&] { createKey(path); }) == "(no exception)";
}

// Keys that refuse the creation of FxProperties: the owner becomes Administrators, whose entry
// is merged in once; other trustees' entries (deny ones too) and inherited ones stay, inherited
// last. (Wine merges a group's several entries unlike Windows: at most one per case.)
TEST(Permissions, RepairMergesOneAdministratorsEntryAndKeepsTheRest) {
    const test::ScratchKey scratch{L"permissions", L"HKEY_LOCAL_MACHINE"};
    const struct {
        const wchar_t* sddl;
        const char* kept;    // the DACL besides "(A;OICI;KA;;;BA)"
        bool creationAfter;  // not asserted where the merged entry's place decides it
    } cases[] = {
        {L"O:BAG:BAD:(A;;KR;;;BA)(A;;KR;;;BU)(A;ID;KR;;;WD)", "(A;;KR;;;BU)(A;ID;KR;;;WD)", true},
        {L"O:BAG:BAD:", "", true},
        {L"O:BUG:BUD:P(A;;KR;;;BA)(A;;KR;;;BU)", "(A;;KR;;;BU)", true},
        {L"O:BAG:BAD:P(D;;0x6;;;WD)(A;;KA;;;WD)", "(D;;DCLC;;;WD)(A;;KA;;;WD)", false},
    };
    takeOwnershipEnabled(true);
    for (const auto& c : cases) {
        const std::wstring key = scratch.sub(L"case" + std::to_wstring(&c - cases));
        test::rawCreateKey(key);
        test::rawSetKeySecurity(key, c.sddl);
        EXPECT_FALSE(createSucceeds(key + L"\\FxProperties\\deeper")) << &c - cases;
        takeKeyOwnership(key);
        EXPECT_FALSE(takeOwnershipEnabled()) << "the privilege is dropped again";
        ensureKeyWritable(key);
        std::string security = securityOf(key);
        const auto merged = security.find("(A;OICI;KA;;;BA)");
        ASSERT_NE(merged, std::string::npos) << security;
        security.erase(merged, 16);
        EXPECT_EQ(security.find("(A;OICI;KA;;;BA)"), std::string::npos) << "merged once";
        EXPECT_EQ(security.substr(0, 5), "O:BAD") << &c - cases;
        EXPECT_EQ(security.substr(std::min(security.find('('), security.size())), c.kept) << &c - cases;
        if (c.creationAfter) EXPECT_TRUE(createSucceeds(key + L"\\FxProperties\\deeper")) << &c - cases;
        test::rawSetKeySecurity(key, L"O:BAG:BAD:(A;;KA;;;BA)");  // lets the scratch key go
    }
}

TEST(Permissions, FailuresRaiseTheRegistryLayersMessages) {
    const test::ScratchKey scratch{L"permissions", L"HKEY_LOCAL_MACHINE"};
    const std::wstring missing = scratch.sub(L"missing"), foreign = scratch.sub(L"foreign");
    test::rawCreateKey(foreign);  // its owner denies reading its security to everyone else
    test::rawSetKeySecurity(foreign, L"O:LSG:LSD:P(D;;WOWD;;;WD)(A;;KA;;;WD)");
    const std::string invalidHandle = narrow(common::systemErrorText(ERROR_INVALID_HANDLE));
    const struct {
        void (*operation)(const std::wstring&);
        std::wstring path;
        std::string message;
        bool privilegeLeftOn;  // a failure between enabling and disabling leaves it enabled
    } rows[] = {
        {ensureKeyWritable, missing, "Error while getting security information for registry key " + narrow(missing) + ": " + invalidHandle, false},
        {takeKeyOwnership, missing, "Error while setting security information for registry key " + narrow(missing) + ": " + invalidHandle, true},
        {ensureKeyWritable, L"HKLM\\SOFTWARE", "Unknown root key HKLM", false},
        {takeKeyOwnership, L"HKLM\\SOFTWARE", "Unknown root key HKLM", true},  // split after enabling
        {takeKeyOwnership, L"HKEY_LOCAL_MACHINE", "Key HKEY_LOCAL_MACHINE has invalid format", true},
        {ensureKeyWritable, foreign, "Error while getting security information for registry key " + narrow(foreign) + ": " + invalidHandle, false},
    };
    for (const auto& row : rows) {
        takeOwnershipEnabled(true);
        EXPECT_EQ(test::registryMessageOf([&] { row.operation(row.path); }), row.message);
        EXPECT_EQ(takeOwnershipEnabled(), row.privilegeLeftOn) << row.message;
    }
    std::wstring subkey;
    const HKEY root = test::rawRoot(foreign, &subkey);
    EXPECT_EQ(RegDeleteKeyExW(root, subkey.c_str(), KEY_WOW64_64KEY, 0), ERROR_SUCCESS);
}

}  // namespace
}  // namespace zol::registry
