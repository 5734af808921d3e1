#include "settings/settings_lock.h"

#include "common/unique_handle.h"
#include "log/debug_log.h"
#include "common/security.h"

namespace zol::settings {
namespace {

constexpr DWORD kMutexAllAccess = 0x1F0001;  // MUTEX_ALL_ACCESS, for the user and for the audio engine

// Created (or opened) once per load and kept: the lock is taken on every settings call.
HANDLE lockObject() {
    static const common::unique_kernel_handle mutex = [] {
        common::GlobalObjectSecurity security;
        if (common::buildGlobalObjectSecurity(security, kMutexAllAccess, kMutexAllAccess) < 1) return common::unique_kernel_handle();
        return common::unique_kernel_handle(CreateMutexW(&security.attributes, FALSE, kSettingsLockName));
    }();
    return mutex.get();
}

}  // namespace

SettingsLock::SettingsLock() {
    HANDLE mutex = lockObject();
    if (mutex == nullptr) {
        log::trace(L":settings lock unavailable, err=%u", GetLastError());
        return;
    }
    // Abandoned: its holder died part-way; this call's writes bring both places together again.
    const DWORD wait = WaitForSingleObject(mutex, kSettingsLockWaitMs);
    held_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    if (!held_) log::trace(L":settings lock not acquired (wait %u), going on unlocked", wait);
}

SettingsLock::~SettingsLock() {
    if (held_) ReleaseMutex(lockObject());
}

}  // namespace zol::settings
