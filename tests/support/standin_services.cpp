#include "support/standin_services.h"

#include <fstream>
#include <stdexcept>

#include "common/unique_handle.h"
#include "standins/effect_library/effect_library_switches.h"
#include "support/scratch_key.h"
#include "support/test_paths.h"

namespace zol::test {

namespace {

common::unique_sc_handle openService(const std::wstring& name, DWORD access) {
    const common::unique_sc_handle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    return common::unique_sc_handle(OpenServiceW(manager.get(), name.c_str(), access));
}

SERVICE_STATUS_PROCESS statusOf(SC_HANDLE service) {
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status, &needed);
    return status;
}

bool waitForState(SC_HANDLE service, DWORD wanted, DWORD limitMs) {
    for (DWORD waited = 0; statusOf(service).dwCurrentState != wanted; waited += 10, Sleep(10))
        if (waited >= limitMs) return false;
    return true;
}

void check(bool done, const char* what, const std::wstring& name, DWORD error = GetLastError()) {
    if (!done) throw std::runtime_error(std::string(what) + " " + narrow(name) + " failed: " + std::to_string(error));
}

void removeService(const std::wstring& name) {  // ending its process when it will not stop
    if (const common::unique_sc_handle service = openService(name, SERVICE_ALL_ACCESS)) {
        SERVICE_STATUS ignored{};
        if (statusOf(service.get()).dwControlsAccepted & SERVICE_ACCEPT_STOP && ControlService(service.get(), SERVICE_CONTROL_STOP, &ignored))
            waitForState(service.get(), SERVICE_STOPPED, 1500);
        DeleteService(service.get());
        // Wine keeps a service that will not stop RUNNING even once it is deleted: its process is ended.
        const SERVICE_STATUS_PROCESS status = statusOf(service.get());
        const common::unique_kernel_handle process(
            status.dwCurrentState != SERVICE_STOPPED ? OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, status.dwProcessId) : nullptr);
        if (process && TerminateProcess(process.get(), 1)) WaitForSingleObject(process.get(), 10000);
    }
    for (DWORD waited = 0; waited < 10000 && openService(name, SERVICE_QUERY_STATUS); waited += 10) Sleep(10);
}

}  // namespace

EventJournal::EventJournal() {
    wchar_t directory[MAX_PATH];
    GetTempPathW(MAX_PATH, directory);
    static int serial = 0;
    path_ = directory + (L"zol-journal-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++serial) + L".txt");
    clear();
    SetEnvironmentVariableW(ZOL_STANDIN_JOURNAL_VARIABLE, path_.c_str());
}

EventJournal::~EventJournal() {
    SetEnvironmentVariableW(ZOL_STANDIN_JOURNAL_VARIABLE, nullptr);
    DeleteFileW(path_.c_str());
}

void EventJournal::clear() const { std::ofstream(path_.c_str(), std::ios::trunc); }

std::vector<std::string> EventJournal::lines() const {
    std::ifstream in(path_.c_str());
    std::vector<std::string> result;
    for (std::string line; std::getline(in, line);) result.push_back(line.substr(0, line.find('\r')));
    return result;
}

StandInService::StandInService(StandInServiceOptions options) : options_(std::move(options)) {
    removeService(options_.name);
    const auto quoted = [](const std::wstring& text) { return L"\"" + text + L"\""; };
    const std::wstring command = quoted(besideThisProgram(L"zol_standin_service.exe")) + L" --name " + quoted(options_.name) +
                                 L" --journal " + quoted(options_.journal) + (options_.refuseStop ? L" --refuse-stop" : L"");
    std::wstring dependencies;  // each name ended by a null, the list by another
    for (const auto& name : options_.dependsOn) dependencies += name + L'\0';
    dependencies += L'\0';
    const common::unique_sc_handle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    // Deleting a namesake can take a moment to settle: 1072 "marked for deletion".
    for (int attempt = 0; attempt < 50; ++attempt, Sleep(20)) {
        const common::unique_sc_handle service(CreateServiceW(
            manager.get(), options_.name.c_str(), options_.name.c_str(), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
            SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, command.c_str(), nullptr, nullptr, dependencies.c_str(), nullptr, nullptr));
        if (service || GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE) {
            check(bool(service), "CreateServiceW", options_.name);
            return;
        }
    }
    check(false, "CreateServiceW", options_.name);
}

StandInService::~StandInService() { removeService(options_.name); }

void StandInService::start() {
    const common::unique_sc_handle service = openService(options_.name, SERVICE_ALL_ACCESS);
    check(bool(service), "OpenServiceW", options_.name);
    // Wine now and then refuses with 1359 while the process of a just deleted namesake goes away.
    DWORD error = ERROR_INTERNAL_ERROR;
    for (int attempt = 0; attempt < 10 && error == ERROR_INTERNAL_ERROR; ++attempt, Sleep(error ? 100 : 0))
        error = StartServiceW(service.get(), 0, nullptr) ? ERROR_SUCCESS : GetLastError();
    check(error == ERROR_SUCCESS, "StartServiceW", options_.name, error);
    check(waitForState(service.get(), SERVICE_RUNNING, 10000), "reaching RUNNING:", options_.name, 0);
}


std::wstring standInEffectLibraryPath() { return besideThisProgram(L"ZolSoundAPO.dll"); }

bool effectClassRegistered() { return rawKeyExists(L"HKEY_CLASSES_ROOT\\CLSID\\" ZOL_STANDIN_STREAM_EFFECT_CLSID L"\\InprocServer32"); }

void removeEffectClasses() {
    rawDeleteTree(L"HKEY_CLASSES_ROOT\\CLSID\\" ZOL_STANDIN_STREAM_EFFECT_CLSID);
    rawDeleteTree(L"HKEY_CLASSES_ROOT\\CLSID\\" ZOL_STANDIN_ENDPOINT_EFFECT_CLSID);
}

EffectLibraryFailure::EffectLibraryFailure(const wchar_t* which) {
    SetEnvironmentVariableW(ZOL_STANDIN_APO_FAIL_VARIABLE, which);
}

EffectLibraryFailure::~EffectLibraryFailure() { SetEnvironmentVariableW(ZOL_STANDIN_APO_FAIL_VARIABLE, nullptr); }

}  // namespace zol::test
