#include "host_utils/elevation.h"

#include <windows.h>
#include <shellapi.h>

#include "common/unique_handle.h"
#include "host_utils/host_path.h"
#include "common/security.h"

namespace zol::host_utils {
namespace {

bool isEmpty(const wchar_t* text) { return text == nullptr || *text == L'\0'; }

constexpr DWORD kMutexAllAccess = 0x1F0001;        // MUTEX_ALL_ACCESS
constexpr DWORD kMutexWaitAndQuery = 0x100001;     // SYNCHRONIZE | MUTANT_QUERY_STATE
constexpr DWORD kMutexQueryState = 0x0001;         // MUTANT_QUERY_STATE

}  // namespace

int isRunningAsAdmin() {
    const common::unique_sid administrators = common::administratorsSid();
    if (!administrators) return 0;
    BOOL member = FALSE;
    if (!CheckTokenMembership(nullptr, administrators.get(), &member)) return 0;
    return member ? 1 : 0;
}

int restartAsAdmin() {
    const std::wstring path = hostExecutablePath();
    // A cut path would name another file: refuse rather than start that.
    if (path.empty() || path.size() >= MAX_PATH) return 0;
    const auto result =
        reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"runas", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32 ? 1 : 0;
}

int globalMutexState(const wchar_t* name) {
    if (isEmpty(name)) return -1;
    common::unique_kernel_handle mutex(OpenMutexW(kMutexQueryState, FALSE, name));
    if (mutex) return 0;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? -1 : static_cast<int>(error);
}

int claimInstanceMutex(const wchar_t* name) {
    if (isEmpty(name)) return 0;
    common::GlobalObjectSecurity security;
    if (common::buildGlobalObjectSecurity(security, kMutexAllAccess, kMutexWaitAndQuery) != 1) return 1;
    // Kept open on purpose until the process ends: that is the claim.
    const HANDLE mutex = CreateMutexW(&security.attributes, FALSE, name);
    const DWORD error = GetLastError();
    return mutex != nullptr && error == ERROR_ALREADY_EXISTS ? 1 : 0;
}

}  // namespace zol::host_utils
