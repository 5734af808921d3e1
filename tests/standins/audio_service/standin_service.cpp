// A Windows service program that stands in for the audio service and its dependents in tests.
//
//   zol_standin_service.exe --name NAME [--journal FILE] [--ignore-stop]
//                           [--refuse-stop] [--start-delay MS] [--stop-delay MS]
//
// It appends "NAME start" when the manager starts it and "NAME stop" when a stop request
// arrives, so a test sees the order in which services were really started and stopped.
// --ignore-stop answers the stop request but stays running (the time-out path); tests end it
// by deleting the service and its process. --refuse-stop runs without accepting stop requests
// at all, so the manager refuses them. --start-delay keeps it in
// START_PENDING that long; --stop-delay keeps it in STOP_PENDING that long. A stop is always
// reported a little late: Wine refuses a start in the very instant a service reported stopped.
#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <string>

namespace {

constexpr DWORD kMinimumStopDelayMs = 50;

std::wstring gName = L"AudioSrv";
std::wstring gJournal;
bool gIgnoreStop = false;
bool gRefuseStop = false;
DWORD gStartDelayMs = 0;
DWORD gStopDelayMs = kMinimumStopDelayMs;

SERVICE_STATUS_HANDLE gStatusHandle = nullptr;
HANDLE gStopEvent = nullptr;
SERVICE_STATUS gStatus{};

void journal(const wchar_t* event) {
    if (gJournal.empty()) return;
    std::wstring wide = gName + L" " + event + L"\r\n";
    char line[512];
    int n = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), static_cast<int>(wide.size()), line, sizeof line,
                                nullptr, nullptr);
    // FILE_APPEND_DATA makes each write land whole at the end, whoever else appends.
    HANDLE file = CreateFileW(gJournal.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(n), &written, nullptr);
    CloseHandle(file);
}

void report(DWORD state, DWORD waitHintMs = 0) {
    gStatus.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    gStatus.dwCurrentState = state;
    gStatus.dwControlsAccepted = state == SERVICE_RUNNING && !gRefuseStop ? SERVICE_ACCEPT_STOP : 0;
    gStatus.dwWin32ExitCode = NO_ERROR;
    gStatus.dwWaitHint = waitHintMs;
    SetServiceStatus(gStatusHandle, &gStatus);
}

DWORD WINAPI handler(DWORD control, DWORD, void*, void*) {
    switch (control) {
    case SERVICE_CONTROL_STOP:
        journal(L"stop");
        if (gIgnoreStop) {
            report(SERVICE_RUNNING);
            return NO_ERROR;
        }
        report(SERVICE_STOP_PENDING, gStopDelayMs + 1000);
        SetEvent(gStopEvent);
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        SetServiceStatus(gStatusHandle, &gStatus);
        return NO_ERROR;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI serviceMain(DWORD, wchar_t**) {
    gStatusHandle = RegisterServiceCtrlHandlerExW(gName.c_str(), handler, nullptr);
    if (!gStatusHandle) return;
    gStopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    journal(L"start");
    if (gStartDelayMs) {
        report(SERVICE_START_PENDING, gStartDelayMs + 1000);
        Sleep(gStartDelayMs);
    }
    report(SERVICE_RUNNING);
    WaitForSingleObject(gStopEvent, INFINITE);
    Sleep(gStopDelayMs);
    report(SERVICE_STOPPED);
}

void parseArguments() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == L"--name" && hasValue) gName = argv[++i];
        else if (arg == L"--journal" && hasValue) gJournal = argv[++i];
        else if (arg == L"--ignore-stop") gIgnoreStop = true;
        else if (arg == L"--refuse-stop") gRefuseStop = true;
        else if (arg == L"--start-delay" && hasValue) gStartDelayMs = wcstoul(argv[++i], nullptr, 10);
        else if (arg == L"--stop-delay" && hasValue) gStopDelayMs = wcstoul(argv[++i], nullptr, 10);
    }
    LocalFree(argv);
    if (gStopDelayMs < kMinimumStopDelayMs) gStopDelayMs = kMinimumStopDelayMs;
}

}  // namespace

int wmain() {
    parseArguments();
    SERVICE_TABLE_ENTRYW table[] = {{gName.data(), serviceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? 0 : static_cast<int>(GetLastError());
}
