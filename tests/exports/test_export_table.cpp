// The built DLL's export table, read from the file as a host's tools would, and what
// leaves an export: only a registry failure where it may pass out; anything else becomes the
// export's failure value and one log line. (The MSVC format is shown by tests/msvc_host.)

#include <gtest/gtest.h>

#include <fstream>
#include <new>
#include <regex>
#include <set>

#include "apo_install/service_control.h"
#include "exports/boundary.h"
#include "support/debug_channel.h"
#include "support/pe_image.h"

namespace {

// The exports a host can know of: every ZOL_API declaration, the decorated names given for the
// C++ signatures, and hidapi's functions as the header lists them.
std::set<std::string> exportsDeclaredInTheHeader() {
    std::ifstream in(ZOL_PUBLIC_HEADER);
    EXPECT_TRUE(in) << "cannot read " << ZOL_PUBLIC_HEADER;
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::set<std::string> names;
    const std::regex declared(R"re(\nZOL_API\s[^;(]*?(\w+)\()re"), decorated(R"re(#define ZOL_\w+_EXPORT_NAME "([^"]+)")re");
    for (std::sregex_iterator m(text.begin(), text.end(), declared), e; m != e; ++m) names.insert((*m)[1]);
    for (std::sregex_iterator m(text.begin(), text.end(), decorated), e; m != e; ++m)  // the plain name is declared for MSVC's C++ hosts only
        names.erase(m->str(1).substr(1, m->str(1).find("@@") - 1)), names.insert(m->str(1));
    const std::size_t from = text.find("signatures:");
    const std::string list = text.substr(from, text.find(';', from) - from);
    const std::regex hid(R"(hid_\w+)");
    for (std::sregex_iterator m(list.begin(), list.end(), hid), e; m != e; ++m) names.insert((*m)[0]);
    return names;
}

TEST(ExportTable, IsWhatThePublicHeaderDeclares) {
    const zol::test::PeTables tables = zol::test::readPeTables(L"zol_ecd_api.dll");
    const std::set<std::string> actual(tables.exports.begin(), tables.exports.end()), declared = exportsDeclaredInTheHeader();
    EXPECT_EQ(actual.size(), tables.exports.size()) << "an export name appears twice";
    EXPECT_GT(declared.size(), 40u) << "the header was not read as expected";
    for (const std::string& name : declared) EXPECT_TRUE(actual.count(name)) << "missing export " << name;
    for (const std::string& name : actual) EXPECT_TRUE(declared.count(name)) << "undeclared export " << name;
}

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
