// fw update IMAGE: the firmware update with a progress bar.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "commands.h"

namespace zolctl {
namespace {

const char* const kStageNames[] = {
    "searching for a supported headset", "headset found", "update channels open", "device accepted the update",
    "sending the image", "waiting for the device's status", "device reported its status",
};
constexpr int kStageCount = 7;
constexpr int kBlock = 63;  // image bytes per data packet

struct Progress {
    bool json = false;
    bool console = false;
    int imageLength = 0;
    ULONGLONG start = 0, sendStart = 0;
    int lastStage = -1, lastPercent = -1, lastPrinted = -1;
    bool barOpen = false;
    std::vector<int> stagesSeen;

    double seconds() const { return (GetTickCount64() - start) / 1000.0; }

    void closeBar() {
        if (barOpen) out("\n");
        barOpen = false;
    }

    void stage(int value, int stage) {
        if (stage < 0 || stage >= kStageCount) return;
        stagesSeen.push_back(stage);
        if (stage == 4) return percent(value);
        if (json) {
            outJson(Json::object().set("stage", stage).set("name", kStageNames[stage]).set("value", value).set("seconds", seconds()));
            return;
        }
        closeBar();
        char line[160];
        std::string detail;
        if (stage == 6) detail = "  status " + std::to_string(value);
        std::snprintf(line, sizeof line, "[%d/6] %-34s %6.2f s%s\n", stage, kStageNames[stage], seconds(),
                      detail.c_str());
        out(line);
        if (stage == 3) sendStart = GetTickCount64();
        lastStage = stage;
    }

    void percent(int value) {
        lastStage = 4;
        lastPercent = value;
        const int fullBlocks = imageLength / kBlock;
        const double sent = value >= 100 ? imageLength : double(value) / 100.0 * fullBlocks * kBlock;
        const double elapsed = (GetTickCount64() - (sendStart ? sendStart : start)) / 1000.0;
        const double rate = elapsed > 0 ? sent / elapsed : 0;
        if (json) {
            outJson(Json::object().set("stage", 4).set("name", kStageNames[4]).set("percent", value).set("bytes", sent).set(
                "bytesPerSecond", rate));
            return;
        }
        // On a console the bar redraws in place; into a pipe or file one line per 10 %.
        if (!console && value / 10 == lastPrinted / 10 && value != 100) return;
        if (!console && value == lastPrinted) return;
        lastPrinted = value;
        const int width = 30, filled = value * width / 100;
        char line[200];
        std::snprintf(line, sizeof line, "%s[4/6] sending [%s%s] %3d %%  %7.0f / %d bytes  %6.1f KiB/s%s",
                      console ? "\r" : "", std::string(static_cast<size_t>(filled), '#').c_str(),
                      std::string(static_cast<size_t>(width - filled), '.').c_str(), value, sent, imageLength, rate / 1024,
                      console ? "" : "\n");
        out(line);
        barOpen = console;
    }
};

void __cdecl onProgress(void* context, int value, int stage) { static_cast<Progress*>(context)->stage(value, stage); }

bool saw(const Progress& p, int stage) {
    for (int s : p.stagesSeen)
        if (s == stage) return true;
    return false;
}

// A time-out is told apart only by the last stage the update reached.
std::string timeOutOutcome(const Progress& p) {
    switch (p.lastStage) {
    case 2: return "time-out: the device did not accept the start of the update (or was unplugged)";
    case 3: return "time-out: the device stopped answering (or was unplugged) before the first block";
    case 4:
        return p.lastPercent >= 100
                   ? "time-out: the device stopped answering (or was unplugged) before the last partial block"
                   : "time-out: the device stopped answering (or was unplugged) after " +
                         std::to_string(p.lastPercent) + " % of the image";
    case 5: return "time-out: the whole image was sent, but the device never reported its status";
    default: return "time-out: the device stopped answering";
    }
}

}  // namespace

int runFwUpdate(Context& context, Args& args) {
    std::string value;
    int startParameter = 0;
    if (args.takeOption("--start-parameter", value)) startParameter = parseInt(value, "--start-parameter", 0, 255);
    int simulatedStatus = 0;
    if (args.takeOption("--simulated-status", value)) simulatedStatus = parseInt(value, "--simulated-status", 0, 255);
    const std::vector<std::string> words = args.positionals();
    if (words.size() != 1) throw CliError(kUsage, "fw update needs exactly one IMAGE file");
    std::ifstream file(widen(words[0]).c_str(), std::ios::binary);
    if (!file) throw CliError(kUsage, "cannot read the image file " + words[0]);
    std::vector<char> image((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (image.empty()) throw CliError(kUsage, "the image file " + words[0] + " is empty");
    if (image.size() > 0x7FFFFFFF) throw CliError(kUsage, "the image file " + words[0] + " is too large");

    auto update = context.library().get<exports::UpdateFw>(exports::kUpdateFwName);
    Progress progress;
    progress.json = context.json;
    DWORD mode;
    progress.console = GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
    progress.imageLength = static_cast<int>(image.size());
    progress.start = GetTickCount64();
    if (!context.json) out("Updating firmware from " + words[0] + " (" + std::to_string(image.size()) + " bytes)\n");
    // The demo build of the library (zol_ecd_api_sim.dll) carries a simulated headset that must
    // be told what image to expect; the real library has no such export.
    using PrepareSimulation = int(__cdecl*)(int imageLength, int paced, int finalStatus);
    if (context.library().has("zolsim_prepare_firmware_update")) {
        context.library().get<PrepareSimulation>("zolsim_prepare_firmware_update")(progress.imageLength, 1, simulatedStatus);
        if (!context.json) out("SIMULATED headset (zol_ecd_api_sim.dll): it paces every block and will report status " +
                               std::to_string(simulatedStatus) + "\n");
    }
    const int result = update(reinterpret_cast<void*>(&onProgress), &progress, image.data(), progress.imageLength, startParameter);
    progress.closeBar();

    std::string outcome;
    int exitCode = kFailed;
    if (saw(progress, 6) && result >= 0) {
        outcome = result == 0 ? "firmware updated, the device reported status 0"
                              : "the device reported status " + std::to_string(result) + " (update not accepted)";
        exitCode = result == 0 ? kOk : kFailed;
    } else if (result == ZOL_FW_NO_DEVICE) {
        outcome = "no supported headset is attached";
    } else if (result == ZOL_FW_CHANNEL_NOT_OPENED) {
        outcome = "the headset's update channels cannot be opened";
    } else if (result == ZOL_FW_DEVICE_SILENT) {
        outcome = timeOutOutcome(progress);
    } else if (result == ZOL_FW_BAD_IMAGE) {
        outcome = "the library refused the image";
    } else {
        outcome = "the update ended with result " + std::to_string(result);
    }
    if (context.json)
        outJson(Json::object().set("result", result).set("succeeded", exitCode == kOk).set("outcome", outcome).set(
            "seconds", progress.seconds()));
    else if (exitCode == kOk)
        out(outcome + "\n");
    if (exitCode != kOk) throw CliError(exitCode, "fw update: " + outcome);
    return kOk;
}

}  // namespace zolctl
