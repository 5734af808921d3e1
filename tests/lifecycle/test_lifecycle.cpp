// The product's lifecycle as a host drives it, on the test prefix: endpoints of a supported
// headset seeded in the MMDevices tree, the stand-in "AudioSrv" and the stand-in effect library
// beside this program, the shipped supported-device table.
#include <windows.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "zol_ecd_api.h"

#include "apo_install/apo_info.h"
#include "apo_install/endpoint_catalogue.h"
#include "apo_install/fx_properties.h"
#include "support/endpoint_fixture.h"
#include "support/install_fixture.h"
#include "common/product_key.h"
#include "host_utils/host_path.h"
#include "support/debug_channel.h"
#include "support/scratch_directory.h"
#include "support/scratch_key.h"
#include "support/standin_effect_library.h"
#include "support/standin_services.h"

namespace {

using zol::test::storedValue;
using zol::test::TestEndpoint;
using Lines = std::vector<std::string>;
using Snapshot = std::map<std::wstring, zol::test::StoredValue>;

// What Windows writes for the endpoints of the kit's first headset (vendor 0x0A1B, product 0x00C2).
const std::wstring kHeadsetHardwareId = L"{1}.USB\\VID_0A1B&PID_00C2&MI_00\\7&2F1B3C4D&0&0000";
const std::wstring kOtherEffect = L"{62DC1A93-AE24-464C-A43E-452F824C4250}";
const std::wstring kFormerStreamEffect = L"{5E3C1B0A-7A41-4C8B-9D2E-6F1A0B3C4D5E}";
const wchar_t* const kSettingsValues[] = {L"{F5530E75-A2A5-43E8-B9DF-1A1E225B5D1A}",
                                         L"{6F8E9E8B-C370-48D3-A20E-D1CA1D61BB3C}",
                                         L"{983E6A3C-E1AE-49BD-9E50-8FCB108C3F8D}"};

Snapshot snapshot(const TestEndpoint& endpoint) { return zol::test::storedTree(endpoint.key()); }

// What removal leaves on purpose: the processing-mode values and the enabled system-effects
// switch in an "FxProperties" that existed before, and a capture endpoint's interface path.
const std::wstring kDeliberateLeftovers[] = {
    L"\\FxProperties\\{d3993a3f-99c2-4402-b5ec-a92a0367664b},5",
    L"\\FxProperties\\{d3993a3f-99c2-4402-b5ec-a92a0367664b},7",
    L"\\FxProperties\\{1da5d803-d492-4edd-8c23-e0c0ffee7f0e},5",
    L"\\Properties\\{9c119480-ddc2-4954-a150-5bd240d454ad},1",
};

// The snapshot less the leftovers, which must be all that changed.
Snapshot restoredPart(Snapshot after, const Snapshot& before) {
    for (const std::wstring& name : kDeliberateLeftovers)
        if (!before.count(name)) after.erase(name);
    return after;
}

bool installedOn(const TestEndpoint& endpoint) { return zol::test::installedOn(endpoint.id()); }

bool productValue(const wchar_t* name) { return storedValue(zol::common::kProductKey, name).has_value(); }

// An export's result, or INT_MIN when it raised.
int outcome(int (*call)()) {
    try {
        return call();
    } catch (...) {
        return INT_MIN;
    }
}

class Lifecycle : public ::testing::Test {
public:
    void SetUp() override {
        zol::test::removeEffectClasses();
        for (const wchar_t* name : kSettingsValues) deleteProductValue(name);
        deleteProductValue(L"InstallPath");
        deleteProductValue(L"EnableAllDev");
        audio.start();
        journal.clear();
        seed();
    }
    // The headset (render with former effects, capture without FxProperties) and a foreign endpoint.
    void seed() {
        for (const TestEndpoint* endpoint : {&render, &capture, &unrelated}) {
            zol::test::rawDeleteTree(endpoint->fx());
            zol::test::rawDeleteTree(endpoint->properties());
        }
        render.describe(L"ZolSound Headset", L"Speakers", kHeadsetHardwareId)
            .fxValue(zol::apo_install::kFxSlotValueNames[0], kOtherEffect)
            .fxValue(zol::apo_install::kFxSlotValueNames[1], L"{2FE1A8F7-1F7D-4B53-9A1C-3F0E3D7B7E21}")
            .fxValue(zol::apo_install::kFxSlotValueNames[2], kFormerStreamEffect);
        capture.describe(L"ZolSound Headset", L"Microphone", kHeadsetHardwareId);
        unrelated.describe(L"Other Speakers", L"Speakers", L"{1}.USB\\VID_046D&PID_0A44&MI_00\\7&11AA22BB&0&0000")
            .fxValue(zol::apo_install::kFxSlotValueNames[2], kOtherEffect);
    }
    void TearDown() override {
        for (const wchar_t* name : kSettingsValues) deleteProductValue(name);
        deleteProductValue(L"InstallPath");
        zol::test::rawDeleteTree(std::wstring(zol::common::kProductKey) + L"\\Child APOs");
        zol::test::removeEffectClasses();
    }
    static void deleteProductValue(const wchar_t* name) { zol::test::rawDeleteValue(zol::common::kProductKey, name); }

    zol::test::ProductKeyGuard productKey;
    zol::test::ScratchDirectory workingDirectory{L"zol-install", true};  // backup files land here
    zol::test::EventJournal journal;
    zol::test::StandInService audio{{L"AudioSrv", {}, journal.path()}};
    TestEndpoint render{false};
    TestEndpoint capture{true};
    TestEndpoint unrelated{false};
    zol::test::DebugChannelListener channel;
};

TEST_F(Lifecycle, InstallUseAndRemovalLeaveTheEndpointsAsTheyWere) {
    const Snapshot renderBefore = snapshot(render);
    const Snapshot captureBefore = snapshot(capture);
    const Snapshot unrelatedBefore = snapshot(unrelated);

    EXPECT_EQ(init(), 0);
    EXPECT_TRUE(installedOn(render));
    EXPECT_TRUE(installedOn(capture));
    EXPECT_FALSE(installedOn(unrelated));
    EXPECT_EQ(journal.lines(), (Lines{"ZolSoundAPO DllRegisterServer", "AudioSrv stop", "AudioSrv start"}));
    EXPECT_TRUE(zol::test::streamEffectClassRegistered());
    EXPECT_EQ(zol::test::storedText(zol::common::kProductKey, L"InstallPath"), zol::host_utils::hostExecutableDirectory());
    for (const wchar_t* name : kSettingsValues) EXPECT_TRUE(productValue(name)) << zol::test::narrow(name);
    // Taken before the slots change: the user's former stream effect, not the kit's.
    EXPECT_NE(workingDirectory.read(L"backup_Speakers_ZolSound Headset.reg").find(zol::test::narrow(kFormerStreamEffect)),
              std::string::npos);

    EXPECT_EQ(getDeviceCount(), 0);  // no headset on the simulated bus

    DeviceInfo info;
    std::memset(&info, 0xCD, sizeof info);
    ASSERT_EQ(getDeviceInfo(0, &info), 1);
    EqGainBlock gains = info.eqGains;
    gains.gains[5] = 6;
    EXPECT_EQ(setDeviceProperty(&info, 3, reinterpret_cast<const unsigned char*>(&gains)), 1);
    const auto seen = zol::test::settingsSeenByEffectLibrary(4 + sizeof(ControlBlock) + sizeof(EffectBlock));
    ASSERT_TRUE(seen.has_value()) << "the effect library could not read the settings section";
    ASSERT_GE(seen->size(), sizeof(ControlBlock) + sizeof(EffectBlock));
    EXPECT_EQ(std::memcmp(seen->data() + sizeof(ControlBlock), &info.effect, sizeof(EffectBlock)), 0);
    EXPECT_EQ(releaseDeviceInfo(&info), 1);

    // A running audio engine holds the effect library: removal must end it first.
    const std::wstring engine = workingDirectory.path() + L"\\audiodg.exe";
    ASSERT_TRUE(CopyFileW((zol::host_utils::hostExecutableDirectory() + L"\\process_probe.exe").c_str(), engine.c_str(), FALSE));
    SetEnvironmentVariableW(L"ZOL_PROBE_LINGER_MS", L"20000");
    STARTUPINFOW startup{sizeof startup};
    PROCESS_INFORMATION started{};
    ASSERT_TRUE(CreateProcessW(engine.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started));
    SetEnvironmentVariableW(L"ZOL_PROBE_LINGER_MS", nullptr);
    CloseHandle(started.hThread);
    journal.clear();
    channel.clear();
    EXPECT_EQ(unInit(), 1);
    EXPECT_EQ(WaitForSingleObject(started.hProcess, 0), WAIT_OBJECT_0) << "the audio engine still runs";
    CloseHandle(started.hProcess);
    EXPECT_EQ(journal.lines(), (Lines{"ZolSoundAPO DllUnregisterServer", "AudioSrv stop", "AudioSrv start",
                                      "ZolSoundAPO DllUnregisterServer"}));
    const Lines lines = channel.ownLines();
    const Lines announced = {"[brisol]:unInit", "[brisol]:kill audiodg.exe", "[brisol]:regsvr uninstall APO",
                             "[brisol]:exec uninstall drv"};
    auto at = lines.begin();
    for (const std::string& expected : announced) {
        at = std::find(at, lines.end(), expected);
        EXPECT_NE(at, lines.end()) << "missing or out of order: " << expected;
    }

    // Every effect registration is back; the render endpoint's "FxProperties" existed before and
    // keeps the processing modes and the system-effects switch, the capture endpoint's was created
    // by the installation and is gone, its interface path stays.
    const Snapshot renderAfter = snapshot(render);
    const Snapshot captureAfter = snapshot(capture);
    EXPECT_EQ(restoredPart(renderAfter, renderBefore), renderBefore);
    EXPECT_EQ(restoredPart(captureAfter, captureBefore), captureBefore);
    EXPECT_EQ(renderAfter.size(), renderBefore.size() + 3);
    EXPECT_EQ(captureAfter.size(), captureBefore.size() + 1);
    EXPECT_EQ(snapshot(unrelated), unrelatedBefore);
    EXPECT_FALSE(zol::test::streamEffectClassRegistered());
    EXPECT_FALSE(zol::test::rawKeyExists(std::wstring(zol::common::kProductKey) + L"\\Child APOs"));
    for (const wchar_t* name : kSettingsValues) EXPECT_FALSE(productValue(name));
    EXPECT_FALSE(productValue(L"InstallPath"));
    EXPECT_TRUE(zol::test::rawKeyExists(zol::common::kProductKey));
}

// Odd data and passes that died: each row arranges what the user had (before the snapshot),
// optionally leaves what a dead pass would have left, checks what it must between init and
// unInit; afterwards every endpoint is as it was and no kit class is registered.
struct Mishap {
    const char* name;
    void (*arrange)(Lifecycle&);
    void (*interrupt)(Lifecycle&);
    void (*afterInit)(Lifecycle&);
};

void PrintTo(const Mishap& row, std::ostream* out) { *out << row.name; }

class LifecycleMishaps : public Lifecycle, public ::testing::WithParamInterface<Mishap> {};

namespace fx = zol::apo_install;
const Mishap kMishaps[] = {
    {"ForeignEndpointWithNumericHardwareId",
     [](Lifecycle& l) { l.unrelated.dwordProperty(fx::property::kHardwareId, 7); }, nullptr,
     [](Lifecycle& l) {
         EXPECT_TRUE(installedOn(l.render) && installedOn(l.capture));
         EXPECT_TRUE(productValue(L"InstallPath"));
     }},
    {"RenderSlotOfAnotherType",
     [](Lifecycle& l) {
         const std::wstring text = L"%SystemRoot%\\fx.dll";
         zol::test::rawSetValue(l.render.fx(), fx::kFxSlotValueNames[3], REG_EXPAND_SZ, text.c_str(),
                                static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
     },
     nullptr,
     [](Lifecycle& l) {
         EXPECT_TRUE(installedOn(l.capture));
         EXPECT_TRUE(zol::test::streamEffectClassRegistered());
     }},
    {"NumericEnableAllDev", nullptr, nullptr,
     [](Lifecycle& l) {
         const DWORD on = 1;
         zol::test::rawSetValue(zol::common::kProductKey, L"EnableAllDev", REG_DWORD, &on, sizeof on);
         EXPECT_EQ(outcome(unInit), INT_MIN);
         EXPECT_TRUE(zol::test::streamEffectClassRegistered()) << "unregistered although removal raised";
         EXPECT_TRUE(installedOn(l.render));
         l.deleteProductValue(L"EnableAllDev");
     }},
    {"KilledBeforeTheRegistration", nullptr, nullptr,
     [](Lifecycle&) {
         zol::test::removeEffectClasses();
         EXPECT_EQ(outcome(init), 0);
         EXPECT_TRUE(zol::test::streamEffectClassRegistered());
     }},
    {"FormerSlotTextsThatLookLikeMarkers",
     [](Lifecycle& l) {
         l.render.fxValue(fx::kFxSlotValueNames[0], L"!KEY").fxValue(fx::kFxSlotValueNames[2], L"");
         l.render.fxValue(fx::kFxSlotValueNames[3], L"!VALUE");
     },
     nullptr, nullptr},
    {"KilledBeforeTheMarkers", nullptr,
     [](Lifecycle& l) {
         zol::test::rawCreateKey(fx::childApoStoreKeyPath(l.capture.id()));
         zol::test::rawSetText(l.capture.fx(), fx::kFxItemNameDisplay, fx::kFxItemNameDisplayText);
     },
     nullptr},
    {"BackupFileCannotBeWritten",
     [](Lifecycle& l) {
         l.render.describe(std::wstring(200, L'd'), std::wstring(200, L'n'), kHeadsetHardwareId);
     },
     nullptr,
     [](Lifecycle& l) {
         EXPECT_TRUE(installedOn(l.render));
         EXPECT_EQ(outcome(init), 0);
     }},
};

TEST_P(LifecycleMishaps, EveryEndpointComesBack) {
    const Mishap& row = GetParam();
    if (row.arrange) row.arrange(*this);
    const TestEndpoint* endpoints[] = {&render, &capture, &unrelated};
    std::vector<Snapshot> before;
    for (const TestEndpoint* endpoint : endpoints) before.push_back(snapshot(*endpoint));
    if (row.interrupt) row.interrupt(*this);

    EXPECT_EQ(outcome(init), 0);
    if (row.afterInit) row.afterInit(*this);
    EXPECT_EQ(outcome(unInit), 1);
    for (std::size_t i = 0; i < before.size(); ++i)
        EXPECT_EQ(restoredPart(snapshot(*endpoints[i]), before[i]), before[i]) << "endpoint " << i;
    EXPECT_FALSE(zol::test::streamEffectClassRegistered());
    EXPECT_FALSE(zol::test::rawKeyExists(std::wstring(zol::common::kProductKey) + L"\\Child APOs"));
}

INSTANTIATE_TEST_SUITE_P(Lifecycle, LifecycleMishaps, ::testing::ValuesIn(kMishaps),
                         [](const ::testing::TestParamInfo<Mishap>& info) { return std::string(info.param.name); });

TEST_F(Lifecycle, RepeatedInitReinstallsNothingAndLeavesTheServiceAlone) {
    ASSERT_EQ(init(), 0);
    const Snapshot renderInstalled = snapshot(render);
    DeviceInfo info;
    ASSERT_EQ(getDeviceInfo(0, &info), 1);
    EqGainBlock gains = info.eqGains;
    gains.gains[0] = -4;
    ASSERT_EQ(setDeviceProperty(&info, 3, reinterpret_cast<const unsigned char*>(&gains)), 1);
    releaseDeviceInfo(&info);
    journal.clear();

    EXPECT_EQ(init(), 0);
    EXPECT_TRUE(journal.lines().empty()) << "the service was restarted or the library registered again";
    EXPECT_EQ(snapshot(render), renderInstalled);
    DeviceInfo again;
    ASSERT_EQ(getDeviceInfo(0, &again), 1);
    EXPECT_EQ(again.eqGains.gains[0], -4) << "init overwrote the user's settings";
    releaseDeviceInfo(&again);
    EXPECT_EQ(unInit(), 1);
}

TEST_F(Lifecycle, UnInitRemovesNothingWhenTheEffectLibraryCannotBeUnregistered) {
    ASSERT_EQ(init(), 0);
    const Snapshot renderInstalled = snapshot(render);
    journal.clear();
    {
        zol::test::EffectLibraryFailure failing(L"unregister");
        EXPECT_EQ(unInit(), -3);
    }
    const std::wstring library = zol::test::standInEffectLibraryPath();
    const std::wstring parked = library + L".parked";
    ASSERT_TRUE(MoveFileW(library.c_str(), parked.c_str()));
    const int missing = unInit();
    ASSERT_TRUE(MoveFileW(parked.c_str(), library.c_str()));
    EXPECT_EQ(missing, -3);

    Lines lines = journal.lines();
    EXPECT_TRUE(std::find(lines.begin(), lines.end(), "AudioSrv stop") == lines.end());
    EXPECT_EQ(snapshot(render), renderInstalled);
    EXPECT_TRUE(installedOn(capture));
    for (const wchar_t* name : kSettingsValues) EXPECT_TRUE(productValue(name));
    EXPECT_TRUE(productValue(L"InstallPath"));

    EXPECT_EQ(unInit(), 1);
    EXPECT_FALSE(installedOn(render));
}

TEST_F(Lifecycle, UnInitDeletesWhateverValuesAreLeft) {
    ASSERT_EQ(init(), 0);
    deleteProductValue(kSettingsValues[1]);
    deleteProductValue(L"InstallPath");
    EXPECT_EQ(unInit(), 1);
    for (const wchar_t* name : kSettingsValues) EXPECT_FALSE(productValue(name));
    EXPECT_TRUE(zol::test::rawKeyExists(zol::common::kProductKey));
}

// Each pass killed right after each of its registry changes (in a child process over the
// test-only DLL), then the passes a user would run next. Its own ctest entry: it takes minutes.
class LifecycleCrashes : public Lifecycle {
public:
    static constexpr DWORD kEndedByFault = 0xDEAD;

    DWORD run(const wchar_t* exportName, long faultAt = 0) {
        std::wstring command = L"zol_fault_host.exe " + std::wstring(exportName);
        const std::wstring host = zol::host_utils::hostExecutableDirectory() + L"\\zol_fault_host.exe";
        SetEnvironmentVariableW(L"ZOL_FAULT_AT", faultAt > 0 ? std::to_wstring(faultAt).c_str() : nullptr);
        STARTUPINFOW startup{sizeof startup};
        PROCESS_INFORMATION child{};
        const BOOL started = CreateProcessW(host.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                            workingDirectory.path().c_str(), &startup, &child);
        SetEnvironmentVariableW(L"ZOL_FAULT_AT", nullptr);
        if (!started) return ~DWORD{0};
        WaitForSingleObject(child.hProcess, 120000);
        DWORD code = ~DWORD{0};
        GetExitCodeProcess(child.hProcess, &code);
        CloseHandle(child.hThread);
        CloseHandle(child.hProcess);
        return code;
    }
    std::vector<Snapshot> snapshots() {
        return {snapshot(render), snapshot(capture), snapshot(unrelated)};
    }
    bool asBefore(const std::vector<Snapshot>& before) {
        const std::vector<Snapshot> now = snapshots();
        for (std::size_t i = 0; i < now.size(); ++i)
            if (restoredPart(now[i], before[i]) != before[i]) return false;
        return !zol::test::streamEffectClassRegistered() && !zol::test::endpointEffectClassRegistered();
    }
    void reset() {
        TearDown();
        seed();
    }
};

TEST_F(LifecycleCrashes, EveryChangeOfBothPassesIsRecovered) {
    constexpr long kAtMost = 400;
    long installChanges = 0, installRecovered = 0;
    for (long k = 1; k <= kAtMost; ++k) {
        reset();
        const std::vector<Snapshot> before = snapshots();
        const DWORD code = run(L"init", k);
        if (code != kEndedByFault) {
            EXPECT_EQ(code, 100u) << "init ran to its end after " << installChanges << " changes";
            break;
        }
        ++installChanges;
        const DWORD removal = run(L"unInit");
        const bool removed = removal == 101 && asBefore(before);
        const DWORD install = run(L"init"), removalAgain = run(L"unInit");
        const bool again = install == 100 && removalAgain == 101 && asBefore(before);
        EXPECT_TRUE(removed && again) << "install killed at change " << k << ": unInit " << removal << " (endpoints "
                                      << (removed ? "restored" : "not restored") << "), init " << install
                                      << ", unInit " << removalAgain;
        installRecovered += removed && again;
    }
    long removalChanges = 0, removalRecovered = 0;
    for (long k = 1; k <= kAtMost; ++k) {
        reset();
        const std::vector<Snapshot> before = snapshots();
        ASSERT_EQ(run(L"init"), 100u);
        const DWORD code = run(L"unInit", k);
        if (code != kEndedByFault) {
            EXPECT_EQ(code, 101u) << "unInit ran to its end after " << removalChanges << " changes";
            break;
        }
        ++removalChanges;
        const DWORD removal = run(L"unInit");
        const bool recovered = removal == 101 && asBefore(before);
        EXPECT_TRUE(recovered) << "removal killed at change " << k << ": unInit " << removal;
        removalRecovered += recovered;
    }
    EXPECT_GT(installChanges, 10);
    EXPECT_GT(removalChanges, 5);
    std::printf("install: %ld/%ld recovered, removal: %ld/%ld recovered\n", installRecovered, installChanges,
                removalRecovered, removalChanges);
}

}  // namespace
