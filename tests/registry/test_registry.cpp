// The registry layer against the Wine registry, with its log lines read from the debugger channel.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "common/windows_version.h"
#include "common/guid_text.h"
#include "common/system_error.h"
#include "registry/registry.h"
#include "support/debug_channel.h"
#include "support/handle_count.h"
#include "support/scratch_key.h"

namespace {

namespace reg = zol::registry;
using zol::test::DebugChannelListener;
using zol::test::narrow;
using zol::test::rawGetValue;
using zol::test::rawKeyExists;
using zol::test::rawSetValue;
using zol::test::registryMessageOf;
using zol::test::ScratchKey;
using ::testing::ElementsAre;
using ::testing::IsEmpty;


std::string text(DWORD code) { return narrow(zol::common::systemErrorText(code)); }

class Registry : public ::testing::Test {
protected:
    ScratchKey key{L"registry"};
    DebugChannelListener channel;
    std::wstring missing = key.sub(L"missing");
};

TEST_F(Registry, KeyPathsAreSplitOnTheFirstBackslashWithRootNamesInAnyCase) {
    EXPECT_EQ(registryMessageOf([] { reg::keyExists(L"HKEY_LOCAL_MACHINE"); }),
              "Key HKEY_LOCAL_MACHINE has invalid format");
    EXPECT_EQ(registryMessageOf([] { reg::valueExists(L"HKLM\\SOFTWARE", L"x"); }), "Unknown root key HKLM");
    EXPECT_EQ(registryMessageOf([] { reg::readStringValue(L"hklm\\SOFTWARE", L"x"); }), "Unknown root key hklm");
    // The logging write announces itself before it splits the path.
    EXPECT_EQ(registryMessageOf([] { reg::writeStringValue(L"", L"x", L"y"); }), "Key  has invalid format");
    EXPECT_TRUE(reg::keyExists(L"HKEY_LOCAL_MACHINE\\"));  // the root key itself
    EXPECT_TRUE(reg::keyExists(L"hkey_local_machine\\SOFTWARE"));
    EXPECT_TRUE(reg::keyExists(L"Hkey_Current_User\\Software\\ZolTests"));
    EXPECT_FALSE(reg::keyExists(missing));

    auto [root, subkey] = reg::splitKeyPath(L"HKEY_USERS\\a\\b\\");
    EXPECT_EQ(root, HKEY_USERS);
    EXPECT_EQ(subkey, L"a\\b\\");
    EXPECT_EQ(reg::splitKeyPath(L"HKEY_CLASSES_ROOT\\x").first, HKEY_CLASSES_ROOT);
    EXPECT_EQ(reg::splitKeyPath(L"HKEY_CURRENT_CONFIG\\x").first, HKEY_CURRENT_CONFIG);
    // keyExists opens directly: no log lines, unlike the other operations.
    EXPECT_THAT(channel.ownLines(), ElementsAre("[brisol]start writevalue"));
}

TEST_F(Registry, StringsReadBackWithoutTheirTerminatorAndKeepInnerNuls) {
    const wchar_t withNul[] = L"abc";
    const wchar_t withoutNul[] = {L'x', L'y'};
    const wchar_t inner[] = {L'a', L'\0', L'b', L'\0'};
    rawSetValue(key.path(), L"withNul", REG_SZ, withNul, sizeof withNul);
    rawSetValue(key.path(), L"withoutNul", REG_SZ, withoutNul, sizeof withoutNul);
    rawSetValue(key.path(), L"inner", REG_SZ, inner, sizeof inner);
    rawSetValue(key.path(), L"empty", REG_SZ, nullptr, 0);
    rawSetValue(key.path(), L"odd", REG_SZ, "abc", 3);
    rawSetValue(key.path(), L"", REG_SZ, L"default", 16);

    EXPECT_EQ(reg::readStringValue(key.path(), L"withNul"), L"abc");
    EXPECT_EQ(reg::readStringValue(key.path(), L"withoutNul"), L"xy");
    EXPECT_EQ(reg::readStringValue(key.path(), L"inner"), std::wstring(L"a\0b", 3));
    EXPECT_EQ(reg::readStringValue(key.path(), L"empty"), L"");
    EXPECT_EQ(reg::readStringValue(key.path(), L"odd").size(), 1u);  // the odd byte is not a character
    EXPECT_EQ(reg::readStringValue(key.path(), L""), L"default");
}

TEST_F(Registry, ReadsRefuseOtherTypesWithTheKeyClosed) {
    rawSetValue(key.path(), L"expand", REG_EXPAND_SZ, L"%PATH%", 14);
    rawSetValue(key.path(), L"multi", REG_MULTI_SZ, L"a\0\0", 6);
    rawSetValue(key.path(), L"text", REG_SZ, L"1", 4);
    const long before = zol::test::openHandleCount();
    const std::pair<std::function<void()>, const char*> reads[] = {
        {[&] { reg::readStringValue(key.path(), L"expand"); }, "expand"},
        {[&] { reg::readStringValue(key.path(), L"multi"); }, "multi"},
        {[&] { reg::readDwordValue(key.path(), L"text"); }, "text"},
        {[&] { reg::readBinaryValue(key.path(), L"text"); }, "text"}};
    const std::string path = narrow(key.path());
    for (const auto& [read, name] : reads)
        EXPECT_EQ(registryMessageOf(read), "Registry value " + path + "\\" + name + " has wrong type");
    char buffer[4] = {1, 2, 3, 4};
    EXPECT_EQ(registryMessageOf([&] { reg::readBinaryValueInto(key.path(), L"text", buffer, 4); }),
              "Registry value " + path + "\\text has wrong type");
    EXPECT_EQ(std::memcmp(buffer, "\x01\x02\x03\x04", 4), 0);
    EXPECT_EQ(zol::test::openHandleCount(), before);
}

TEST_F(Registry, MissingKeysAndValuesRaiseTheReadErrorAndLogTheFailedOpen) {
    const std::string path = narrow(missing);
    EXPECT_FALSE(reg::valueExists(missing, L"v"));
    EXPECT_THAT(channel.ownLines(), ElementsAre("[brisol]Error while opening registry key " + path + ": ",
                                                "[brisol]" + text(ERROR_FILE_NOT_FOUND)));
    channel.clear();

    // The open failure leaves a null handle; the read then fails with error 6, which is reported.
    EXPECT_EQ(registryMessageOf([&] { reg::readDwordValue(missing, L"v"); }),
              "Error while reading registry value " + path + "\\v: " + text(ERROR_INVALID_HANDLE));
    EXPECT_EQ(channel.ownLines().size(), 2u);

    EXPECT_FALSE(reg::valueExists(key.path(), L"absent"));
    EXPECT_EQ(registryMessageOf([&] { reg::readStringValue(key.path(), L"absent"); }),
              "Error while reading registry value " + narrow(key.path()) + "\\absent: " + text(ERROR_FILE_NOT_FOUND));
}

TEST_F(Registry, DwordsAreLittleEndianAndShortOnesAreRefused) {
    reg::writeDwordValue(key.path(), L"d", 0x12345678);
    DWORD type = 0;
    std::string bytes;
    ASSERT_TRUE(rawGetValue(key.path(), L"d", &type, &bytes));
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(bytes, std::string("\x78\x56\x34\x12", 4));
    EXPECT_EQ(reg::readDwordValue(key.path(), L"d"), 0x12345678u);

    rawSetValue(key.path(), L"short", REG_DWORD, "\x01\x02", 2);
    EXPECT_EQ(registryMessageOf([&] { reg::readDwordValue(key.path(), L"short"); }),
              "Registry value " + narrow(key.path()) + "\\short has wrong type");
    rawSetValue(key.path(), L"long", REG_DWORD, "\x01\x02\x00\x00\xff\xff", 6);
    EXPECT_EQ(reg::readDwordValue(key.path(), L"long"), 0x0201u);
}

TEST_F(Registry, BinaryValuesRoundTripAndNeverOverrunTheCallersBuffer) {
    const unsigned char data[6] = {0, 1, 2, 0xfe, 0xff, 0};
    reg::writeBinaryValue(key.path(), L"b", data, sizeof data);
    EXPECT_EQ(reg::readBinaryValue(key.path(), L"b"), std::vector<std::uint8_t>(data, data + 6));
    reg::writeBinaryValue(key.path(), L"zero", data, 0);
    EXPECT_THAT(reg::readBinaryValue(key.path(), L"zero"), IsEmpty());

    unsigned char small[4];
    std::memset(small, 0xAA, sizeof small);
    unsigned char guard[4];
    std::memset(guard, 0xAA, sizeof guard);
    reg::readBinaryValueInto(key.path(), L"b", small, 3);  // stored 6: cut to the buffer
    EXPECT_EQ(std::memcmp(small, "\x00\x01\x02\xAA", 4), 0);

    unsigned char large[8];
    std::memset(large, 0x55, sizeof large);
    reg::readBinaryValueInto(key.path(), L"b", large, sizeof large);  // stored 6: the rest stays
    EXPECT_EQ(std::memcmp(large, "\x00\x01\x02\xfe\xff\x00\x55\x55", 8), 0);
    EXPECT_EQ(std::memcmp(guard, "\xAA\xAA\xAA\xAA", 4), 0);
}

TEST_F(Registry, StringWritesStoreTheTerminatorAndOnlyLogFailures) {
    reg::writeStringValue(key.path(), L"s", L"abc");
    DWORD type = 0;
    std::string bytes;
    ASSERT_TRUE(rawGetValue(key.path(), L"s", &type, &bytes));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(bytes, std::string("a\0b\0c\0\0\0", 8));
    reg::writeStringValue(key.path(), L"empty", L"");
    ASSERT_TRUE(rawGetValue(key.path(), L"empty", &type, &bytes));
    EXPECT_EQ(bytes, std::string(2, '\0'));
    EXPECT_THAT(channel.ownLines(), ElementsAre("[brisol]start writevalue", "[brisol]start writevalue"));
    channel.clear();

    reg::writeStringValue(missing, L"s", L"abc");  // no exception
    EXPECT_THAT(channel.ownLines(),
                ElementsAre("[brisol]start writevalue", "[brisol]Error while opening registry key " + narrow(missing) + ": ",
                            "[brisol]" + text(ERROR_FILE_NOT_FOUND), "[brisol]invalid handle"));
    EXPECT_FALSE(rawKeyExists(missing));
}

TEST_F(Registry, MultiStringsHoldOneStringAndTwoNuls) {
    reg::writeMultiStringValue(key.path(), L"m", L"abc");
    reg::writeMultiStringValue(key.path(), L"e", L"");
    DWORD type = 0;
    std::string bytes;
    ASSERT_TRUE(rawGetValue(key.path(), L"m", &type, &bytes));
    EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(bytes, std::string("a\0b\0c\0\0\0\0\0", 10));
    ASSERT_TRUE(rawGetValue(key.path(), L"e", &type, &bytes));
    EXPECT_EQ(bytes, std::string(4, '\0'));
}

TEST_F(Registry, RaisingWritesAndDeletesNameTheValue) {
    const std::string path = narrow(missing);
    const std::pair<std::function<void()>, const char*> writes[] = {
        {[&] { reg::writeDwordValue(missing, L"d", 1); }, "d"},
        {[&] { reg::writeBinaryValue(missing, L"b", "x", 1); }, "b"},
        {[&] { reg::writeMultiStringValue(missing, L"m", L"x"); }, "m"}};
    for (const auto& [write, name] : writes)
        EXPECT_EQ(registryMessageOf(write),
                  "Error while writing to registry value " + path + "\\" + name + ": " + text(ERROR_INVALID_HANDLE));
    EXPECT_EQ(registryMessageOf([&] { reg::deleteValue(key.path(), L"absent"); }),
              "Error while deleting registry value " + narrow(key.path()) + "\\absent: " + text(ERROR_FILE_NOT_FOUND));

    reg::writeDwordValue(key.path(), L"gone", 5);
    reg::deleteValue(key.path(), L"gone");
    EXPECT_FALSE(reg::valueExists(key.path(), L"gone"));
}

TEST_F(Registry, KeysAreCreatedWithTheirParentsAndDeletedOnlyWhenLeaves) {
    const std::wstring deep = key.sub(L"a\\b\\c");
    reg::createKey(deep);
    reg::createKey(deep);  // existing: fine
    EXPECT_TRUE(rawKeyExists(deep));

    const std::string parent = narrow(key.sub(L"a\\b"));
    EXPECT_EQ(registryMessageOf([&] { reg::deleteKey(key.sub(L"a\\b")); }).rfind("Error while deleting registry key " + parent + ": ", 0), 0u);
    EXPECT_TRUE(rawKeyExists(deep));
    reg::deleteKey(deep);
    EXPECT_FALSE(rawKeyExists(deep));
    EXPECT_TRUE(rawKeyExists(key.sub(L"a\\b")));
    EXPECT_EQ(registryMessageOf([&] { reg::deleteKey(deep); }),
              "Error while deleting registry key " + narrow(deep) + ": " + text(ERROR_FILE_NOT_FOUND));
}

TEST_F(Registry, SubkeysAreListedInRegistryOrderAndEmptinessCountsValues) {
    EXPECT_THAT(reg::listSubkeys(key.path()), IsEmpty());
    EXPECT_TRUE(reg::isKeyEmpty(key.path()));
    reg::createKey(key.sub(L"beta"));
    reg::createKey(key.sub(L"Alpha"));
    reg::createKey(key.sub(L"beta\\inner"));
    EXPECT_THAT(reg::listSubkeys(key.path()), ElementsAre(L"Alpha", L"beta"));
    EXPECT_FALSE(reg::isKeyEmpty(key.path()));

    rawSetValue(key.sub(L"Alpha"), L"", REG_SZ, L"x", 4);  // only a default value
    EXPECT_FALSE(reg::isKeyEmpty(key.sub(L"Alpha")));

    const std::string path = narrow(missing);
    EXPECT_EQ(registryMessageOf([&] { reg::listSubkeys(missing); }),
              "Error while enumerating sub keys of registry key " + path + ": " + text(ERROR_INVALID_HANDLE));
    EXPECT_EQ(registryMessageOf([&] { reg::isKeyEmpty(missing); }),
              "Error while reading info for registry key " + path + ": " + text(ERROR_INVALID_HANDLE));
}

TEST_F(Registry, EveryPathClosesItsKey) {
    rawSetValue(key.path(), L"s", REG_SZ, L"abc", 8);
    reg::readStringValue(key.path(), L"s");  // warm up lazily loaded system state
    const long before = zol::test::openHandleCount();
    ASSERT_GT(before, 0) << "the system handle table is not readable here";
    for (int i = 0; i < 20; ++i) {
        reg::readStringValue(key.path(), L"s");
        reg::valueExists(key.path(), L"s");
        reg::valueExists(missing, L"s");
        reg::keyExists(key.path());
        reg::writeStringValue(key.path(), L"t", L"x");
        reg::writeStringValue(missing, L"t", L"x");
        reg::listSubkeys(key.path());
        reg::isKeyEmpty(key.path());
        registryMessageOf([&] { reg::readDwordValue(key.path(), L"s"); });
        registryMessageOf([&] { reg::readStringValue(key.path(), L"absent"); });
        registryMessageOf([&] { reg::deleteValue(key.path(), L"absent"); });
        registryMessageOf([&] { reg::deleteKey(missing); });
        registryMessageOf([&] { reg::isKeyEmpty(missing); });
    }
    EXPECT_EQ(zol::test::openHandleCount(), before);
}

TEST_F(Registry, WritesGoToThe64BitViewOfTheMachineHive) {
    ScratchKey machine(L"registry-hklm", L"HKEY_LOCAL_MACHINE");
    reg::writeDwordValue(machine.path(), L"v", 7);
    HKEY raw = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, (L"Software\\ZolTests\\registry-hklm-" +
                                                 std::to_wstring(GetCurrentProcessId())).c_str(),
                            0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &raw),
              ERROR_SUCCESS);
    DWORD value = 0;
    DWORD size = sizeof value;
    EXPECT_EQ(RegQueryValueExW(raw, L"v", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size), ERROR_SUCCESS);
    EXPECT_EQ(value, 7u);
    RegCloseKey(raw);
}

TEST(RegistryCompanions, ErrorTextsLoseTheirLineEnd) {
    const std::wstring notFound = zol::common::systemErrorText(ERROR_FILE_NOT_FOUND);
    ASSERT_FALSE(notFound.empty());
    EXPECT_NE(notFound.back(), L'\n');
    EXPECT_NE(notFound.back(), L'\r');
    EXPECT_EQ(zol::common::systemErrorText(0x2000FFFF), L"");  // no such message
}

TEST(RegistryCompanions, GuidsAreUpperCaseWithBraces) {
    const GUID guid = {0x372e213d, 0x95ea, 0x4306, {0xa9, 0x14, 0xf5, 0x0d, 0xb2, 0x1a, 0x21, 0xce}};
    EXPECT_EQ(zol::common::guidToString(guid), L"{372E213D-95EA-4306-A914-F50DB21A21CE}");
}

TEST(RegistryCompanions, WindowsVersionComesFromAFilesProductVersion) {
    EXPECT_EQ(zol::common::isWindowsVersionAtLeast(6, 3),
              zol::common::productVersionAtLeast(zol::common::fileProductVersion(L"kernel32.dll"), 6, 3));
    EXPECT_FALSE(zol::common::productVersionAtLeast(0x00050003, 6, 3));
    EXPECT_TRUE(zol::common::productVersionAtLeast(0x00060003, 6, 3));
    EXPECT_TRUE(zol::common::productVersionAtLeast(0x000A0000, 6, 3));
    EXPECT_FALSE(zol::common::productVersionAtLeast(0x00060002, 6, 3));
    EXPECT_EQ(zol::common::fileProductVersion(L"no-such-file.dll"), 0u);
}

}  // namespace
