// Where the host program lives: the install directory that "InstallPath" records and beside which
// the effect library is expected.
#pragma once

#include <string>
#include <string_view>

namespace zol::host_utils {

// The directory part of a path, without its trailing separator. Paths of three characters or
// fewer ("C:\", "C:", "") give an empty result, as do paths without a '\' or '/' and paths whose
// only separator is the first character. Otherwise everything before the last separator:
// "C:\Kit\host.exe" -> "C:\Kit", "C:\host.exe" -> "C:", "C:\Kit\" -> "C:\Kit".
std::wstring directoryPart(std::wstring_view path);

// Full path of the host process's executable (GetModuleFileNameW of no module, read into 1024
// characters; a longer path is cut to what the buffer holds).
std::wstring hostExecutablePath();

// The directory part of the host executable's full path (GetModuleFileNameW of the process,
// read into 1024 characters); empty when the path cannot be read.
std::wstring hostExecutableDirectory();

}  // namespace zol::host_utils
