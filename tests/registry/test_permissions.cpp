// Ownership and DACL repair of registry keys, read back through the security descriptor.
#include <windows.h>

#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <algorithm>

#include "common/system_error.h"
#include "registry/permissions.h"
#include "registry/registry.h"
#include "support/debug_channel.h"
#include "support/scratch_key.h"

namespace zol::registry {
namespace {

using test::narrow;

constexpr SECURITY_INFORMATION kAllParts =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

using test::rawSetKeySecurity;

// The key's descriptor as SDDL text ("" when it cannot be read).
std::string securityOf(const std::wstring& path, SECURITY_INFORMATION parts) {
    std::wstring subkey;
    HKEY root = test::rawRoot(path, &subkey);
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, subkey.c_str(), 0, READ_CONTROL | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) return "";
    std::vector<BYTE> buffer(4096);
    DWORD size = static_cast<DWORD>(buffer.size());
    const LONG rc = RegGetKeySecurity(key, parts, buffer.data(), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return "";
    LPWSTR text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(buffer.data(), SDDL_REVISION_1, parts, &text, nullptr))
        return "";
    std::string result = narrow(text);
    LocalFree(text);
    return result;
}

// The entries of a "D:..." text, in order, without the control flags before them.
std::vector<std::string> entriesOf(const std::string& dacl) {
    std::vector<std::string> entries;
    for (std::size_t open = dacl.find('('); open != std::string::npos; open = dacl.find('(', open + 1))
        entries.push_back(dacl.substr(open + 1, dacl.find(')', open) - open - 1));
    return entries;
}

std::size_t countOf(const std::vector<std::string>& entries, const std::string& entry) {
    return static_cast<std::size_t>(std::count(entries.begin(), entries.end(), entry));
}

bool takeOwnershipPrivilegeEnabled() {
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    LUID luid{};
    LookupPrivilegeValueW(nullptr, L"SeTakeOwnershipPrivilege", &luid);
    std::vector<BYTE> buffer(4096);
    DWORD size = 0;
    GetTokenInformation(token, TokenPrivileges, buffer.data(), static_cast<DWORD>(buffer.size()), &size);
    CloseHandle(token);
    const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i)
        if (privileges->Privileges[i].Luid.LowPart == luid.LowPart &&
            privileges->Privileges[i].Luid.HighPart == luid.HighPart)
            return (privileges->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED) != 0;
    return false;
}

void disableTakeOwnershipPrivilege() {
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token);
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    LookupPrivilegeValueW(nullptr, L"SeTakeOwnershipPrivilege", &privileges.Privileges[0].Luid);
    AdjustTokenPrivileges(token, FALSE, &privileges, sizeof privileges, nullptr, nullptr);
    CloseHandle(token);
}

std::string failureOf(void (*operation)(const std::wstring&), const std::wstring& path) {
    return test::registryMessageOf([&] { operation(path); });
}

bool createSucceeds(const std::wstring& path) {
    try {
        createKey(path);
        return true;
    } catch (const RegistryException&) {
        return false;
    }
}

class Permissions : public ::testing::Test {
protected:
    void SetUp() override { disableTakeOwnershipPrivilege(); }
    test::ScratchKey scratch{L"permissions", L"HKEY_LOCAL_MACHINE"};
    test::DebugChannelListener channel;
};

// Ownership then DACL repair of keys that refuse the creation of FxProperties. The
// Administrators entry is merged in once; other trustees' entries (deny ones too) and inherited
// entries stay, the inherited ones last. Wine orders and merges a group's several entries
// differently from Windows, so every case has at most one entry of the group.
TEST_F(Permissions, RepairMergesOneAdministratorsEntryAndKeepsTheRest) {
    const struct {
        const wchar_t* sddl;
        std::vector<std::string> kept;  // besides "A;OICI;KA;;;BA"
        bool creationAfter;  // not asserted where the merged entry's place decides it
    } cases[] = {
        {L"O:BAG:BAD:(A;;KR;;;BA)(A;;KR;;;BU)(A;ID;KR;;;WD)", {"A;;KR;;;BU", "A;ID;KR;;;WD"}, true},
        {L"O:BAG:BAD:", {}, true},
        {L"O:BUG:BUD:P(A;;KR;;;BA)(A;;KR;;;BU)", {"A;;KR;;;BU"}, true},
        {L"O:BAG:BAD:P(D;;0x6;;;WD)(A;;KA;;;WD)", {"D;;DCLC;;;WD", "A;;KA;;;WD"}, false},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::wstring key = scratch.sub(L"case" + std::to_wstring(++n));
        test::rawCreateKey(key);
        rawSetKeySecurity(key, c.sddl);
        EXPECT_FALSE(createSucceeds(key + L"\\FxProperties\\deeper")) << n;
        takeKeyOwnership(key);
        EXPECT_EQ(securityOf(key, OWNER_SECURITY_INFORMATION), "O:BA") << n;
        EXPECT_FALSE(takeOwnershipPrivilegeEnabled()) << "the privilege is dropped again";
        ensureKeyWritable(key);
        std::vector<std::string> entries = entriesOf(securityOf(key, DACL_SECURITY_INFORMATION));
        EXPECT_EQ(countOf(entries, "A;OICI;KA;;;BA"), 1u) << n;
        entries.erase(std::remove(entries.begin(), entries.end(), "A;OICI;KA;;;BA"), entries.end());
        EXPECT_EQ(entries, c.kept) << n;
        if (c.creationAfter) EXPECT_TRUE(createSucceeds(key + L"\\FxProperties\\deeper")) << n;
        rawSetKeySecurity(key, L"O:BAG:BAD:(A;;KA;;;BA)");  // let the scratch key go
    }
}

TEST_F(Permissions, FailuresRaiseTheRegistryLayersMessages) {
    const std::wstring missing = scratch.sub(L"missing");
    channel.clear();
    EXPECT_EQ(failureOf(ensureKeyWritable, missing),
              narrow(L"Error while getting security information for registry key " + missing + L": " +
                     zol::common::systemErrorText(ERROR_INVALID_HANDLE)));
    const auto lines = channel.ownLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "[brisol]Error while opening registry key " + narrow(missing) + ": ");
    EXPECT_EQ(failureOf(takeKeyOwnership, missing),
              narrow(L"Error while setting security information for registry key " + missing + L": " +
                     zol::common::systemErrorText(ERROR_INVALID_HANDLE)));
    EXPECT_TRUE(takeOwnershipPrivilegeEnabled()) << "a failure between enabling and disabling leaves it enabled";
    disableTakeOwnershipPrivilege();

    EXPECT_EQ(failureOf(ensureKeyWritable, L"HKLM\\SOFTWARE"), "Unknown root key HKLM");
    EXPECT_FALSE(takeOwnershipPrivilegeEnabled());
    EXPECT_EQ(failureOf(takeKeyOwnership, L"HKLM\\SOFTWARE"), "Unknown root key HKLM");
    EXPECT_TRUE(takeOwnershipPrivilegeEnabled()) << "the path is split after the privilege was enabled";
    EXPECT_EQ(failureOf(takeKeyOwnership, L"HKEY_LOCAL_MACHINE"), "Key HKEY_LOCAL_MACHINE has invalid format");

    // A key whose owner denies reading its security to everyone else.
    const std::wstring foreign = scratch.sub(L"foreign");
    test::rawCreateKey(foreign);
    rawSetKeySecurity(foreign, L"O:LSG:LSD:P(D;;WOWD;;;WD)(A;;KA;;;WD)");
    EXPECT_EQ(failureOf(ensureKeyWritable, foreign),
              narrow(L"Error while getting security information for registry key " + foreign + L": " +
                     zol::common::systemErrorText(ERROR_INVALID_HANDLE)));
    std::wstring subkey;
    HKEY root = test::rawRoot(foreign, &subkey);
    EXPECT_EQ(RegDeleteKeyExW(root, subkey.c_str(), KEY_WOW64_64KEY, 0), ERROR_SUCCESS);
}

}  // namespace
}  // namespace zol::registry
