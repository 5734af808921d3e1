// A directory of the test's own under the temporary directory, removed with everything in it
// when the test ends. With `makeCurrent` it is also the current directory until then (backup
// files land in the current directory).
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
    std::vector<std::wstring> files() const;  // names of the files in it, sorted
    std::string read(const std::wstring& name) const;

private:
    std::wstring path_;
    std::wstring previous_;  // the former current directory, when this one replaced it
};

}  // namespace zol::test
