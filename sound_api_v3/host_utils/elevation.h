// Elevation of the host process and detection of a second instance by a named mutex.
#pragma once

namespace zol::host_utils {

// 1 when the caller's effective token (the thread's impersonation token if it has one) has the
// built-in Administrators group enabled; an administrator's unelevated token holds the group for
// denial only and answers 0, as does any failure.
int isRunningAsAdmin();

// Hands the host executable to the shell with the verb "runas" (no arguments, normal window):
// 1 when the shell accepted it, 0 when it refused (the user declined the prompt) or the path of
// the executable does not fit in MAX_PATH. The calling process keeps running.
int restartAsAdmin();

// 0 when a mutex of that name exists and opens for query; -1 when none exists (also for a null
// or empty name); otherwise the system's error code of the open (5 when its security refuses us,
// 6 when the name belongs to an object of another kind).
int globalMutexState(const wchar_t* name);

// Claims the name for this process's lifetime: the mutex's handle is never closed. 1 when it
// already existed (or its security could not be prepared), 0 when this call created it or could
// neither create nor open it. A null or empty name creates nothing and gives 0: an unnamed mutex
// cannot be seen by a second instance.
int claimInstanceMutex(const wchar_t* name);

}  // namespace zol::host_utils
