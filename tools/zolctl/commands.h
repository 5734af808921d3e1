// The command table and what every command gets: the parsed global options and the library.
#pragma once

#include <memory>
#include <string>

#include "cli.h"
#include "library.h"

namespace zolctl {

class Context {
public:
    bool json = false;
    std::wstring dll = L"zol_ecd_api.dll";

    // Loaded on first use, so --help and usage errors never need the DLL.
    Library& library() {
        if (!library_) library_ = std::make_unique<Library>(dll);
        return *library_;
    }

private:
    std::unique_ptr<Library> library_;
};

using Handler = int (*)(Context&, Args&);

struct Command {
    const char* words;    // "eq set"
    const char* synopsis; // arguments after the words
    const char* summary;  // one line for the overview
    const char* details;  // the rest of --help
    Handler run;
};

int runStatus(Context&, Args&);
int runInstall(Context&, Args&);
int runUninstall(Context&, Args&);
int runEqShow(Context&, Args&);
int runEqSet(Context&, Args&);
int runEqReset(Context&, Args&);
int runEqPlot(Context&, Args&);
int runVolume(Context&, Args&);
int runDevices(Context&, Args&);
int runMute(Context&, Args&);
int runFwUpdate(Context&, Args&);
int runLog(Context&, Args&);

// Why hidapi cannot list devices in this process, or "" when it can.
std::string hidUnavailable(Library& library);

// Writes text to standard output as UTF-8, flushed (the console and pipes alike).
void out(const std::string& text);
void outJson(const Json& value);

}  // namespace zolctl
