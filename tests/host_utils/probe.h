// Driving process_probe.exe (tests/standins/process_probe) from the host-utility tests: copies
// of it under chosen names in a directory with spaces, its records, and processes started with
// this test as their parent, so that their exit codes can be read.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "common/unique_handle.h"
#include "support/scratch_directory.h"

namespace zol::test {

// A directory named with spaces for copies of the probe and their records.
class ProbeDirectory : public ScratchDirectory {
public:
    ProbeDirectory() : ScratchDirectory(L"zol host utils") {}
    // Creates a directory below this one; returns its full path.
    std::wstring addSubdirectory(const std::wstring& name);
    // Copies the probe here as `exeName` (which may name a subdirectory); returns its full path.
    std::wstring addProbe(const std::wstring& exeName);
    // A record file name in this directory (not yet existing).
    std::wstring recordPath(const std::wstring& name) const { return path() + L"\\" + name + L".record"; }
};

// Sets an environment variable for the scope (the probes inherit it), then restores it.
class ScopedEnvironment {
public:
    ScopedEnvironment(const wchar_t* name, const std::wstring& value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::wstring name_;
    std::wstring previous_;
    bool hadPrevious_ = false;
};

using ProbeRecord = std::map<std::wstring, std::wstring>;

// Waits up to `timeoutMs` for the probe's record; an empty map when none came.
ProbeRecord readRecord(const std::wstring& path, DWORD timeoutMs = 10000);

struct Child {
    common::unique_kernel_handle process;
    DWORD id = 0;
};

// Starts a program with this test as its parent.
Child startChild(const std::wstring& exePath);

// The exit code after the process ends, or STILL_ACTIVE when it has not ended within `timeoutMs`.
DWORD exitCodeAfter(const Child& child, DWORD timeoutMs);
bool isRunning(const Child& child);

// Ends the children a test leaves running and waits for them.
void endChildren(std::vector<Child>& children);

// Collects what the library writes to standard output (the C runtime's stream 1, text mode).
class StandardOutputCapture {
public:
    StandardOutputCapture();
    ~StandardOutputCapture();
    std::string finish();

private:
    std::wstring path_;
    int saved_ = -1;
};

std::wstring uniqueName(const std::wstring& stem);

}  // namespace zol::test
