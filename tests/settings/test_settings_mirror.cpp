// The mirror on a section of the test's own name: writes are clipped at the end of the payload.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/unique_handle.h"
#include "settings/settings_mirror.h"

namespace {

using zol::settings::SettingsMirror;

std::wstring testSectionName() {
    return L"Global\\ZolTestMirror-" + std::to_wstring(GetCurrentProcessId());
}

// A second handle by name, the way another process finds the section.
struct SectionView {
    zol::common::unique_kernel_handle section;
    zol::common::unique_view view;
    explicit SectionView(const std::wstring& name, DWORD bytes = 8188) {
        section.reset(OpenFileMappingW(FILE_MAP_READ, FALSE, name.c_str()));
        if (section) view.reset(MapViewOfFile(section.get(), FILE_MAP_READ, 0, 0, bytes));
    }
    const unsigned char* bytes() const { return static_cast<const unsigned char*>(view.get()); }
    std::uint32_t header() const { return *reinterpret_cast<const std::uint32_t*>(bytes()); }
};

TEST(SettingsMirror, ClipsWritesAtTheEndOfThePayload) {
    SettingsMirror mirror;
    ASSERT_TRUE(mirror.open(8188, testSectionName().c_str(), false));
    SectionView other(testSectionName());
    ASSERT_NE(other.bytes(), nullptr);

    std::vector<unsigned char> source(575);
    for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<unsigned char>(i + 1);
    mirror.write(source.data(), 8000, 575);  // 184 bytes fit
    EXPECT_EQ(other.bytes()[8004], 1);
    EXPECT_EQ(other.bytes()[8187], 184);
    EXPECT_EQ(other.bytes()[8003], 0);

    const unsigned char marker = 0xEE;
    mirror.write(&marker, 8184, 1);       // at the end: nothing
    mirror.write(&marker, 0xFFFFFFF0u, 32);  // far beyond, and offset + length wraps: nothing
    EXPECT_EQ(other.header(), 8184u);
    EXPECT_EQ(other.bytes()[8187], 184);
}

}  // namespace
