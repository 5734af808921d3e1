// The mirror on a section of the test's own name.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/unique_handle.h"
#include "settings/settings_mirror.h"

TEST(SettingsMirror, ClipsWritesAtThePayloadsEndAndStaysClosedOnAForeignName) {
    const std::wstring name = L"Global\\ZolTestMirror-" + std::to_wstring(GetCurrentProcessId());
    zol::settings::SettingsMirror mirror;
    ASSERT_TRUE(mirror.open(8188, name.c_str(), false));
    const zol::common::unique_kernel_handle section(OpenFileMappingW(FILE_MAP_READ, FALSE, name.c_str()));
    const zol::common::unique_view view(MapViewOfFile(section.get(), FILE_MAP_READ, 0, 0, 8188));
    const auto* bytes = static_cast<const unsigned char*>(view.get());
    const std::vector<unsigned char> source(575, 0xEE);
    mirror.write(source.data(), 8000, 575);        // 184 bytes fit
    mirror.write(source.data(), 0xFFFFFFF0u, 32);  // offset + length wraps: nothing
    ASSERT_TRUE(bytes);
    EXPECT_EQ(*reinterpret_cast<const std::uint32_t*>(bytes), 8184u);
    EXPECT_EQ(bytes[8003], 0);
    EXPECT_EQ(std::count(bytes + 8004, bytes + 8188, 0xEE), 184);
    const zol::common::unique_kernel_handle event(CreateEventW(nullptr, TRUE, FALSE, (name + L"-event").c_str()));
    EXPECT_FALSE(mirror.open(8188, (name + L"-event").c_str(), false));
}
