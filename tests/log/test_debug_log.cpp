// The debug log as a debug-output viewer sees it, through the DLL's decorated exports.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "common/unique_handle.h"
#include "support/debug_channel.h"

namespace {

using Dbg = void (*)(const char*, ...);
using Dbgw = void (*)(const wchar_t*, ...);

TEST(DebugLog, LinesArriveAsSentCutAt255Characters) {
    zol::common::unique_module dll(LoadLibraryW(L"zol_ecd_api.dll"));
    ASSERT_TRUE(dll);
    const auto dbg = reinterpret_cast<Dbg>(reinterpret_cast<void*>(GetProcAddress(dll.get(), "?_dbg@@YAXPEBDZZ")));
    const auto dbgw = reinterpret_cast<Dbgw>(reinterpret_cast<void*>(GetProcAddress(dll.get(), "?_dbgw@@YAXPEB_WZZ")));
    ASSERT_TRUE(dbg && dbgw);
    static Dbgw threadDbgw = dbgw;
    const struct {
        std::function<void()> send;
        std::vector<std::string> lines;
    } rows[] = {
        {[&] { dbgw(L"[brisol]:%S", "unInit"); }, {"[brisol]:unInit"}},
        {[&] { dbg(nullptr), dbgw(nullptr); }, {}},  // a null format sends nothing
        {[&] { dbgw(L"[brisol]:%s=%d", L"count", 42); }, {"[brisol]:count=42"}},
        {[&] { dbg("plain text, %d%% sure", 100); }, {"plain text, 100% sure"}},
        {[&] { dbg("%s", std::string(300, 'n').c_str()); }, {std::string(255, 'n')}},
        {[&] { dbgw(L"[brisol]:%s", std::wstring(300, L'w').c_str()); }, {"[brisol]:" + std::string(246, 'w')}},
        {[&] { dbg("%s", std::string(255, 'a').c_str()); }, {std::string(255, 'a')}},  // fills the buffer: whole
        {[&] { dbgw(L"%s", std::wstring(254, L'b').c_str()); }, {std::string(254, 'b')}},
        {[&] { dbg("caf\xe9"); }, {"caf\xe9"}},  // widened as Latin-1; arrives in code page 1252
        {[&] {
             zol::common::unique_kernel_handle thread(CreateThread(
                 nullptr, 0, [](void*) -> DWORD { return threadDbgw(L"[brisol]:from %S", "worker"), 0; }, nullptr, 0,
                 nullptr));
             WaitForSingleObject(thread.get(), INFINITE);
         },
         {"[brisol]:from worker"}},
    };
    zol::test::DebugChannelListener channel;
    for (const auto& row : rows) {
        channel.clear();
        row.send();
        EXPECT_EQ(channel.ownLines(), row.lines);
    }
}

}  // namespace
