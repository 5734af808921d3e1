// .reg backup files: the exact bytes, and a round trip through the registry editor itself.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "common/system_error.h"
#include "registry/backup_file.h"
#include "registry/registry.h"
#include "support/scratch_key.h"

namespace zol::registry {
namespace {

using test::narrow;
using test::rawSetText;

std::string fileBytes(const std::wstring& path) {
    std::ifstream in(narrow(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string failureOf(const std::wstring& key, const std::vector<std::wstring>& names, const std::wstring& file) {
    return test::registryMessageOf([&] { exportValuesToRegFile(key, names, file); });
}

// Runs Wine's (or Windows') own registry editor on the file, silently, and waits for it.
DWORD importWithRegedit(const std::wstring& file) {
    std::wstring command = L"regedit.exe /s \"" + file + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return GetLastError();
    WaitForSingleObject(process.hProcess, 30000);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

class BackupFile : public ::testing::Test {
protected:
    void TearDown() override { DeleteFileW(file.c_str()); }
    test::ScratchKey scratch{L"backup", L"HKEY_LOCAL_MACHINE"};
    std::wstring file = L"backup_test_" + std::to_wstring(GetCurrentProcessId()) + L".reg";
};

TEST_F(BackupFile, ExactBytesOfTwoValues) {
    const std::wstring stream = L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},5";
    const std::wstring mode = L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},6";
    rawSetText(scratch.path(), stream, L"{AAAAAAAA-0000-1111-2222-333333333333}");
    rawSetText(scratch.path(), mode, L"{BBBBBBBB-0000-1111-2222-333333333333}");
    exportValuesToRegFile(scratch.path(), {mode, stream}, file);
    EXPECT_EQ(fileBytes(file), "Windows Registry Editor Version 5.00\r\n\r\n[" + narrow(scratch.path()) +
                                   "]\r\n\"" + narrow(mode) + "\"=\"{BBBBBBBB-0000-1111-2222-333333333333}\"\r\n\"" +
                                   narrow(stream) + "\"=\"{AAAAAAAA-0000-1111-2222-333333333333}\"\r\n\r\n");
}

TEST_F(BackupFile, EmptyListReplacesAnOlderLongerFile) {
    {
        std::ofstream old(narrow(file), std::ios::binary);
        old << std::string(500, 'x');
    }
    exportValuesToRegFile(scratch.path(), {}, file);
    EXPECT_EQ(fileBytes(file), "Windows Registry Editor Version 5.00\r\n\r\n[" + narrow(scratch.path()) + "]\r\n\r\n");
}

TEST_F(BackupFile, UnreadableValueKeepsTheLinesBeforeIt) {
    rawSetText(scratch.path(), L"first", L"one");
    const DWORD number = 7;
    test::rawSetValue(scratch.path(), L"number", REG_DWORD, &number, sizeof number);
    const std::string head = "Windows Registry Editor Version 5.00\r\n\r\n[" + narrow(scratch.path()) + "]\r\n";

    EXPECT_EQ(failureOf(scratch.path(), {L"first", L"missing", L"first"}, file),
              narrow(L"Error while reading registry value " + scratch.path() + L"\\missing: " +
                     zol::common::systemErrorText(ERROR_FILE_NOT_FOUND)));
    EXPECT_EQ(fileBytes(file), head + "\"first\"=\"one\"\r\n");

    EXPECT_EQ(failureOf(scratch.path(), {L"number"}, file),
              narrow(L"Registry value " + scratch.path() + L"\\number has wrong type"));
    EXPECT_EQ(fileBytes(file), head);
}

TEST_F(BackupFile, FileThatCannotBeOpened) {
    const std::wstring bad = L"no such directory\\backup.reg";
    EXPECT_EQ(failureOf(scratch.path(), {}, bad), narrow(L"Error while opening file " + bad + L" for writing"));
    EXPECT_EQ(failureOf(scratch.path(), {}, L"bad<name>.reg"), "Error while opening file bad<name>.reg for writing");
}

TEST_F(BackupFile, RegistryEditorImportsItBack) {
    const std::vector<std::pair<std::wstring, std::wstring>> values = {
        {L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},1", L"{62DC1A93-AE24-464C-A43E-452F824C4250}"},
        {L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},2", L"{637C490D-EEE3-4C0A-973F-371958802DA2}"},
        {L"plain name", L"Zol Headset (caf\u00e9)"},  // above U+007F: written in the ANSI code page
        {L"empty", L""},
        {L"a\"b\\c", L"C:\\effects\\\"old\".dll"},  // escaped, or the editor imports nothing
    };
    std::vector<std::wstring> names;
    for (const auto& [name, text] : values) {
        rawSetText(scratch.path(), name, text);
        names.push_back(name);
    }
    exportValuesToRegFile(scratch.path(), names, file);
    for (const auto& [name, text] : values) deleteValue(scratch.path(), name);
    ASSERT_TRUE(isKeyEmpty(scratch.path()));

    ASSERT_EQ(importWithRegedit(file), 0u);
    for (const auto& [name, text] : values) EXPECT_EQ(narrow(readStringValue(scratch.path(), name)), narrow(text));
}

}  // namespace
}  // namespace zol::registry
