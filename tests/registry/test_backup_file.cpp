// .reg backup files, byte for byte.
#include <windows.h>

#include <gtest/gtest.h>

#include "common/system_error.h"
#include "registry/backup_file.h"
#include "registry/registry.h"
#include "support/scratch_directory.h"
#include "support/scratch_key.h"

namespace zol::registry {
namespace {

using test::narrow;

TEST(BackupFile, LinesAreWrittenUntilTheFirstUnreadableValue) {
    const test::ScratchKey key{L"backup", L"HKEY_LOCAL_MACHINE"};
    const test::ScratchDirectory directory{L"zol-backup"};
    const std::wstring file = directory.path() + L"\\backup.reg";
    test::rawSetText(key.path(), L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},5", L"{AAAAAAAA-0000-1111-2222-333333333333}");
    test::rawSetText(key.path(), L"plain name", L"Zol (caf\u00e9)");  // above U+007F: the ANSI code page
    test::rawSetText(key.path(), L"a\"b\\c", L"C:\\effects\\\"old\".dll");
    test::rawSetText(key.path(), L"empty", L"");
    const DWORD number = 7;
    test::rawSetValue(key.path(), L"number", REG_DWORD, &number, sizeof number);
    const std::string head = "Windows Registry Editor Version 5.00\r\n\r\n[" + narrow(key.path()) + "]\r\n";
    const std::string notFound = narrow(common::systemErrorText(ERROR_FILE_NOT_FOUND));
    const struct {
        std::vector<std::wstring> names;
        std::string message, bytes;
    } rows[] = {
        {{L"empty", L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},5", L"plain name", L"a\"b\\c"},
         "(no exception)",
         head + "\"empty\"=\"\"\r\n\"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},5\"=\"{AAAAAAAA-0000-1111-2222-333333333333}\"\r\n"
                "\"plain name\"=\"Zol (caf\xe9)\"\r\n\"a\\\"b\\\\c\"=\"C:\\\\effects\\\\\\\"old\\\".dll\"\r\n\r\n"},
        {{}, "(no exception)", head + "\r\n"},  // and the longer file before is gone
        {{L"empty", L"missing", L"empty"},
         "Error while reading registry value " + narrow(key.path()) + "\\missing: " + notFound, head + "\"empty\"=\"\"\r\n"},
        {{L"number"}, "Registry value " + narrow(key.path()) + "\\number has wrong type", head},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(test::registryMessageOf([&] { exportValuesToRegFile(key.path(), row.names, file); }), row.message);
        EXPECT_EQ(directory.read(L"backup.reg"), row.bytes);
    }
    for (const std::wstring bad : {L"no such directory\\backup.reg", L"bad<name>.reg"})
        EXPECT_EQ(test::registryMessageOf([&] { exportValuesToRegFile(key.path(), {}, bad); }),
                  "Error while opening file " + narrow(bad) + " for writing");
}

}  // namespace
}  // namespace zol::registry
