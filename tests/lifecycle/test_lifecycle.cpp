// The product's lifecycle as a host drives it: a supported headset's endpoints, the stand-in
// "AudioSrv" and effect library, the shipped device table, the simulated headset bus for the count.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "zol_ecd_api.h"

#include "apo_install/apo_info.h"
#include "apo_install/fx_properties.h"
#include "common/product_key.h"
#include "common/unique_handle.h"
#include "host_utils/host_path.h"
#include "simulated_headset.h"
#include "support/endpoint_fixture.h"
#include "support/message_box.h"
#include "support/scratch_directory.h"
#include "support/scratch_key.h"
#include "support/test_paths.h"
#include "support/standin_services.h"

namespace {

namespace apo = zol::apo_install;
namespace test = zol::test;
using zol::common::kProductKey;
using Lines = std::vector<std::string>;
using Snapshot = std::map<std::wstring, test::StoredValue>;

const std::wstring kHeadsetId = L"{1}.USB\\VID_0A1B&PID_00C2&MI_00\\7&2F1B3C4D&0&0000";  // the kit's first headset
const std::wstring kOtherEffect = L"{62DC1A93-AE24-464C-A43E-452F824C4250}", kFormerEffect = L"{5E3C1B0A-7A41-4C8B-9D2E-6F1A0B3C4D5E}";
const wchar_t* const kProductValues[] = {L"{F5530E75-A2A5-43E8-B9DF-1A1E225B5D1A}", L"{6F8E9E8B-C370-48D3-A20E-D1CA1D61BB3C}",
                                         L"{983E6A3C-E1AE-49BD-9E50-8FCB108C3F8D}", L"InstallPath"};
const std::wstring kChildStore = std::wstring(kProductKey) + L"\\Child APOs";
// What removal leaves on purpose: processing modes and the enabled system-effects switch in an
// "FxProperties" that existed before, and a capture endpoint's interface path.
const wchar_t* const kLeftovers[] = {L"\\FxProperties\\{d3993a3f-99c2-4402-b5ec-a92a0367664b},5", L"\\FxProperties\\{d3993a3f-99c2-4402-b5ec-a92a0367664b},7",
                                     L"\\FxProperties\\{1da5d803-d492-4edd-8c23-e0c0ffee7f0e},5", L"\\Properties\\{9c119480-ddc2-4954-a150-5bd240d454ad},1"};

int productValues() { return static_cast<int>(std::count_if(std::begin(kProductValues), std::end(kProductValues),
                                                            [](const wchar_t* name) { return test::storedValue(kProductKey, name).has_value(); })); }

TEST(DeviceCount, SumsTheTransferInterfacesOfEveryTableDevice) {
    zol::sim::detachAll();
    EXPECT_EQ(getDeviceCount(), 0);
    // Two table devices' transfer interfaces (3, report id 6); not another interface, report id or product.
    std::vector<std::shared_ptr<zol::sim::Collection>> attached;
    for (const auto& [product, intf, col, id] : {std::tuple{0x00C2, 3, 1, 6}, {0x00C2, 0, 1, 6}, {0x00C2, 3, 2, 7}, {0x00D2, 3, 1, 6}, {0x00E0, 3, 1, 6}})
        attached.push_back(zol::sim::attach({zol::sim::devicePath(0x0A1B, product, intf, col), 0x0A1B, std::uint16_t(product),
                                             {{zol::sim::CapsKind::inputValue, std::uint8_t(id)}, {zol::sim::CapsKind::outputValue, std::uint8_t(id)}}}));
    EXPECT_EQ(getDeviceCount(), 2);
    EXPECT_EQ(zol::sim::openDevices(), 0);
    zol::sim::detachAll();
}

class Lifecycle : public ::testing::Test {
public:
    void SetUp() override {
        TearDown(), test::rawDeleteValue(kProductKey, L"EnableAllDev");
        audio.start(), journal.clear(), seed();
    }
    void TearDown() override {
        for (const wchar_t* name : kProductValues) test::rawDeleteValue(kProductKey, name);
        test::rawDeleteTree(kChildStore);
        test::removeEffectClasses();
    }
    // The headset (render with former effects, capture without FxProperties) and a foreign endpoint.
    void seed() {
        for (const test::TestEndpoint* e : endpoints) test::rawDeleteTree(e->fx()), test::rawDeleteTree(e->properties());
        render.describe(L"ZolSound Headset", L"Speakers", kHeadsetId).fxValue(apo::kFxSlotValueNames[0], kOtherEffect);
        render.fxValue(apo::kFxSlotValueNames[1], L"{2FE1A8F7-1F7D-4B53-9A1C-3F0E3D7B7E21}").fxValue(apo::kFxSlotValueNames[2], kFormerEffect);
        capture.describe(L"ZolSound Headset", L"Microphone", kHeadsetId);
        unrelated.describe(L"Other", L"Speakers", L"{1}.USB\\VID_046D&PID_0A44&MI_00\\7&11AA22BB").fxValue(apo::kFxSlotValueNames[2], kOtherEffect);
    }
    std::vector<Snapshot> snapshots() const {
        std::vector<Snapshot> all;
        for (const test::TestEndpoint* e : endpoints) all.push_back(test::storedTree(e->key()));
        return all;
    }
    // Every endpoint as before but for the leftovers, no class registered, no store.
    bool asBefore(const std::vector<Snapshot>& before) const {
        std::vector<Snapshot> now = snapshots();
        for (std::size_t i = 0; i < now.size(); ++i)
            for (const wchar_t* name : kLeftovers) now[i].erase(before[i].count(name) ? L"" : name);
        return now == before && !test::effectClassRegistered() && !test::rawKeyExists(kChildStore);
    }

    test::ProductKeyGuard productKey;
    test::ScratchDirectory workingDirectory{L"zol-install", true};  // backup files land here
    test::EventJournal journal;
    test::StandInService audio{{L"AudioSrv", {}, journal.path()}};
    test::TestEndpoint render{false}, capture{true}, unrelated{false};
    const test::TestEndpoint* endpoints[3] = {&render, &capture, &unrelated};
};

TEST_F(Lifecycle, InstallAndRemovalRoundTrip) {
    const std::vector<Snapshot> before = snapshots();
    EXPECT_EQ(init(), 0);
    EXPECT_TRUE(test::installedOn(render.id()) && test::installedOn(capture.id()) && !test::installedOn(unrelated.id()));
    EXPECT_EQ(journal.lines(), (Lines{"ZolSoundAPO DllRegisterServer", "AudioSrv stop", "AudioSrv start"}));
    EXPECT_EQ(test::storedText(kProductKey, L"InstallPath"), zol::host_utils::hostExecutableDirectory());
    EXPECT_EQ(productValues(), 4);
    EXPECT_NE(workingDirectory.read(L"backup_Speakers_ZolSound Headset.reg").find(test::narrow(kFormerEffect)), std::string::npos);  // not the kit's

    // Again: nothing to change, and the user's settings are kept.
    const std::vector<Snapshot> installed = snapshots();
    DeviceInfo info;
    ASSERT_EQ(getDeviceInfo(0, &info), 1);
    info.eqGains.gains[0] = -4;
    ASSERT_EQ(setDeviceProperty(&info, 3, reinterpret_cast<const unsigned char*>(&info.eqGains)), 1);
    releaseDeviceInfo(&info);
    const auto settings = test::storedValue(kProductKey, kProductValues[2]);
    journal.clear();
    EXPECT_EQ(init(), 0);
    EXPECT_EQ(test::storedValue(kProductKey, kProductValues[2]), settings) << "init wrote the settings again";

    // Nothing is removed while the effect library refuses to be unregistered.
    EXPECT_EQ((test::EffectLibraryFailure(L"unregister"), unInit()), ZOL_EFFECT_LIBRARY_NOT_UNREGISTERED);
    EXPECT_EQ(journal.lines(), (Lines{"ZolSoundAPO DllUnregisterServer"})) << "restarted, or registered again";
    EXPECT_EQ(snapshots(), installed);
    EXPECT_EQ(productValues(), 4);

    const std::wstring engine = workingDirectory.path() + L"\\audiodg.exe";  // holds the effect library: removal ends it first
    ASSERT_TRUE(CopyFileW(test::besideThisProgram(L"process_probe.exe").c_str(), engine.c_str(), FALSE));
    SetEnvironmentVariableW(L"ZOL_PROBE_LINGER_MS", L"20000");
    STARTUPINFOW startup{sizeof startup};
    PROCESS_INFORMATION started{};
    ASSERT_TRUE(CreateProcessW(engine.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started));
    const zol::common::unique_kernel_handle engineProcess(started.hProcess), engineThread(started.hThread);
    SetEnvironmentVariableW(L"ZOL_PROBE_LINGER_MS", nullptr);
    test::rawDeleteValue(kProductKey, kProductValues[1]);  // whatever values are left go
    journal.clear();
    EXPECT_EQ(unInit(), 1);
    EXPECT_EQ(WaitForSingleObject(engineProcess.get(), 0), WAIT_OBJECT_0) << "the audio engine still runs";
    EXPECT_EQ(journal.lines(), (Lines{"ZolSoundAPO DllUnregisterServer", "AudioSrv stop", "AudioSrv start", "ZolSoundAPO DllUnregisterServer"}));
    EXPECT_TRUE(asBefore(before));
    EXPECT_EQ(snapshots()[0].size(), before[0].size() + 3);  // the leftovers are all that differ
    EXPECT_EQ(productValues(), 0);
    EXPECT_TRUE(test::rawKeyExists(kProductKey));

    // Nothing left to change, but an endpoint of the previous system names the effect: registered again.
    test::rawDeleteTree(render.key()), test::rawDeleteTree(capture.key());
    test::TestEndpoint old(false, true);
    EXPECT_EQ((old.describe(L"D", L"N", L"H").fxValue(apo::kFxSlotValueNames[2], test::classes::kStreamText), init()), 0);
    EXPECT_TRUE(test::effectClassRegistered());
}

// "EnableAllDev" is "true": every endpoint gets the effect, and nothing is registered.
TEST_F(Lifecycle, AllEndpointsModeInstallsOnEveryEndpoint) {
    test::rawSetText(kProductKey, L"EnableAllDev", L"true");
    EXPECT_EQ(init(), 0);
    EXPECT_TRUE(test::installedOn(unrelated.id()) && test::installedOn(render.id()));
    EXPECT_FALSE(test::effectClassRegistered());
}

// A store entry of an earlier version names no slot: an "FxProperties" that holds our display name
// beside effects of its own is still the user's, so recovery keeps it and install saves its effects.
TEST_F(Lifecycle, RecoveryKeepsAnFxPropertiesWithEffectsOfItsOwn) {
    test::rawSetText(render.fx(), zol::apo_install::kFxItemNameDisplay, zol::apo_install::kFxItemNameDisplayText);
    test::rawCreateKey(apo::childApoStoreKeyPath(render.id()));
    EXPECT_EQ(init(), 0);
    EXPECT_EQ(test::storedText(apo::childApoStoreKeyPath(render.id()), apo::kFxSlotValueNames[0]), kOtherEffect);
}

// Each pass killed after each of its registry changes (a child process over the test-only DLL), then
// the passes a user would run next. Its own CTest entry: it takes minutes.
class LifecycleCrashes : public Lifecycle {
public:
    static constexpr DWORD kKilled = 0xDEAD, kHung = 0xBAD;
    // 100 + the result, kKilled, or kHung. A message box (a failed audio service restart) is
    // answered as a user would; it and a child that stops answering are noted in `disturbed`.
    DWORD run(const wchar_t* exportName, long faultAt = 0) {
        std::wstring command = L"zol_fault_host.exe " + std::wstring(exportName);
        SetEnvironmentVariableW(L"ZOL_FAULT_AT", faultAt > 0 ? std::to_wstring(faultAt).c_str() : nullptr);
        STARTUPINFOW startup{sizeof startup};
        PROCESS_INFORMATION child{};
        DWORD code = ~DWORD{0};
        if (CreateProcessW(test::besideThisProgram(L"zol_fault_host.exe").c_str(), command.data(), nullptr, nullptr,
                           FALSE, 0, nullptr, workingDirectory.path().c_str(), &startup, &child)) {
            const zol::common::unique_kernel_handle process(child.hProcess), thread(child.hThread);
            test::MessageBoxPresser presser(60000, child.dwProcessId);
            // Ended, not left behind: a running child holds CTest's output open to the time limit.
            if (WaitForSingleObject(process.get(), 60000) != WAIT_OBJECT_0) {
                disturbed += test::narrow(exportName) + " hung: " + backtrace(child.dwProcessId) + "\n";
                TerminateProcess(process.get(), kHung);
                WaitForSingleObject(process.get(), 5000);
            }
            GetExitCodeProcess(process.get(), &code);
            if (const auto box = presser.stop()) disturbed += test::narrow(exportName) + " showed: " + test::narrow(box->text) + "\n";
        }
        SetEnvironmentVariableW(L"ZOL_FAULT_AT", nullptr);
        return code;
    }
    // Each thread of a process as Wine's debugger sees it.
    std::string backtrace(DWORD pid) {
        std::wstring command = L"cmd.exe /c winedbg.exe --command \"bt all\" >backtrace.txt 2>&1";
        STARTUPINFOW startup{sizeof startup};
        PROCESS_INFORMATION debugger{};
        if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, workingDirectory.path().c_str(), &startup, &debugger))
            return "(no debugger)";
        const zol::common::unique_kernel_handle process(debugger.hProcess), thread(debugger.hThread);
        if (WaitForSingleObject(process.get(), 30000) != WAIT_OBJECT_0) TerminateProcess(process.get(), 1);
        char header[32];
        std::snprintf(header, sizeof header, " in process %04lx ", pid);
        std::istringstream text(workingDirectory.read(L"backtrace.txt"));
        std::string frames, line;
        for (bool ours = false; std::getline(text, line);) {
            if (line.rfind("Backtracing for", 0) == 0) ours = line.find(header) != std::string::npos;
            if (ours) frames += "\n  " + line.substr(0, 200);
        }
        return frames.empty() ? "(no frames)" : frames;
    }
    // The pass killed at change k, then unInit, init, unInit; `killed` false: it ran to its end.
    struct Attempt { bool killed, ok; std::string report; };
    Attempt killAt(bool removal, long k) {
        TearDown();
        seed();
        const std::vector<Snapshot> before = snapshots();
        if (removal && run(L"init") != 100) return {true, false, "install before removal failed"};
        if (const DWORD code = run(removal ? L"unInit" : L"init", k); code != kKilled)
            return {false, code == (removal ? 101u : 100u), "the pass ran to its end with " + std::to_string(code)};
        const DWORD next = run(L"unInit");
        const bool removed = next == 101 && asBefore(before);
        const DWORD install = removal ? 100 : run(L"init"), again = removal ? 101 : run(L"unInit");
        return {true, removed && install == 100 && again == 101 && asBefore(before),
                (removal ? "removal killed at change " : "install killed at change ") + std::to_string(k) + ": unInit " + std::to_string(next) +
                    (removed ? "" : " (endpoints not restored)") + ", init " + std::to_string(install) + ", unInit " + std::to_string(again)};
    }
    std::pair<long, long> killEachChange(bool removal) {  // changes, recovered
        long changes = 0, recovered = 0;
        for (long k = 1; k <= 400; ++k) {
            disturbed.clear();
            Attempt attempt = killAt(removal, k);
            // A Wine process that stopped answering, or a service restart refused, is not what
            // is tested here: that change is tried once more from the start, and reported.
            if (!disturbed.empty()) {
                repeated += attempt.report + ":\n" + disturbed;
                disturbed.clear();
                attempt = killAt(removal, k);
            }
            const bool ok = attempt.ok && disturbed.empty();
            EXPECT_TRUE(ok) << attempt.report << "\n" << disturbed;
            if (!attempt.killed) break;
            ++changes, recovered += ok;
        }
        return {changes, recovered};
    }
    std::string disturbed, repeated;
};

TEST_F(LifecycleCrashes, EveryChangeOfBothPassesIsRecovered) {
    const auto [installChanges, installRecovered] = killEachChange(false);
    const auto [removalChanges, removalRecovered] = killEachChange(true);
    EXPECT_GT(installChanges, 10);
    EXPECT_GT(removalChanges, 5);
    std::printf("install: %ld/%ld recovered, removal: %ld/%ld recovered\n", installRecovered, installChanges, removalRecovered, removalChanges);
    if (!repeated.empty()) std::printf("tried again after a disturbance:\n%s", repeated.c_str());
}

}  // namespace
