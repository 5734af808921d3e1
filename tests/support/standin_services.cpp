#include "support/standin_services.h"
#include "support/test_paths.h"

#include <cstring>
#include <memory>
#include <stdexcept>

#include "common/unique_handle.h"
#include "standins/effect_library/effect_library_switches.h"
#include "support/scratch_key.h"

namespace zol::test {

namespace {

constexpr DWORD kWaitLimitMs = 10000;
constexpr DWORD kGentleStopMs = 1500;  // longer than any stand-in's stop delay in the suites

common::unique_sc_handle openManager() {
    common::unique_sc_handle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) throw std::runtime_error("OpenSCManagerW failed: " + std::to_string(GetLastError()));
    return manager;
}

SERVICE_STATUS_PROCESS statusOf(SC_HANDLE service) {
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status, &needed);
    return status;
}

DWORD stateOf(SC_HANDLE service) { return statusOf(service).dwCurrentState; }

bool waitForState(SC_HANDLE service, DWORD wanted, DWORD limitMs) {
    for (DWORD waited = 0; waited < limitMs; waited += 10) {
        if (stateOf(service) == wanted) return true;
        Sleep(10);
    }
    return stateOf(service) == wanted;
}

// Wine keeps a service RUNNING (or pending) after its process died, and refuses every control
// once a stop was sent; so a service that will not stop is deleted and its process ended.
void terminateProcessOf(SC_HANDLE service) {
    DWORD pid = statusOf(service).dwProcessId;
    if (pid == 0) return;
    common::unique_kernel_handle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
    if (!process) return;
    TerminateProcess(process.get(), 1);
    WaitForSingleObject(process.get(), kWaitLimitMs);
}

std::wstring quotedArgument(const std::wstring& text) { return L"\"" + text + L"\""; }

}  // namespace

std::wstring standInServiceProgram() { return besideThisProgram(L"zol_standin_service.exe"); }

EventJournal::EventJournal() {
    wchar_t directory[MAX_PATH];
    GetTempPathW(MAX_PATH, directory);
    static int serial = 0;
    path_ = std::wstring(directory) + L"zol-journal-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(++serial) + L".txt";
    clear();
    SetEnvironmentVariableW(ZOL_STANDIN_JOURNAL_VARIABLE, path_.c_str());
}

EventJournal::~EventJournal() {
    SetEnvironmentVariableW(ZOL_STANDIN_JOURNAL_VARIABLE, nullptr);
    DeleteFileW(path_.c_str());
}

void EventJournal::clear() const {
    HANDLE file = CreateFileW(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

std::vector<std::string> EventJournal::lines() const {
    std::vector<std::string> result;
    HANDLE file = CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return result;
    std::string content;
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read > 0) content.append(chunk, read);
    CloseHandle(file);
    size_t begin = 0;
    while (begin < content.size()) {
        size_t end = content.find("\r\n", begin);
        if (end == std::string::npos) end = content.size();
        result.push_back(content.substr(begin, end - begin));
        begin = end + 2;
    }
    return result;
}

StandInService::StandInService(StandInServiceOptions options) : options_(std::move(options)) {
    remove(options_.name);
    std::wstring command = quotedArgument(standInServiceProgram()) + L" --name " + quotedArgument(options_.name);
    if (!options_.journal.empty()) command += L" --journal " + quotedArgument(options_.journal);
    if (options_.ignoreStop) command += L" --ignore-stop";
    if (options_.refuseStop) command += L" --refuse-stop";
    if (options_.startDelayMs) command += L" --start-delay " + std::to_wstring(options_.startDelayMs);
    if (options_.stopDelayMs) command += L" --stop-delay " + std::to_wstring(options_.stopDelayMs);

    // lpDependencies is a list of names, each ended by a null, the list ended by another.
    std::wstring dependencies;
    for (const auto& name : options_.dependsOn) dependencies += name + L'\0';
    dependencies += L'\0';

    common::unique_sc_handle manager = openManager();
    common::unique_sc_handle service;
    // Deletion of a leftover can take a moment to settle: 1072 "marked for deletion".
    for (int attempt = 0; attempt < 50; ++attempt) {
        service.reset(CreateServiceW(manager.get(), options_.name.c_str(), options_.name.c_str(), SERVICE_ALL_ACCESS,
                                     SERVICE_WIN32_OWN_PROCESS, options_.startType, SERVICE_ERROR_NORMAL,
                                     command.c_str(), nullptr, nullptr,
                                     options_.dependsOn.empty() ? nullptr : dependencies.c_str(), nullptr, nullptr));
        if (service || GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE) break;
        Sleep(20);
    }
    if (!service)
        throw std::runtime_error("CreateServiceW " + narrow(options_.name) + " failed: " + std::to_string(GetLastError()));
}

StandInService::~StandInService() { remove(options_.name); }

DWORD StandInService::state() const {
    common::unique_sc_handle manager = openManager();
    common::unique_sc_handle service(OpenServiceW(manager.get(), options_.name.c_str(), SERVICE_QUERY_STATUS));
    return service ? stateOf(service.get()) : 0;
}

void StandInService::start() {
    common::unique_sc_handle manager = openManager();
    common::unique_sc_handle service(OpenServiceW(manager.get(), options_.name.c_str(), SERVICE_ALL_ACCESS));
    if (!service)
        throw std::runtime_error("OpenServiceW " + narrow(options_.name) + " failed: " + std::to_string(GetLastError()));
    // Wine's manager now and then refuses a start with 1359 while the process of a service of the
    // same name, deleted by the previous test, is still going away: a few tries, then report.
    DWORD error = ERROR_SUCCESS;
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (StartServiceW(service.get(), 0, nullptr)) {
            error = ERROR_SUCCESS;
            break;
        }
        error = GetLastError();
        if (error != ERROR_INTERNAL_ERROR) break;
        Sleep(100);
    }
    if (error != ERROR_SUCCESS)
        throw std::runtime_error("StartServiceW " + narrow(options_.name) + " failed: " + std::to_string(error));
    if (!waitForState(service.get(), SERVICE_RUNNING, kWaitLimitMs))
        throw std::runtime_error(narrow(options_.name) + " did not reach RUNNING");
}

void StandInService::remove(const std::wstring& name) {
    common::unique_sc_handle manager = openManager();
    {
        common::unique_sc_handle service(OpenServiceW(manager.get(), name.c_str(), SERVICE_ALL_ACCESS));
        if (!service) return;
        SERVICE_STATUS_PROCESS status = statusOf(service.get());
        if (status.dwCurrentState == SERVICE_RUNNING && (status.dwControlsAccepted & SERVICE_ACCEPT_STOP)) {
            SERVICE_STATUS ignored{};
            if (ControlService(service.get(), SERVICE_CONTROL_STOP, &ignored))
                waitForState(service.get(), SERVICE_STOPPED, kGentleStopMs);
        }
        DeleteService(service.get());
        if (stateOf(service.get()) != SERVICE_STOPPED) terminateProcessOf(service.get());
    }
    // Deleted for good once no handle and no process is left.
    for (DWORD waited = 0; waited < kWaitLimitMs; waited += 10) {
        common::unique_sc_handle again(OpenServiceW(manager.get(), name.c_str(), SERVICE_QUERY_STATUS));
        if (!again) return;
        Sleep(10);
    }
}

BOOL DependentsFromConfiguration::enumerate(SC_HANDLE service, DWORD serviceState, ENUM_SERVICE_STATUSW* services,
                                            DWORD bufferSize, DWORD* bytesNeeded, DWORD* count) const {
    ++calls;
    // The handle is opened without SERVICE_QUERY_CONFIG, so the asked-about service is known by name.
    (void)service;
    common::unique_sc_handle manager = openManager();
    const std::wstring& target = target_;
    DWORD needed = 0;

    struct Found {
        std::wstring name;
        SERVICE_STATUS status;
    };
    std::vector<Found> found;
    for (const auto& candidate : candidates_) {
        common::unique_sc_handle other(OpenServiceW(manager.get(), candidate.c_str(), SERVICE_QUERY_STATUS));
        if (!other) continue;
        // The manager's own database; Wine's QueryServiceConfigW returns an empty lpDependencies.
        DWORD type = 0;
        std::string bytes;
        rawGetValue(L"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\" + candidate, L"DependOnService", &type,
                    &bytes);
        bytes.append(4, '\0');
        bool depends = false;
        for (const wchar_t* p = reinterpret_cast<const wchar_t*>(bytes.data()); type == REG_MULTI_SZ && *p;
             p += wcslen(p) + 1)
            if (_wcsicmp(p, target.c_str()) == 0) depends = true;
        SERVICE_STATUS_PROCESS status{};
        QueryServiceStatusEx(other.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                             &needed);
        bool active = status.dwCurrentState != SERVICE_STOPPED;
        if (depends && ((serviceState & SERVICE_ACTIVE && active) || (serviceState & SERVICE_INACTIVE && !active)))
            found.push_back({candidate, {status.dwServiceType, status.dwCurrentState, status.dwControlsAccepted,
                                         status.dwWin32ExitCode, status.dwServiceSpecificExitCode,
                                         status.dwCheckPoint, status.dwWaitHint}});
    }

    DWORD total = 0;
    for (const auto& f : found)
        total += sizeof(ENUM_SERVICE_STATUSW) + static_cast<DWORD>((f.name.size() + 1) * 2 * sizeof(wchar_t));
    *bytesNeeded = total;
    *count = 0;
    if (found.empty()) return TRUE;
    if (bufferSize < total || !services) {
        SetLastError(ERROR_MORE_DATA);
        return FALSE;
    }
    // Entries first, then their strings, as the system lays the block out.
    auto* text = reinterpret_cast<wchar_t*>(reinterpret_cast<BYTE*>(services) + found.size() * sizeof(ENUM_SERVICE_STATUSW));
    for (size_t i = 0; i < found.size(); ++i) {
        const std::wstring& name = found[i].name;
        services[i].lpServiceName = text;
        std::memcpy(text, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
        text += name.size() + 1;
        services[i].lpDisplayName = text;
        std::memcpy(text, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
        text += name.size() + 1;
        services[i].ServiceStatus = found[i].status;
    }
    *count = static_cast<DWORD>(found.size());
    return TRUE;
}

}  // namespace zol::test
