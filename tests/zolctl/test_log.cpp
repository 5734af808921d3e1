// zolctl log: the live viewer shows what the library sends to the debugger channel.
#include <windows.h>

#include <gtest/gtest.h>

#include "zolctl_process.h"

namespace {

using DbgwFn = void(__cdecl*)(const wchar_t*, ...);

TEST(ZolctlLog, ShowsTheLibrarysMessagesAsTheyArrive) {
    HMODULE dll = LoadLibraryW(L"zol_ecd_api.dll");
    ASSERT_NE(dll, nullptr);
    auto dbgw = reinterpret_cast<DbgwFn>(reinterpret_cast<void*>(GetProcAddress(dll, "?_dbgw@@YAXPEB_WZZ")));
    ASSERT_NE(dbgw, nullptr);

    zol::test::ZolctlProcess viewer(L"log --json --count 2 --grep zolctl-log --for 60");
    ASSERT_TRUE(viewer.waitForError("listening on the debugger channel", 30000));

    // The channel has one owner: a second viewer is refused with one line and exit 1.
    const auto second = zol::test::runZolctl(L"log --for 1");
    EXPECT_EQ(second.exitCode, 1u);
    EXPECT_NE(second.err.find("another debug-output viewer owns the debugger channel"), std::string::npos) << second.err;

    dbgw(L"[brisol]:zolctl-log %d", 1);
    dbgw(L"[brisol]:something else");
    dbgw(L"[brisol]:%S", "zolctl-log \"two\"");
    const auto run = viewer.finish(30000);
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    const std::string pid = std::to_string(GetCurrentProcessId());
    const std::string first = "\"pid\":" + pid + ",\"text\":\"[brisol]:zolctl-log 1\"}\n";
    const std::string last = "\"pid\":" + pid + ",\"text\":\"[brisol]:zolctl-log \\\"two\\\"\"}\n";
    const size_t at = run.out.find(first);
    ASSERT_NE(at, std::string::npos) << run.out;
    EXPECT_NE(run.out.find(last, at), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("something else"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.rfind("{\"time\":\"", 0), 0u) << run.out;
    FreeLibrary(dll);
}

}  // namespace
