// The debug log as a debug-output viewer sees it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "log/debug_log.h"
#include "support/debug_channel.h"

namespace {

using zol::test::DebugChannelListener;

class DebugLog : public ::testing::Test {
protected:
    DebugChannelListener channel;
};

TEST_F(DebugLog, FormatsAndPlainTextArriveUnchanged) {
    _dbgw(L"[brisol]:%S", "unInit");
    _dbg(nullptr);  // a null format sends nothing
    _dbgw(nullptr);
    _dbgw(L"[brisol]:%s=%d", L"count", 42);
    _dbgw(L"[brisol]:kill audiodg.exe");
    _dbg("plain text, 100%% sure");
    EXPECT_EQ(channel.ownLines(), (std::vector<std::string>{"[brisol]:unInit", "[brisol]:count=42",
                                                            "[brisol]:kill audiodg.exe", "plain text, 100% sure"}));
}

// Cut at 255 characters; a message that exactly fills the buffer is kept whole.
TEST_F(DebugLog, LongMessagesAreCutAt255Characters) {
    _dbg("%s", std::string(300, 'n').c_str());
    _dbgw(L"%s", std::wstring(300, L'w').c_str());
    _dbgw(L"[brisol]:%s", std::wstring(300, L'w').c_str());
    _dbg("%s", std::string(255, 'a').c_str());
    _dbgw(L"%s", std::wstring(254, L'b').c_str());
    EXPECT_EQ(channel.ownLines(),
              (std::vector<std::string>{std::string(255, 'n'), std::string(255, 'w'),
                                        "[brisol]:" + std::string(255 - 9, 'w'), std::string(255, 'a'),
                                        std::string(254, 'b')}));
}

TEST_F(DebugLog, NarrowBytesAboveAsciiWidenAsLatin1) {
    _dbg("caf\xe9");  // arrives in code page 1252, where 0xE9 is also e-acute
    EXPECT_EQ(channel.ownLines(), (std::vector<std::string>{"caf\xe9"}));
}

TEST_F(DebugLog, MessagesFromOtherThreadsArrive) {
    HANDLE thread = CreateThread(
        nullptr, 0, [](void*) -> DWORD { _dbgw(L"[brisol]:from %S", "worker"); return 0; }, nullptr, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_EQ(channel.ownLines(), (std::vector<std::string>{"[brisol]:from worker"}));
}

// The host reaches the log through the DLL's decorated exports.
TEST_F(DebugLog, ExportsUnderDecoratedNames) {
    HMODULE dll = LoadLibraryW(L"zol_ecd_api.dll");
    ASSERT_NE(dll, nullptr);
    auto dbg = reinterpret_cast<void (*)(const char*, ...)>(GetProcAddress(dll, "?_dbg@@YAXPEBDZZ"));
    auto dbgw = reinterpret_cast<void (*)(const wchar_t*, ...)>(GetProcAddress(dll, "?_dbgw@@YAXPEB_WZZ"));
    ASSERT_NE(dbg, nullptr);
    ASSERT_NE(dbgw, nullptr);
    dbg("host %d", 7);
    dbgw(L"[brisol]:%S", "host");
    FreeLibrary(dll);
    EXPECT_EQ(channel.ownLines(), (std::vector<std::string>{"host 7", "[brisol]:host"}));
}

}  // namespace
