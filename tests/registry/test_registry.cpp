// The registry layer against the Wine registry: exact failure messages, values as stored, .reg
// backups byte for byte, and the repair of keys that refuse changes.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "common/system_error.h"
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

std::string text(DWORD code) { return narrow(zol::common::systemErrorText(code)); }

class Registry : public ::testing::Test {
protected:
    zol::test::ScratchKey key{L"registry", L"HKEY_LOCAL_MACHINE"};
    std::wstring missing = key.sub(L"missing");
    std::string path = narrow(key.path()), missingPath = narrow(missing);
};

TEST_F(Registry, FailuresRaiseTheirExactMessages) {
    rawSetValue(key.path(), L"expand", REG_EXPAND_SZ, L"%PATH%", 14);
    rawSetValue(key.path(), L"text", REG_SZ, L"1", 4);
    rawSetValue(key.path(), L"short", REG_DWORD, "\x01\x02", 2);
    char buffer[4] = {1, 2, 3, 4};
    const std::string wrongType = "Registry value " + path + "\\", badHandle = text(ERROR_INVALID_HANDLE),
                      notFound = text(ERROR_FILE_NOT_FOUND);
    const std::pair<std::function<void()>, std::string> rows[] = {
        {[] { reg::keyExists(L"HKEY_LOCAL_MACHINE"); }, "Key HKEY_LOCAL_MACHINE has invalid format"},
        {[&] { reg::readStringValue(key.path(), L"expand"); }, wrongType + "expand has wrong type"},
        {[&] { reg::readDwordValue(key.path(), L"short"); }, wrongType + "short has wrong type"},
        {[&] { reg::readBinaryValueInto(key.path(), L"text", buffer, 4); }, wrongType + "text has wrong type"},
        // A failed open leaves a null handle: the next call fails with error 6.
        {[&] { reg::readDwordValue(missing, L"v"); }, "Error while reading registry value " + missingPath + "\\v: " + badHandle},
        {[&] { reg::writeBinaryValue(missing, L"b", "x", 1); }, "Error while writing to registry value " + missingPath + "\\b: " + badHandle},
        {[&] { reg::writeStringValue(missing, L"s", L"abc"); }, "(no exception)"},  // only logged
        {[&] { reg::deleteValue(key.path(), L"v"); }, "Error while deleting registry value " + path + "\\v: " + notFound},
        {[&] { reg::deleteKey(missing); }, "Error while deleting registry key " + missingPath + ": " + notFound},
        {[&] { reg::listSubkeys(missing); }, "Error while enumerating sub keys of registry key " + missingPath + ": " + badHandle},
        {[&] { reg::isKeyEmpty(missing); }, "Error while reading info for registry key " + missingPath + ": " + badHandle},
        {[&] { reg::ensureKeyWritable(missing); }, "Error while getting security information for registry key " + missingPath + ": " + badHandle},
        {[&] { reg::takeKeyOwnership(missing); }, "Error while setting security information for registry key " + missingPath + ": " + badHandle},
        {[&] { reg::exportValuesToRegFile(key.path(), {}, L"no such directory\\b.reg"); }, "Error while opening file no such directory\\b.reg for writing"},
    };
    for (const auto& [operation, message] : rows) EXPECT_EQ(registryMessageOf(operation), message);
    EXPECT_EQ(std::string(buffer, 4), "\x01\x02\x03\x04");
    EXPECT_FALSE(zol::test::rawKeyExists(missing));
}

TEST_F(Registry, ValuesAndKeysAreStoredAsTheseBytes) {
    reg::writeDwordValue(key.path(), L"d", 0x12345678);
    reg::writeStringValue(key.path(), L"s", L"abc");
    reg::writeMultiStringValue(key.path(), L"m", L"abc");
    for (const auto& [name, expected] : {std::pair{L"d", std::string("\x78\x56\x34\x12", 4)}, {L"s", {"a\0b\0c\0\0\0", 8}},
                                         {L"m", {"a\0b\0c\0\0\0\0\0", 10}}}) {
        DWORD type = 0;
        std::string stored;
        EXPECT_TRUE(zol::test::rawGetValue(key.path(), name, &type, &stored) && stored == expected) << narrow(name);
    }
    rawSetValue(key.path(), L"", REG_SZ, "a\0\0\0b\0\0\0", 8);
    EXPECT_EQ(reg::readStringValue(key.path(), L""), std::wstring(L"a\0b", 3)) << "without the terminator, inner ones kept";
    reg::deleteValue(key.path(), L"d");
    EXPECT_FALSE(reg::valueExists(key.path(), L"d"));
    reg::createKey(key.sub(L"empty"));
    reg::createKey(key.sub(L"beta\\inner"));  // with its parent
    EXPECT_THAT(reg::listSubkeys(key.path()), ::testing::ElementsAre(L"beta", L"empty"));
    EXPECT_TRUE(reg::isKeyEmpty(key.sub(L"empty")));
    EXPECT_FALSE(reg::isKeyEmpty(key.sub(L"beta")));
    EXPECT_NE(registryMessageOf([&] { reg::deleteKey(key.sub(L"beta")); }), "(no exception)") << "not a leaf";
}

TEST_F(Registry, BackupFilesHoldTheLinesUntilTheFirstUnreadableValue) {
    const zol::test::ScratchDirectory directory{L"zol-backup"};
    zol::test::rawSetText(key.path(), L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},5", L"{AAAAAAAA-0000-1111-2222-333333333333}");
    zol::test::rawSetText(key.path(), L"a\"b\\c", L"Zol (caf\u00e9) C:\\\"old\".dll");  // above U+007F: the ANSI code page
    EXPECT_EQ(registryMessageOf([&] {
                  reg::exportValuesToRegFile(key.path(), {L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},5", L"a\"b\\c", L"v", L"a\"b\\c"},
                                             directory.path() + L"\\b.reg");
              }), "Error while reading registry value " + path + "\\v: " + text(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(directory.read(L"b.reg"), "Windows Registry Editor Version 5.00\r\n\r\n[" + path + "]\r\n"
              "\"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},5\"=\"{AAAAAAAA-0000-1111-2222-333333333333}\"\r\n"
              "\"a\\\"b\\\\c\"=\"Zol (caf\xe9) C:\\\\\\\"old\\\".dll\"\r\n");
    reg::exportValuesToRegFile(key.path(), {}, directory.path() + L"\\b.reg");
    EXPECT_EQ(directory.read(L"b.reg"), "Windows Registry Editor Version 5.00\r\n\r\n[" + path + "]\r\n\r\n");
}

// The repair of a key that refuses changes leaves it writable to Administrators.
TEST_F(Registry, RepairMakesAKeyWritableToAdministrators) {
    zol::test::rawSetKeySecurity(key.path(), L"O:BUG:BUD:P(A;;KR;;;BA)(A;;KR;;;BU)");
    reg::takeKeyOwnership(key.path());
    reg::ensureKeyWritable(key.path());
    EXPECT_EQ(registryMessageOf([&] { reg::createKey(key.sub(L"FxProperties")); }), "(no exception)");
}

}  // namespace
