// A directory of the test's own under the temporary directory, removed with its contents at the
// end; with `makeCurrent` also the current directory until then (backup files land there).
#pragma once

#include <string>
#include <vector>

namespace zol::test {

class ScratchDirectory {
public:
    explicit ScratchDirectory(const std::wstring& stem, bool makeCurrent = false);
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::wstring& path() const { return path_; }
    std::vector<std::wstring> files() const;  // sorted names
    std::string read(const std::wstring& name) const;

private:
    std::wstring path_;
    std::wstring previous_;  // the current directory this one replaced
};

}  // namespace zol::test
