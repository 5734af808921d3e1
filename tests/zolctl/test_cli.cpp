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

TEST(ZolctlCli, UsageErrorsAreOneLineAndExitTwo) {
    const wchar_t* bad[] = {
        L"",                          // no command
        L"frobnicate",                // unknown command
        L"eq",                        // subcommand missing
        L"eq show extra",             // stray argument
        L"eq show --bogus",           // unknown option
        L"volume render 101",         // out of range, refused before the library is asked
        L"volume render loud",        // not a number
        L"volume sideways 10",        // unknown flow word
        L"mute render maybe",         // unknown state
        L"fw update",                 // image missing
        L"fw update no_such_image.bin",
        L"log --count 0",
        L"log --count",               // option without value
    };
    for (const wchar_t* args : bad) {
        const auto run = runZolctl(args);
        const std::string text(args, args + wcslen(args));
        EXPECT_EQ(run.exitCode, 2u) << text << "\n" << run.err;
        EXPECT_EQ(lineCount(run.err), 1) << text << ": " << run.err;
        EXPECT_EQ(run.err.rfind("zolctl: ", 0), 0u) << run.err;
    }
}

TEST(ZolctlCli, MissingLibraryExitsThree) {
    const auto run = runZolctl(L"--dll no_such_library.dll volume");
    EXPECT_EQ(run.exitCode, 3u);
    EXPECT_NE(run.err.find("cannot load no_such_library.dll"), std::string::npos) << run.err;
    EXPECT_EQ(lineCount(run.err), 1) << run.err;
}

TEST(ZolctlCli, JsonErrorsReachStandardOutput) {
    const auto run = runZolctl(L"--json volume render 400");
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_EQ(run.out, "{\"error\":\"the volume must be between 0 and 100, not 400\",\"exitCode\":2}\n");
}

}  // namespace
