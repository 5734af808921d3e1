// Every log line the library's tests pin, as a debug-output viewer sees it: the decorated
// exports a host calls, and the registry layer's traces.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "common/system_error.h"
#include "common/unique_handle.h"
#include "registry/registry.h"
#include "support/debug_channel.h"
#include "support/scratch_key.h"

namespace {

namespace reg = zol::registry;

TEST(DebugLog, LinesArriveAsSent) {
    const zol::common::unique_module dll(LoadLibraryW(L"zol_ecd_api.dll"));  // by the decorated names a host links
    const auto dbg = reinterpret_cast<void (*)(const char*, ...)>(GetProcAddress(dll.get(), "?_dbg@@YAXPEBDZZ"));
    const auto dbgw = reinterpret_cast<void (*)(const wchar_t*, ...)>(GetProcAddress(dll.get(), "?_dbgw@@YAXPEB_WZZ"));
    const zol::test::ScratchKey key{L"log"};
    const std::wstring missing = key.sub(L"missing");
    const std::string opening = "[brisol]Error while opening registry key " + zol::test::narrow(missing) + ": ",
                      notFound = "[brisol]" + zol::test::narrow(zol::common::systemErrorText(ERROR_FILE_NOT_FOUND));
    const std::pair<std::function<void()>, std::vector<std::string>> rows[] = {
        {[&] { dbg(nullptr), dbgw(nullptr); }, {}},
        {[&] { dbgw(L"[brisol]:%s=%d %S", L"count", 42, "unInit"); }, {"[brisol]:count=42 unInit"}},
        {[&] { dbg("plain text, %d%% sure", 100); }, {"plain text, 100% sure"}},
        {[&] { dbg("%s", std::string(300, 'n').c_str()); }, {std::string(255, 'n')}},
        {[&] { dbgw(L"[brisol]:%s", std::wstring(300, L'w').c_str()); }, {"[brisol]:" + std::string(246, 'w')}},
        {[&] { dbg("caf\xe9"); }, {"caf\xe9"}},  // widened as Latin-1, arrives in code page 1252
        {[&] { reg::keyExists(missing); }, {}},  // opens directly, unlike every other operation
        {[&] { reg::writeStringValue(key.path(), L"s", L"abc"); }, {"[brisol]start writevalue"}},
        {[&] { reg::valueExists(missing, L"v"); }, {opening, notFound}},
        {[&] { reg::writeStringValue(missing, L"s", L"x"); }, {"[brisol]start writevalue", opening, notFound, "[brisol]invalid handle"}},
    };
    zol::test::DebugChannelListener channel;
    for (const auto& [send, lines] : rows) {
        channel.clear();
        send();
        EXPECT_EQ(channel.ownLines(), lines);
    }
}

}  // namespace
