// The registry layer against the Wine registry: values as stored, exact failure messages, .reg
// backups byte for byte, and the repair of keys that refuse changes.
#include <windows.h>

#include <sddl.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "common/system_error.h"
#include "common/unique_handle.h"
#include "registry/backup_file.h"
#include "registry/permissions.h"
#include "registry/registry.h"
#include "support/scratch_directory.h"
#include "support/scratch_key.h"

namespace {

namespace reg = zol::registry;
using zol::test::narrow;
using zol::test::rawSetValue;
using zol::test::registryMessageOf;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::string text(DWORD code) { return narrow(zol::common::systemErrorText(code)); }

class Registry : public ::testing::Test {
protected:
    std::string stored(const std::wstring& name, DWORD expectedType) {
        DWORD type = 0;
        std::string bytes;
        EXPECT_TRUE(zol::test::rawGetValue(key.path(), name, &type, &bytes) && type == expectedType) << narrow(name);
        return bytes;
    }
    zol::test::ScratchKey key{L"registry", L"HKEY_LOCAL_MACHINE"};
    std::wstring missing = key.sub(L"missing");
    std::string path = narrow(key.path()), missingPath = narrow(missing);
};

TEST_F(Registry, FailuresRaiseTheirExactMessages) {
    rawSetValue(key.path(), L"expand", REG_EXPAND_SZ, L"%PATH%", 14);
    rawSetValue(key.path(), L"multi", REG_MULTI_SZ, L"a\0\0", 6);
    rawSetValue(key.path(), L"text", REG_SZ, L"1", 4);
    rawSetValue(key.path(), L"short", REG_DWORD, "\x01\x02", 2);
    char buffer[4] = {1, 2, 3, 4};
    const std::string wrongType = "Registry value " + path + "\\", reading = "Error while reading registry value ",
                      writing = "Error while writing to registry value ", badHandle = text(ERROR_INVALID_HANDLE);
    const std::string security = " security information for registry key " + missingPath + ": " + badHandle;
    const std::pair<std::function<void()>, std::string> rows[] = {
        {[] { reg::keyExists(L"HKEY_LOCAL_MACHINE"); }, "Key HKEY_LOCAL_MACHINE has invalid format"},
        {[] { reg::valueExists(L"HKLM\\SOFTWARE", L"x"); }, "Unknown root key HKLM"},
        {[] { reg::readStringValue(L"hklm\\SOFTWARE", L"x"); }, "Unknown root key hklm"},
        {[] { reg::writeStringValue(L"", L"x", L"y"); }, "Key  has invalid format"},
        {[&] { reg::readStringValue(key.path(), L"expand"); }, wrongType + "expand has wrong type"},
        {[&] { reg::readStringValue(key.path(), L"multi"); }, wrongType + "multi has wrong type"},
        {[&] { reg::readDwordValue(key.path(), L"text"); }, wrongType + "text has wrong type"},
        {[&] { reg::readDwordValue(key.path(), L"short"); }, wrongType + "short has wrong type"},
        {[&] { reg::readBinaryValue(key.path(), L"text"); }, wrongType + "text has wrong type"},
        {[&] { reg::readBinaryValueInto(key.path(), L"text", buffer, 4); }, wrongType + "text has wrong type"},
        // A failed open leaves a null handle: the next call fails with error 6.
        {[&] { reg::readDwordValue(missing, L"v"); }, reading + missingPath + "\\v: " + badHandle},
        {[&] { reg::readStringValue(key.path(), L"absent"); }, reading + path + "\\absent: " + text(ERROR_FILE_NOT_FOUND)},
        {[&] { reg::writeDwordValue(missing, L"d", 1); }, writing + missingPath + "\\d: " + badHandle},
        {[&] { reg::writeBinaryValue(missing, L"b", "x", 1); }, writing + missingPath + "\\b: " + badHandle},
        {[&] { reg::writeMultiStringValue(missing, L"m", L"x"); }, writing + missingPath + "\\m: " + badHandle},
        {[&] { reg::writeStringValue(missing, L"s", L"abc"); }, "(no exception)"},  // only logged
        {[&] { reg::deleteValue(key.path(), L"absent"); },
         "Error while deleting registry value " + path + "\\absent: " + text(ERROR_FILE_NOT_FOUND)},
        {[&] { reg::deleteKey(missing); }, "Error while deleting registry key " + missingPath + ": " + text(ERROR_FILE_NOT_FOUND)},
        {[&] { reg::listSubkeys(missing); }, "Error while enumerating sub keys of registry key " + missingPath + ": " + badHandle},
        {[&] { reg::isKeyEmpty(missing); }, "Error while reading info for registry key " + missingPath + ": " + badHandle},
        {[&] { reg::ensureKeyWritable(missing); }, "Error while getting" + security},
        {[&] { reg::takeKeyOwnership(missing); }, "Error while setting" + security},
        {[] { reg::takeKeyOwnership(L"HKLM\\SOFTWARE"); }, "Unknown root key HKLM"},
        {[&] { reg::exportValuesToRegFile(key.path(), {}, L"no such directory\\b.reg"); },
         "Error while opening file no such directory\\b.reg for writing"},
    };
    for (const auto& [operation, message] : rows) EXPECT_EQ(registryMessageOf(operation), message);
    EXPECT_EQ(std::memcmp(buffer, "\x01\x02\x03\x04", 4), 0);
    EXPECT_FALSE(zol::test::rawKeyExists(missing));
}

TEST_F(Registry, ValuesReadAndWriteTheseExactBytes) {
    EXPECT_TRUE(reg::keyExists(L"hkey_local_machine\\SOFTWARE"));  // root names in any case
    EXPECT_FALSE(reg::keyExists(missing));
    EXPECT_FALSE(reg::valueExists(key.path(), L"d"));
    reg::writeDwordValue(key.path(), L"d", 0x12345678);
    reg::writeStringValue(key.path(), L"s", L"abc");
    reg::writeMultiStringValue(key.path(), L"m", L"abc");
    reg::writeMultiStringValue(key.path(), L"em", L"");
    EXPECT_EQ(stored(L"d", REG_DWORD), std::string("\x78\x56\x34\x12", 4));
    EXPECT_EQ(stored(L"s", REG_SZ), std::string("a\0b\0c\0\0\0", 8));
    EXPECT_EQ(stored(L"m", REG_MULTI_SZ), std::string("a\0b\0c\0\0\0\0\0", 10));
    EXPECT_EQ(stored(L"em", REG_MULTI_SZ), std::string(4, '\0'));
    rawSetValue(key.path(), L"long", REG_DWORD, "\x01\x02\x00\x00\xff\xff", 6);
    EXPECT_EQ(reg::readDwordValue(key.path(), L"long"), 0x0201u);
    const std::pair<std::string, std::wstring> strings[] = {  // stored bytes, read text
        {{"a\0b\0c\0\0\0", 8}, L"abc"}, {{"x\0y\0", 4}, L"xy"}, {{"a\0\0\0b\0\0\0", 8}, {L"a\0b", 3}}, {"", L""}, {"ab\0", L"\u6261"}};
    for (const auto& [bytes, read] : strings) {
        rawSetValue(key.path(), L"", REG_SZ, bytes.data(), static_cast<DWORD>(bytes.size()));
        EXPECT_EQ(reg::readStringValue(key.path(), L""), read) << bytes.size();
    }
    const unsigned char data[6] = {0, 1, 2, 0xfe, 0xff, 0};
    reg::writeBinaryValue(key.path(), L"b", data, sizeof data);
    EXPECT_EQ(reg::readBinaryValue(key.path(), L"b"), std::vector<std::uint8_t>(data, data + 6));
    unsigned char buffer[8];
    std::memset(buffer, 0x55, sizeof buffer);
    reg::readBinaryValueInto(key.path(), L"b", buffer, 3);  // cut to the buffer
    EXPECT_EQ(std::memcmp(buffer, "\x00\x01\x02\x55", 4), 0);
    reg::readBinaryValueInto(key.path(), L"b", buffer, sizeof buffer);  // the rest stays
    EXPECT_EQ(std::memcmp(buffer, "\x00\x01\x02\xfe\xff\x00\x55\x55", 8), 0);
    reg::deleteValue(key.path(), L"d");
    EXPECT_FALSE(reg::valueExists(key.path(), L"d"));
}

TEST_F(Registry, KeysAreCreatedWithParentsListedInOrderAndDeletedOnlyAsLeaves) {
    const std::wstring empty = key.sub(L"empty");
    reg::createKey(empty);
    EXPECT_TRUE(reg::isKeyEmpty(empty));
    EXPECT_THAT(reg::listSubkeys(empty), IsEmpty());
    reg::createKey(key.sub(L"beta\\inner"));
    reg::createKey(key.sub(L"beta\\inner"));  // existing: fine
    rawSetValue(key.sub(L"Alpha"), L"", REG_SZ, L"x", 4);
    EXPECT_THAT(reg::listSubkeys(key.path()), ElementsAre(L"Alpha", L"beta", L"empty"));
    EXPECT_FALSE(reg::isKeyEmpty(key.sub(L"Alpha"))) << "a default value counts";
    EXPECT_FALSE(reg::isKeyEmpty(key.sub(L"beta")));
    EXPECT_EQ(registryMessageOf([&] { reg::deleteKey(key.sub(L"beta")); }).rfind("Error while deleting registry key ", 0), 0u);
    reg::deleteKey(key.sub(L"beta\\inner"));
    EXPECT_FALSE(zol::test::rawKeyExists(key.sub(L"beta\\inner")));
    EXPECT_TRUE(zol::test::rawKeyExists(key.sub(L"beta")));
}

TEST_F(Registry, BackupFilesHoldTheLinesUntilTheFirstUnreadableValue) {
    const zol::test::ScratchDirectory directory{L"zol-backup"};
    const std::wstring file = directory.path() + L"\\backup.reg";
    zol::test::rawSetText(key.path(), L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},5", L"{AAAAAAAA-0000-1111-2222-333333333333}");
    zol::test::rawSetText(key.path(), L"plain name", L"Zol (caf\u00e9)");  // above U+007F: the ANSI code page
    zol::test::rawSetText(key.path(), L"a\"b\\c", L"C:\\effects\\\"old\".dll");
    zol::test::rawSetText(key.path(), L"empty", L"");
    reg::writeDwordValue(key.path(), L"number", 7);
    const std::string head = "Windows Registry Editor Version 5.00\r\n\r\n[" + path + "]\r\n";
    const struct {
        std::vector<std::wstring> names;
        std::string message, bytes;
    } rows[] = {
        {{L"empty", L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},5", L"plain name", L"a\"b\\c"},
         "(no exception)",
         head + "\"empty\"=\"\"\r\n\"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},5\"=\"{AAAAAAAA-0000-1111-2222-333333333333}\"\r\n"
                "\"plain name\"=\"Zol (caf\xe9)\"\r\n\"a\\\"b\\\\c\"=\"C:\\\\effects\\\\\\\"old\\\".dll\"\r\n\r\n"},
        {{}, "(no exception)", head + "\r\n"},  // and the longer file before is gone
        {{L"empty", L"missing", L"empty"}, "Error while reading registry value " + path + "\\missing: " + text(ERROR_FILE_NOT_FOUND),
         head + "\"empty\"=\"\"\r\n"},
        {{L"number"}, "Registry value " + path + "\\number has wrong type", head},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(registryMessageOf([&] { reg::exportValuesToRegFile(key.path(), row.names, file); }), row.message);
        EXPECT_EQ(directory.read(L"backup.reg"), row.bytes);
    }
}

// Keys that refuse the creation of FxProperties: the owner becomes Administrators, whose entry
// is merged in once; other trustees' entries (deny ones too) and inherited ones stay, inherited
// last. (Wine merges a group's several entries unlike Windows: at most one per case.)
TEST_F(Registry, RepairMergesOneAdministratorsEntryAndKeepsTheRest) {
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
    for (const auto& c : cases) {
        const std::wstring repaired = key.sub(L"case" + std::to_wstring(&c - cases));
        const auto creation = [&] { return registryMessageOf([&] { reg::createKey(repaired + L"\\FxProperties\\x"); }); };
        zol::test::rawCreateKey(repaired);
        zol::test::rawSetKeySecurity(repaired, c.sddl);
        EXPECT_NE(creation(), "(no exception)");
        reg::takeKeyOwnership(repaired);
        reg::ensureKeyWritable(repaired);
        std::wstring subkey;
        const HKEY root = zol::test::rawRoot(repaired, &subkey);
        zol::common::unique_hkey opened;
        RegOpenKeyExW(root, subkey.c_str(), 0, READ_CONTROL | KEY_WOW64_64KEY, opened.put());
        std::vector<BYTE> descriptor(4096);
        DWORD size = static_cast<DWORD>(descriptor.size());
        LPWSTR sddl = nullptr;
        const SECURITY_INFORMATION parts = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
        ASSERT_EQ(RegGetKeySecurity(opened.get(), parts, descriptor.data(), &size), ERROR_SUCCESS);
        ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor.data(), SDDL_REVISION_1, parts, &sddl, nullptr));
        std::string security = narrow(sddl);
        LocalFree(sddl);
        const auto merged = security.find("(A;OICI;KA;;;BA)");
        ASSERT_NE(merged, std::string::npos) << security;
        security.erase(merged, 16);
        EXPECT_EQ(security.find("(A;OICI;KA;;;BA)"), std::string::npos) << "merged once";
        EXPECT_EQ(security.substr(0, 5), "O:BAD") << security;
        EXPECT_EQ(security.substr(std::min(security.find('('), security.size())), c.kept) << &c - cases;
        if (c.creationAfter) EXPECT_EQ(creation(), "(no exception)") << &c - cases;
        zol::test::rawSetKeySecurity(repaired, L"O:BAG:BAD:(A;;KA;;;BA)");  // lets the scratch key go
    }
}

}  // namespace
