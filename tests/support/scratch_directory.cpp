#include "support/scratch_directory.h"

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

zol::test::ScratchDirectory::ScratchDirectory(const std::wstring& stem, bool makeCurrent) {
    static int serial = 0;
    path_ = (fs::temp_directory_path() / (stem + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                          std::to_wstring(++serial))).wstring();
    fs::create_directories(path_);
    if (makeCurrent) previous_ = fs::current_path().wstring(), fs::current_path(path_);
}

zol::test::ScratchDirectory::~ScratchDirectory() {
    if (!previous_.empty()) fs::current_path(previous_);
    std::error_code error;  // a program a test started may still be on its way out, holding its file
    for (int tries = 0; fs::remove_all(path_, error), error && tries < 100; ++tries) Sleep(20);
}

std::vector<std::wstring> zol::test::ScratchDirectory::files() const {
    std::vector<std::wstring> names;
    for (const auto& entry : fs::directory_iterator(path_))
        if (entry.is_regular_file()) names.push_back(entry.path().filename().wstring());
    std::sort(names.begin(), names.end());
    return names;
}

std::string zol::test::ScratchDirectory::read(const std::wstring& name) const {
    std::ifstream in(fs::path(path_) / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
