// The built DLL's export and import tables, read from the file as a host's tools would.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <string>

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

TEST(ExportTable, CarriesAVersionResource) {
    DWORD ignored = 0;
    std::string block(GetFileVersionInfoSizeW(L"zol_ecd_api.dll", &ignored), '\0');
    ASSERT_TRUE(GetFileVersionInfoW(L"zol_ecd_api.dll", 0, static_cast<DWORD>(block.size()), block.data()));
    VS_FIXEDFILEINFO* info = nullptr;
    wchar_t* description = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &length));
    EXPECT_EQ(HIWORD(info->dwFileVersionMS), 3);
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\StringFileInfo\\040904B0\\FileDescription", reinterpret_cast<void**>(&description), &length));
    EXPECT_STREQ(description, L"ZolSoundKit headset control library");
}

}  // namespace
