#include "apo_install/service_control.h"

#include "common/system_error.h"
#include "registry/registry.h"

namespace zol::apo_install {

namespace {

// Seconds since a start count, from the performance counter (not from the sleeps).
class Stopwatch {
public:
    Stopwatch() {
        QueryPerformanceFrequency(&frequency_);
        QueryPerformanceCounter(&start_);
    }
    double elapsedSeconds() const {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return static_cast<double>(now.QuadPart - start_.QuadPart) / static_cast<double>(frequency_.QuadPart);
    }

private:
    LARGE_INTEGER frequency_{};
    LARGE_INTEGER start_{};
};

std::wstring quoted(const std::wstring& name) { return L"\"" + name + L"\""; }

using ServiceList = std::vector<std::shared_ptr<Service>>;

void stopAll(const ServiceList& services, const Stopwatch& clock, double limit) {
    for (const auto& service : services) {
        std::uint32_t state = queryServiceState(*service);
        if (state == SERVICE_RUNNING) {
            SERVICE_STATUS status{};
            if (!ControlService(service->handle(), SERVICE_CONTROL_STOP, &status))
                raiseServiceError(*service, L"ControlService", GetLastError());
            state = status.dwCurrentState;
        }
        while (state != SERVICE_STOPPED) {
            if (clock.elapsedSeconds() > limit)
                throw ServiceException(L"Service stop timed out on service " + quoted(service->name()));
            Sleep(kServicePollIntervalMs);
            state = queryServiceState(*service);
        }
    }
}

void startAll(const ServiceList& services, const Stopwatch& clock, double limit) {
    for (auto it = services.rbegin(); it != services.rend(); ++it) {
        const Service& service = **it;
        if (!StartServiceW(service.handle(), 0, nullptr)) raiseServiceError(service, L"StartService", GetLastError());
        std::uint32_t state = queryServiceState(service);
        while (state != SERVICE_RUNNING) {
            if (clock.elapsedSeconds() > limit)
                throw ServiceException(L"Service start timed out on service " + quoted(service.name()));
            Sleep(kServicePollIntervalMs);
            state = queryServiceState(service);
        }
    }
}

}  // namespace

Service::Service(SC_HANDLE manager, std::wstring name) : name_(std::move(name)) {
    handle_.reset(OpenServiceW(manager, name_.c_str(), kAccess));
    if (!handle_) raiseServiceError(name_, L"OpenService", GetLastError());
}

BOOL DependentServiceEnumerator::enumerate(SC_HANDLE service, DWORD serviceState, ENUM_SERVICE_STATUSW* services,
                                           DWORD bufferSize, DWORD* bytesNeeded, DWORD* count) const {
    return EnumDependentServicesW(service, serviceState, services, bufferSize, bytesNeeded, count);
}

void raiseServiceError(const std::wstring& serviceName, const wchar_t* callName, DWORD code) {
    throw ServiceException(std::wstring(callName) + L" failed for service " + quoted(serviceName) + L" (" +
                           common::systemErrorText(code) + L")");
}

void raiseServiceError(const Service& service, const wchar_t* callName, DWORD code) {
    raiseServiceError(service.name(), callName, code);
}

std::uint32_t queryServiceState(const Service& service) {
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service.handle(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                              sizeof status, &needed))
        raiseServiceError(service, L"QueryServiceStatusEx", GetLastError());
    return status.dwCurrentState;
}

std::vector<std::wstring> listActiveDependents(const Service& service, const DependentServiceEnumerator& dependents) {
    DWORD needed = 0;
    DWORD count = 0;
    if (dependents.enumerate(service.handle(), SERVICE_ACTIVE, nullptr, 0, &needed, &count)) return {};
    DWORD error = GetLastError();
    if (error != ERROR_MORE_DATA) raiseServiceError(service, L"EnumDependentServices", error);

    common::unique_process_heap_block block(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, needed));
    if (!block) throw ServiceException(L"HeapAlloc for EnumDependentServices failed");
    auto* entries = static_cast<ENUM_SERVICE_STATUSW*>(block.get());
    if (!dependents.enumerate(service.handle(), SERVICE_ACTIVE, entries, needed, &needed, &count))
        raiseServiceError(service, L"EnumDependentServices", GetLastError());

    std::vector<std::wstring> names;
    names.reserve(count);
    for (DWORD i = 0; i < count; ++i) names.emplace_back(entries[i].lpServiceName);
    return names;
}

void restartService(const std::wstring& serviceName) {
    restartService(serviceName, kServiceTimeLimitSeconds, DependentServiceEnumerator{});
}

void restartService(const std::wstring& serviceName, double timeLimitSeconds,
                    const DependentServiceEnumerator& dependents) {
    common::unique_sc_handle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) throw ServiceException(L"OpenSCManager failed (" + common::systemErrorText(GetLastError()) + L")");

    // Ends as the dependents in enumeration order, then the named service: the stop order.
    ServiceList services;
    services.push_back(std::make_shared<Service>(manager.get(), serviceName));
    if (queryServiceState(*services.back()) == SERVICE_RUNNING) {
        for (const std::wstring& name : listActiveDependents(*services.back(), dependents))
            services.insert(services.end() - 1, std::make_shared<Service>(manager.get(), name));
    }

    Stopwatch clock;
    stopAll(services, clock, timeLimitSeconds);
    startAll(services, clock, timeLimitSeconds);
}

}  // namespace zol::apo_install
