// The built DLL's export and import tables, read from the file as a host's tools would, and what
// leaves an export: only a registry failure where it may pass out; anything else becomes the
// export's failure value and one log line. (The MSVC format is shown by tests/msvc_host.)
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <new>
#include <regex>
#include <set>
#include <string>

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
    for (std::sregex_iterator m(text.begin(), text.end(), decorated), e; m != e; ++m) {
        const std::string name = (*m)[1];
        names.erase(name.substr(1, name.find("@@") - 1));  // declared only for MSVC's C++ hosts
        names.insert(name);
    }
    const std::size_t from = text.find("signatures:");
    const std::string list = text.substr(from, text.find(';', from) - from);
    const std::regex hid(R"(hid_\w+)");
    for (std::sregex_iterator m(list.begin(), list.end(), hid), e; m != e; ++m) names.insert((*m)[0]);
    return names;
}

// What a Windows machine provides; anything else (libstdc++-6.dll, hidapi.dll, ...) would have to ship beside the DLL.
const std::set<std::string> kSystemDlls = {"kernel32.dll", "msvcrt.dll",   "advapi32.dll", "ole32.dll",         "oleaut32.dll",
                                           "user32.dll",   "shell32.dll",  "version.dll",  "setupapi.dll",      "hid.dll",
                                           "bthprops.cpl", "ntdll.dll",    "cfgmgr32.dll", "bluetoothapis.dll", "shlwapi.dll"};

TEST(ExportTable, IsWhatThePublicHeaderDeclaresAndImportsSystemDllsOnly) {
    const zol::test::PeTables tables = zol::test::readPeTables(L"zol_ecd_api.dll");
    const std::set<std::string> actual(tables.exports.begin(), tables.exports.end()), declared = exportsDeclaredInTheHeader();
    EXPECT_EQ(actual.size(), tables.exports.size()) << "an export name appears twice";
    EXPECT_GT(declared.size(), 40u) << "the header was not read as expected";
    for (const std::string& name : declared) EXPECT_TRUE(actual.count(name)) << "missing export " << name;
    for (const std::string& name : actual) EXPECT_TRUE(declared.count(name)) << "undeclared export " << name;
    ASSERT_FALSE(tables.importedDlls.empty());
    for (std::string dll : tables.importedDlls) {
        CharLowerBuffA(dll.data(), static_cast<DWORD>(dll.size()));
        EXPECT_TRUE(kSystemDlls.count(dll) || dll.rfind("api-ms-win-", 0) == 0) << "non-system import " << dll;
    }
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
