// The registry layer against the Wine registry: values as stored, and the exact failure messages.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "common/guid_text.h"
#include "common/system_error.h"
#include "common/windows_version.h"
#include "registry/registry.h"
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
    std::string stored(const wchar_t* name, DWORD expectedType) {
        DWORD type = 0;
        std::string bytes;
        EXPECT_TRUE(zol::test::rawGetValue(key.path(), name, &type, &bytes)) << narrow(name);
        EXPECT_EQ(type, expectedType) << narrow(name);
        return bytes;
    }
    zol::test::ScratchKey key{L"registry"};
    std::wstring missing = key.sub(L"missing");
    std::string path = narrow(key.path()), missingPath = narrow(missing);
};

TEST_F(Registry, FailuresRaiseTheirExactMessages) {
    rawSetValue(key.path(), L"expand", REG_EXPAND_SZ, L"%PATH%", 14);
    rawSetValue(key.path(), L"multi", REG_MULTI_SZ, L"a\0\0", 6);
    rawSetValue(key.path(), L"text", REG_SZ, L"1", 4);
    rawSetValue(key.path(), L"short", REG_DWORD, "\x01\x02", 2);
    char buffer[4] = {1, 2, 3, 4};
    const std::string wrongType = "Registry value " + path + "\\";
    const std::string reading = "Error while reading registry value ", writing = "Error while writing to registry value ";
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
        {[&] { reg::readDwordValue(missing, L"v"); }, reading + missingPath + "\\v: " + text(ERROR_INVALID_HANDLE)},
        {[&] { reg::readStringValue(key.path(), L"absent"); }, reading + path + "\\absent: " + text(ERROR_FILE_NOT_FOUND)},
        {[&] { reg::writeDwordValue(missing, L"d", 1); }, writing + missingPath + "\\d: " + text(ERROR_INVALID_HANDLE)},
        {[&] { reg::writeBinaryValue(missing, L"b", "x", 1); }, writing + missingPath + "\\b: " + text(ERROR_INVALID_HANDLE)},
        {[&] { reg::writeMultiStringValue(missing, L"m", L"x"); }, writing + missingPath + "\\m: " + text(ERROR_INVALID_HANDLE)},
        {[&] { reg::deleteValue(key.path(), L"absent"); },
         "Error while deleting registry value " + path + "\\absent: " + text(ERROR_FILE_NOT_FOUND)},
        {[&] { reg::deleteKey(missing); }, "Error while deleting registry key " + missingPath + ": " + text(ERROR_FILE_NOT_FOUND)},
        {[&] { reg::listSubkeys(missing); },
         "Error while enumerating sub keys of registry key " + missingPath + ": " + text(ERROR_INVALID_HANDLE)},
        {[&] { reg::isKeyEmpty(missing); },
         "Error while reading info for registry key " + missingPath + ": " + text(ERROR_INVALID_HANDLE)},
        {[&] { reg::writeStringValue(missing, L"s", L"abc"); }, "(no exception)"},  // only logged
    };
    for (const auto& [operation, message] : rows) EXPECT_EQ(registryMessageOf(operation), message);
    EXPECT_EQ(std::memcmp(buffer, "\x01\x02\x03\x04", 4), 0);
    EXPECT_FALSE(zol::test::rawKeyExists(missing));
}

TEST_F(Registry, PathsSplitOnTheFirstBackslashWithRootNamesInAnyCase) {
    EXPECT_TRUE(reg::keyExists(L"HKEY_LOCAL_MACHINE\\"));  // the root key itself
    EXPECT_TRUE(reg::keyExists(L"hkey_local_machine\\SOFTWARE"));
    EXPECT_TRUE(reg::keyExists(L"Hkey_Current_User\\Software\\ZolTests"));
    EXPECT_FALSE(reg::keyExists(missing));
    EXPECT_FALSE(reg::valueExists(missing, L"v"));
    EXPECT_FALSE(reg::valueExists(key.path(), L"absent"));
    EXPECT_EQ(reg::splitKeyPath(L"HKEY_USERS\\a\\b\\"), std::make_pair(HKEY_USERS, std::wstring(L"a\\b\\")));
    EXPECT_EQ(reg::splitKeyPath(L"HKEY_CLASSES_ROOT\\x").first, HKEY_CLASSES_ROOT);
    EXPECT_EQ(reg::splitKeyPath(L"HKEY_CURRENT_CONFIG\\x").first, HKEY_CURRENT_CONFIG);
}

TEST_F(Registry, StringsReadBackWithoutTheirTerminatorAndKeepInnerNuls) {
    const struct {
        const wchar_t* name;
        const void* data;
        DWORD size;
        std::wstring read;
    } rows[] = {{L"withNul", L"abc", 8, L"abc"},      {L"withoutNul", L"xy", 4, L"xy"},
                {L"inner", L"a\0b", 8, {L"a\0b", 3}}, {L"empty", nullptr, 0, L""},
                {L"", L"default", 16, L"default"}};
    for (const auto& row : rows) {
        rawSetValue(key.path(), row.name, REG_SZ, row.data, row.size);
        EXPECT_EQ(reg::readStringValue(key.path(), row.name), row.read) << narrow(row.name);
    }
    rawSetValue(key.path(), L"odd", REG_SZ, "abc", 3);
    EXPECT_EQ(reg::readStringValue(key.path(), L"odd").size(), 1u) << "the odd byte is not a character";
}

TEST_F(Registry, WritesStoreTheseExactBytes) {
    reg::writeDwordValue(key.path(), L"d", 0x12345678);
    reg::writeStringValue(key.path(), L"s", L"abc");
    reg::writeStringValue(key.path(), L"es", L"");
    reg::writeMultiStringValue(key.path(), L"m", L"abc");
    reg::writeMultiStringValue(key.path(), L"em", L"");
    EXPECT_EQ(stored(L"d", REG_DWORD), std::string("\x78\x56\x34\x12", 4));
    EXPECT_EQ(stored(L"s", REG_SZ), std::string("a\0b\0c\0\0\0", 8));
    EXPECT_EQ(stored(L"es", REG_SZ), std::string(2, '\0'));
    EXPECT_EQ(stored(L"m", REG_MULTI_SZ), std::string("a\0b\0c\0\0\0\0\0", 10));
    EXPECT_EQ(stored(L"em", REG_MULTI_SZ), std::string(4, '\0'));
    EXPECT_EQ(reg::readDwordValue(key.path(), L"d"), 0x12345678u);
    rawSetValue(key.path(), L"long", REG_DWORD, "\x01\x02\x00\x00\xff\xff", 6);
    EXPECT_EQ(reg::readDwordValue(key.path(), L"long"), 0x0201u);
    reg::deleteValue(key.path(), L"d");
    EXPECT_FALSE(reg::valueExists(key.path(), L"d"));
}

TEST_F(Registry, BinaryValuesRoundTripAndNeverOverrunTheCallersBuffer) {
    const unsigned char data[6] = {0, 1, 2, 0xfe, 0xff, 0};
    reg::writeBinaryValue(key.path(), L"b", data, sizeof data);
    EXPECT_EQ(reg::readBinaryValue(key.path(), L"b"), std::vector<std::uint8_t>(data, data + 6));
    reg::writeBinaryValue(key.path(), L"zero", data, 0);
    EXPECT_THAT(reg::readBinaryValue(key.path(), L"zero"), IsEmpty());
    unsigned char buffer[8];
    std::memset(buffer, 0x55, sizeof buffer);
    reg::readBinaryValueInto(key.path(), L"b", buffer, 3);  // cut to the buffer
    EXPECT_EQ(std::memcmp(buffer, "\x00\x01\x02\x55", 4), 0);
    reg::readBinaryValueInto(key.path(), L"b", buffer, sizeof buffer);  // the rest stays
    EXPECT_EQ(std::memcmp(buffer, "\x00\x01\x02\xfe\xff\x00\x55\x55", 8), 0);
}

TEST_F(Registry, KeysAreCreatedWithParentsListedInOrderAndDeletedOnlyAsLeaves) {
    EXPECT_THAT(reg::listSubkeys(key.path()), IsEmpty());
    EXPECT_TRUE(reg::isKeyEmpty(key.path()));
    reg::createKey(key.sub(L"beta\\inner"));
    reg::createKey(key.sub(L"beta\\inner"));  // existing: fine
    reg::createKey(key.sub(L"Alpha"));
    EXPECT_THAT(reg::listSubkeys(key.path()), ElementsAre(L"Alpha", L"beta"));
    EXPECT_FALSE(reg::isKeyEmpty(key.path()));
    rawSetValue(key.sub(L"Alpha"), L"", REG_SZ, L"x", 4);  // only a default value
    EXPECT_FALSE(reg::isKeyEmpty(key.sub(L"Alpha")));

    EXPECT_EQ(registryMessageOf([&] { reg::deleteKey(key.sub(L"beta")); })
                  .rfind("Error while deleting registry key " + narrow(key.sub(L"beta")) + ": ", 0), 0u);
    reg::deleteKey(key.sub(L"beta\\inner"));
    EXPECT_FALSE(zol::test::rawKeyExists(key.sub(L"beta\\inner")));
    EXPECT_TRUE(zol::test::rawKeyExists(key.sub(L"beta")));
}

TEST(RegistryCompanions, ErrorTextsGuidsAndWindowsVersions) {
    const std::wstring notFound = zol::common::systemErrorText(ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(!notFound.empty() && notFound.back() != L'\n' && notFound.back() != L'\r') << narrow(notFound);
    EXPECT_EQ(zol::common::systemErrorText(0x2000FFFF), L"");  // no such message
    const GUID guid = {0x372e213d, 0x95ea, 0x4306, {0xa9, 0x14, 0xf5, 0x0d, 0xb2, 0x1a, 0x21, 0xce}};
    EXPECT_EQ(zol::common::guidToString(guid), L"{372E213D-95EA-4306-A914-F50DB21A21CE}");
    EXPECT_EQ(zol::common::isWindowsVersionAtLeast(6, 3),
              zol::common::productVersionAtLeast(zol::common::fileProductVersion(L"kernel32.dll"), 6, 3));
    const std::pair<unsigned, bool> versions[] = {{0x00050003, false}, {0x00060003, true}, {0x000A0000, true},
                                                  {0x00060002, false}};
    for (const auto& [version, atLeast] : versions)
        EXPECT_EQ(zol::common::productVersionAtLeast(version, 6, 3), atLeast) << std::hex << version;
    EXPECT_EQ(zol::common::fileProductVersion(L"no-such-file.dll"), 0u);
}

}  // namespace
