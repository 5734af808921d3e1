// What leaves an export: only a registry failure where it may pass out; anything else becomes the
// export's failure value and one log line. (The MSVC format is shown by tests/msvc_host.)
#include <gtest/gtest.h>

#include <new>

#include "apo_install/service_control.h"
#include "exports/boundary.h"
#include "support/debug_channel.h"

namespace {

using zol::exports::Registry;

TEST(ExportBoundary, ContainsEverythingButARegistryFailureThatPassesOut) {
    zol::test::DebugChannelListener channel;
    for (const auto& [registry, body, result, log] :
         {std::tuple<Registry, int (*)(), int, const char*>{Registry::Contained, [] { return 7; }, 7, nullptr},
          {Registry::Contained, []() -> int { throw zol::registry::RegistryException(L"no key"); }, -9, "no key"},
          {Registry::PassesOut, []() -> int { throw zol::apo_install::ServiceException(L"no service"); }, -9, "no service"},
          {Registry::PassesOut, []() -> int { throw std::bad_alloc(); }, -9, "std::bad_alloc"},
          {Registry::PassesOut, []() -> int { throw 42; }, -9, "unknown exception"}}) {
        channel.clear();
        EXPECT_EQ(zol::exports::guarded("probe", registry, -9, body), result);
        EXPECT_EQ(channel.ownLines(), log ? std::vector<std::string>{std::string("[brisol]:probe failed: ") + log} : std::vector<std::string>{});
    }
    // The test programs chose the GCC format at start-up.
    EXPECT_THROW(zol::exports::guarded("probe", Registry::PassesOut, 0, []() -> int { throw zol::registry::RegistryException(L"x"); }),
                 zol::registry::RegistryException);
}

}  // namespace
