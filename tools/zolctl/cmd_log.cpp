// log: a live viewer of the debugger channel, for support.
#include <cstdio>

#include "commands.h"
#include "dbwin_channel.h"

namespace zolctl {
namespace {

zol::dbwin::Channel* g_channel = nullptr;

BOOL WINAPI onConsoleControl(DWORD) {
    if (g_channel) g_channel->interrupt();
    return TRUE;
}

std::string clockText() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    char text[32];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u.%03u", t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
    return text;
}

}  // namespace

int runLog(Context& context, Args& args) {
    std::string value;
    long long count = -1, seconds = -1, pid = -1;
    std::string grep;
    if (args.takeOption("--count", value)) count = parseInt(value, "--count", 1, 1000000000, 10);
    if (args.takeOption("--for", value)) seconds = parseInt(value, "--for", 1, 86400, 10);
    if (args.takeOption("--pid", value)) pid = parseInt(value, "--pid", 0, 0xFFFFFFFFLL);
    args.takeOption("--grep", grep);
    if (!args.positionals().empty()) throw CliError(kUsage, "log takes no positional arguments");

    zol::dbwin::Channel channel;
    if (!channel.isOpen()) throw CliError(kFailed, channel.error());
    g_channel = &channel;
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
    std::fprintf(stderr, "zolctl: listening on the debugger channel%s\n", seconds > 0 || count > 0 ? "" : " (Ctrl+C to stop)");
    std::fflush(stderr);

    const ULONGLONG deadline = seconds > 0 ? GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000 : 0;
    long long shown = 0;
    for (;;) {
        DWORD wait = INFINITE;
        if (deadline) {
            const ULONGLONG now = GetTickCount64();
            if (now >= deadline) break;
            wait = static_cast<DWORD>(deadline - now);
        }
        zol::dbwin::Message message;
        const auto result = channel.next(message, wait);
        if (result == zol::dbwin::Channel::Wait::interrupted) break;
        if (result == zol::dbwin::Channel::Wait::timeout) continue;
        if (pid >= 0 && message.pid != static_cast<DWORD>(pid)) continue;
        if (!grep.empty() && message.text.find(grep) == std::string::npos) continue;
        while (!message.text.empty() && (message.text.back() == '\n' || message.text.back() == '\r')) message.text.pop_back();
        // The channel carries the system's ANSI code page; show it as UTF-8.
        std::wstring wide(message.text.size() + 1, L'\0');
        wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, message.text.data(), static_cast<int>(message.text.size()),
                                                            wide.data(), static_cast<int>(wide.size()))));
        const std::string time = clockText();
        if (context.json)
            outJson(Json::object().set("time", time).set("pid", static_cast<unsigned long>(message.pid)).set("text", wide));
        else
            out(time + "  " + std::to_string(message.pid) + "  " + narrow(wide) + "\n");
        if (count > 0 && ++shown >= count) break;
    }
    SetConsoleCtrlHandler(onConsoleControl, FALSE);
    g_channel = nullptr;
    return kOk;
}

}  // namespace zolctl
