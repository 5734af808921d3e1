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
    const std::wstring& path() const { return path_; }
    std::vector<std::wstring> files() const;  // sorted names
    std::string read(const std::wstring& name) const;

private:
    std::wstring path_, previous_;  // previous_: the current directory this one replaced
};

}  // namespace zol::test
