// devices and fw update: against the real DLL (no headset in the test bed) and against the demo
// build zol_ecd_api_sim.dll, whose simulated headset runs the library's own device-link code.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "zolctl_process.h"

namespace {

using zol::test::runZolctl;

class ImageFile {
public:
    ImageFile(const char* name, size_t size) : name_(name) {
        std::ofstream file(name, std::ios::binary);
        for (size_t i = 0; i < size; ++i) file.put(static_cast<char>(i * 7));
    }
    ~ImageFile() { DeleteFileA(name_); }

private:
    const char* name_;
};

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        result.push_back(text.substr(start, end - start));
    return result;
}

TEST(ZolctlDevices, SimulatedHeadsetIsListedWithItsInterfacePath) {
    const auto run = runZolctl(L"--json --dll zol_ecd_api_sim.dll devices");
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(run.out.rfind("{\"attached\":1,\"getDeviceCount\":1,\"supported\":[{\"bluetooth\":false,\"vendorId\":\"0a1b\",\"productId\":\"00c2\","
                            "\"interface\":3,\"reportId\":6,\"paths\":[\"\\\\\\\\?\\\\hid#vid_0a1b&pid_00c2&mi_03&col01#",
                            0),
              0u)
        << run.out;
    EXPECT_NE(run.out.find("\"productId\":\"00c3\",\"interface\":3,\"reportId\":6,\"paths\":[]"), std::string::npos);
}

TEST(ZolctlFirmware, NoHeadsetIsExitOneAfterTheSearchOnly) {
    ImageFile image("zolctl_fw_none.bin", 130);
    const auto run = runZolctl(L"fw update zolctl_fw_none.bin");
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(run.err, "zolctl: fw update: no supported headset is attached\n");
    const auto out = lines(run.out);
    ASSERT_EQ(out.size(), 2u) << run.out;
    EXPECT_EQ(out[1].rfind("[0/6] searching for a supported headset", 0), 0u);
}

TEST(ZolctlFirmware, ProgressShowsEveryStageOfASimulatedUpdate) {
    ImageFile image("zolctl_fw_sim.bin", 130);  // two full blocks and a partial one
    const auto run = runZolctl(L"--json --dll zol_ecd_api_sim.dll fw update zolctl_fw_sim.bin");
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    const auto out = lines(run.out);
    std::vector<std::string> stages;
    for (const std::string& line : out) {
        const size_t at = line.find("\"stage\":");
        if (at == std::string::npos) continue;
        std::string stage = line.substr(at + 8, 1);
        const size_t percent = line.find("\"percent\":");
        if (percent != std::string::npos) stage += "@" + line.substr(percent + 10, line.find(',', percent) - percent - 10);
        stages.push_back(stage);
    }
    EXPECT_EQ(stages, (std::vector<std::string>{"0", "1", "2", "3", "4@50", "4@100", "4@100", "5", "6"})) << run.out;
    EXPECT_NE(out.back().find("\"result\":0,\"succeeded\":true,\"outcome\":\"firmware updated, the device reported status 0\""),
              std::string::npos)
        << out.back();
}

TEST(ZolctlFirmware, DeviceStatusOtherThanZeroIsExitOne) {
    ImageFile image("zolctl_fw_bad.bin", 200);
    const auto run = runZolctl(L"--dll zol_ecd_api_sim.dll fw update zolctl_fw_bad.bin --simulated-status 3");
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_NE(run.out.find("SIMULATED headset"), std::string::npos);
    EXPECT_NE(run.out.find("[4/6] sending [##############################] 100 %      200 / 200 bytes"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("[6/6] device reported its status"), std::string::npos);
    EXPECT_EQ(run.err, "zolctl: fw update: the device reported status 3 (update not accepted)\n");
}

}  // namespace
