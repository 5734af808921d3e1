// zolctl's frame as a script sees it: help on every command, one error line and a distinct
// exit code for each kind of failure, JSON on request.
#include <gtest/gtest.h>

#include <string>

#include "zolctl_process.h"

namespace {

using zol::test::runZolctl;

int lineCount(const std::string& text) {
    int lines = 0;
    for (char c : text) lines += c == '\n';
    return lines;
}

TEST(ZolctlCli, EveryCommandHasHelp) {
    const wchar_t* commands[] = {L"eq", L"eq show", L"eq set", L"eq reset", L"eq plot", L"volume",
                                 L"mute", L"devices", L"fw", L"fw update", L"log"};
    for (const wchar_t* command : commands) {
        {
            const auto run = runZolctl(std::wstring(command) + (command[0] == L'e' ? L" -h" : L" --help"));
            const std::string words(command, command + wcslen(command));
            EXPECT_EQ(run.exitCode, 0u) << words;
            EXPECT_EQ(run.out.rfind("usage: zolctl [--json] [--dll PATH] " + words, 0), 0u) << run.out;
            EXPECT_TRUE(run.err.empty()) << run.err;
        }
    }
    const auto overview = runZolctl(L"--help");
    EXPECT_EQ(overview.exitCode, 0u);
    for (const char* command : {"eq", "volume", "mute", "devices", "fw", "log"})
        EXPECT_NE(overview.out.find(std::string("\n  ") + command + " "), std::string::npos) << command;
}

// Each failure is one line on standard error (standard output with --json) and its own exit code.
TEST(ZolctlCli, FailuresAreOneLineWithTheirExitCode) {
    const struct {
        const wchar_t* args;
        unsigned exitCode;
        const char* line;  // null: any "zolctl: " line
    } rows[] = {
        {L"", 2, nullptr},                          // no command
        {L"frobnicate", 2, nullptr},                // unknown command
        {L"eq", 2, nullptr},                        // subcommand missing
        {L"eq show extra", 2, nullptr},             // stray argument
        {L"eq show --bogus", 2, nullptr},           // unknown option
        {L"volume render 101", 2, nullptr},         // out of range, refused before the library is asked
        {L"volume render loud", 2, nullptr},        // not a number
        {L"volume sideways 10", 2, nullptr},        // unknown flow word
        {L"mute render maybe", 2, nullptr},         // unknown state
        {L"fw update", 2, nullptr},                 // image missing
        {L"fw update no_such_image.bin", 2, nullptr},
        {L"log --count 0", 2, nullptr},
        {L"log --count", 2, nullptr},               // option without value
        {L"--dll no_such_library.dll volume", 3, "zolctl: cannot load no_such_library.dll"},
        {L"--json volume render 400", 2, "{\"error\":\"the volume must be between 0 and 100, not 400\",\"exitCode\":2}"},
    };
    for (const auto& row : rows) {
        const auto run = runZolctl(row.args);
        const std::string text(row.args, row.args + wcslen(row.args));
        const bool json = text.rfind("--json", 0) == 0;
        const std::string& shown = json ? run.out : run.err;
        EXPECT_EQ(run.exitCode, row.exitCode) << text << "\n" << run.err;
        EXPECT_EQ(lineCount(shown), 1) << text << ": " << shown;
        EXPECT_EQ(shown.rfind(row.line ? row.line : "zolctl: ", 0), 0u) << text << ": " << shown;
    }
}

}  // namespace
