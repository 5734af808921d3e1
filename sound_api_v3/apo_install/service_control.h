// Restart of a Windows service together with its running dependents, under one time limit.
// Failures leave as ServiceException; every service and manager handle is closed first.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/unique_handle.h"

namespace zol::apo_install {

// The only error of the service control: its composed English message.
class ServiceException {
public:
    explicit ServiceException(std::wstring message) : message_(std::move(message)) {}
    const std::wstring& message() const noexcept { return message_; }

private:
    std::wstring message_;
};

// One opened service; created on the heap and shared, its handle closes with the last owner.
class Service {
public:
    static constexpr DWORD kAccess =
        SERVICE_QUERY_STATUS | SERVICE_ENUMERATE_DEPENDENTS | SERVICE_START | SERVICE_STOP;  // 0x3C

    // Raises the "OpenService" error when the service cannot be opened.
    Service(SC_HANDLE manager, std::wstring name);
    virtual ~Service() = default;
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    SC_HANDLE handle() const noexcept { return handle_.get(); }
    const std::wstring& name() const noexcept { return name_; }

private:
    std::wstring name_;
    common::unique_sc_handle handle_;
};

// The one service-manager call a caller may replace: EnumDependentServicesW, with its own
// signature and error protocol (ERROR_MORE_DATA, bytes needed). The system's version is used
// unless a caller supplies another (tests do: some platforms never report dependents).
class DependentServiceEnumerator {
public:
    virtual ~DependentServiceEnumerator() = default;
    virtual BOOL enumerate(SC_HANDLE service, DWORD serviceState, ENUM_SERVICE_STATUSW* services, DWORD bufferSize,
                           DWORD* bytesNeeded, DWORD* count) const;
};

constexpr double kServiceTimeLimitSeconds = 30.0;
constexpr DWORD kServicePollIntervalMs = 100;

// Stops the service and its running dependents (dependents first), then starts them all again
// (the service first), all within 30 seconds.
void restartService(const std::wstring& serviceName);
// The same with another overall limit and dependents enumerator.
void restartService(const std::wstring& serviceName, double timeLimitSeconds,
                    const DependentServiceEnumerator& dependents);

// --- internal steps, reachable for tests ---
std::uint32_t queryServiceState(const Service& service);
// Names of the running dependents, in the order that stopping them needs.
std::vector<std::wstring> listActiveDependents(const Service& service, const DependentServiceEnumerator& dependents);
[[noreturn]] void raiseServiceError(const Service& service, const wchar_t* callName, DWORD code);
[[noreturn]] void raiseServiceError(const std::wstring& serviceName, const wchar_t* callName, DWORD code);

}  // namespace zol::apo_install
