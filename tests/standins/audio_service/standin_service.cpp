// A service program that stands in for the audio service and its dependents in tests:
//   zol_standin_service.exe --name NAME [--journal FILE] [--refuse-stop]
// It appends "NAME start" and "NAME stop" to the journal as the manager starts and stops it;
// --refuse-stop accepts no stop. A stop is reported a little late: Wine refuses a start in the
// very instant a service reported stopped.
#include <windows.h>
#include <shellapi.h>

#include <string>

namespace {

std::wstring gName, gJournal;
bool gRefuseStop = false;
SERVICE_STATUS_HANDLE gStatusHandle = nullptr;
HANDLE gStopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
SERVICE_STATUS gStatus{SERVICE_WIN32_OWN_PROCESS};

void journal(const char* event) {
    const std::string line = std::string(gName.begin(), gName.end()) + " " + event + "\r\n";  // service names are ASCII
    // FILE_APPEND_DATA makes each write land whole at the end, whoever else appends.
    HANDLE file = CreateFileW(gJournal.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    if (file != INVALID_HANDLE_VALUE) WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr), CloseHandle(file);
}

void report(DWORD state, DWORD waitHintMs = 0) {
    gStatus.dwCurrentState = state;
    gStatus.dwControlsAccepted = state == SERVICE_RUNNING && !gRefuseStop ? SERVICE_ACCEPT_STOP : 0;
    gStatus.dwWaitHint = waitHintMs;
    SetServiceStatus(gStatusHandle, &gStatus);
}

DWORD WINAPI handler(DWORD control, DWORD, void*, void*) {
    if (control == SERVICE_CONTROL_INTERROGATE) return SetServiceStatus(gStatusHandle, &gStatus), NO_ERROR;
    if (control != SERVICE_CONTROL_STOP) return ERROR_CALL_NOT_IMPLEMENTED;
    journal("stop");
    report(SERVICE_STOP_PENDING, 1000);
    return SetEvent(gStopEvent), NO_ERROR;
}

void WINAPI serviceMain(DWORD, wchar_t**) {
    if (!(gStatusHandle = RegisterServiceCtrlHandlerExW(gName.c_str(), handler, nullptr))) return;
    journal("start");
    report(SERVICE_RUNNING);
    WaitForSingleObject(gStopEvent, INFINITE);
    Sleep(50);
    report(SERVICE_STOPPED);
}

}  // namespace

int wmain() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i], value = i + 1 < argc ? argv[i + 1] : L"";
        gRefuseStop = gRefuseStop || arg == L"--refuse-stop";
        if (arg == L"--name") gName = value;
        if (arg == L"--journal") gJournal = value;
    }
    SERVICE_TABLE_ENTRYW table[] = {{gName.data(), serviceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? 0 : static_cast<int>(GetLastError());
}
