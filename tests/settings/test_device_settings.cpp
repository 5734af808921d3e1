// The three settings exports against the Wine registry (the real product key), the real named
// section (read back from a process of its own) and the Core Audio stand-in for live volumes.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "common/product_key.h"
#include "common/unique_handle.h"
#include "registry/registry.h"
#include "settings/device_settings.h"
#include "settings/equalizer.h"
#include "settings/settings_lock.h"
#include "settings/settings_mirror.h"
#include "support/core_audio_standin.h"
#include "support/scratch_key.h"
#include "zol_ecd_api.h"

namespace {

using namespace zol::settings;
using Bytes = std::vector<unsigned char>;

const wchar_t* const kValues[] = {kControlValue, kEffectValue, kEqGainValue};

Bytes bytesOf(const void* p, size_t n) {
    const auto* b = static_cast<const unsigned char*>(p);
    return Bytes(b, b + n);
}

Bytes stored(const wchar_t* value) {
    DWORD type = 0;
    std::string bytes;
    if (!zol::test::rawGetValue(zol::common::kProductKey, value, &type, &bytes)) return {};
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    return Bytes(bytes.begin(), bytes.end());
}

void store(const wchar_t* value, const Bytes& bytes, DWORD type = REG_BINARY) {
    zol::test::rawSetValue(zol::common::kProductKey, value, type, bytes.data(), static_cast<DWORD>(bytes.size()));
}

// Section bytes 0-610 as another process sees them (tests/standins/section_reader); empty when
// that process cannot open the section.
Bytes sectionFromAnotherProcess() {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    zol::common::unique_kernel_handle readEnd, writeEnd;
    if (!CreatePipe(readEnd.put(), writeEnd.put(), &inherit, 0)) return {};
    SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd.get();
    startup.hStdError = writeEnd.get();
    PROCESS_INFORMATION process{};
    std::wstring command = L"section_reader.exe";
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
        return {};
    zol::common::unique_kernel_handle processHandle(process.hProcess), threadHandle(process.hThread);
    writeEnd.reset();
    std::string text;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(readEnd.get(), chunk, sizeof chunk, &got, nullptr) && got > 0) text.append(chunk, got);
    WaitForSingleObject(processHandle.get(), 10000);
    Bytes bytes;
    if (text.rfind("absent", 0) == 0 || text.rfind("unmapped", 0) == 0) return bytes;
    for (size_t i = 0; i + 1 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i])); i += 2)
        bytes.push_back(static_cast<unsigned char>(std::stoi(text.substr(i, 2), nullptr, 16)));
    return bytes;
}

Bytes slice(const Bytes& b, size_t from, size_t to) {
    return b.size() < to ? Bytes() : Bytes(b.begin() + from, b.begin() + to);
}

const BiquadCoefficients kFlat{0.0f, 0.0f, 1.0f, 0.0f, 0.0f};

class DeviceSettings : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        keyExisted_ = zol::test::rawKeyExists(zol::common::kProductKey);
        if (!keyExisted_) zol::test::rawCreateKey(zol::common::kProductKey);
        standin_ = new zol::test::CoreAudioStandin();
    }
    static void TearDownTestSuite() {
        delete standin_;
        standin_ = nullptr;
        deleteValues();
        if (!keyExisted_) zol::test::rawDeleteTree(zol::common::kProductKey);
    }
    static void deleteValues() {
        for (const wchar_t* v : kValues) {
            try {
                zol::registry::deleteValue(zol::common::kProductKey, v);
            } catch (const zol::registry::RegistryException&) {
            }
        }
    }
    void SetUp() override {
        deleteValues();
        standin_->reset();
        standin_->setLevel(0, 0.42f);
        standin_->setLevel(1, 0.73f);
        std::memset(&info_, 0xCD, sizeof info_);  // what a host's fresh allocation may hold
    }
    void TearDown() override { releaseDeviceInfo(&info_); }

    static zol::test::CoreAudioStandin* standin_;
    static bool keyExisted_;
    DeviceInfo info_;
};
zol::test::CoreAudioStandin* DeviceSettings::standin_ = nullptr;
bool DeviceSettings::keyExisted_ = false;

TEST_F(DeviceSettings, FirstLoadStoresTheDefaultsAndReturnsALiveRecord) {
    standin_->setMute(0, TRUE);
    standin_->setMute(1, TRUE);
    ASSERT_EQ(getDeviceInfo(0, &info_), 1);

    ControlBlock control{};
    control.field4 = 48000;
    control.captureVolume = 73;
    control.renderVolume = 42;
    control.field16 = 50;
    control.field21 = 1;
    EXPECT_EQ(stored(kControlValue), bytesOf(&control, sizeof control)) << "mute is not stored";
    EffectBlock effect{};
    effect.sampleRate = 48000;
    effect.renderVolume = effect.renderVolumeCopies[0] = effect.renderVolumeCopies[1] = 42;
    effect.field13[0] = effect.field13[1] = 1;
    EXPECT_EQ(stored(kEffectValue), bytesOf(&effect, sizeof effect)) << "stored with a zero equaliser";
    EXPECT_EQ(stored(kEqGainValue), Bytes(32, 0));

    control.captureMute = 1;
    EXPECT_EQ(bytesOf(&info_.control, 32), bytesOf(&control, 32));
    EXPECT_EQ(info_.effect.renderMute, 1);
    EXPECT_EQ(info_.effect.renderVolume, 42);
    EXPECT_EQ(std::memcmp(info_.effect.bands, kBuiltInBandTable, sizeof kBuiltInBandTable), 0);
    for (const BiquadCoefficients& c : info_.effect.coefficients) EXPECT_EQ(c.b0, 1.0f);
    EXPECT_EQ(bytesOf(info_.unused607, sizeof info_.unused607), Bytes(292, 0)) << "the whole record is written";
}

TEST_F(DeviceSettings, StoredValuesLoadWithTheLiveVolumesOverlaid) {
    ControlBlock control{};
    control.field0 = 0x11223344;
    control.captureVolume = 5;
    control.renderVolume = 6;
    control.captureMute = 1;
    store(kControlValue, bytesOf(&control, sizeof control));
    EffectBlock effect{};
    effect.sampleRate = 44100;
    effect.renderVolume = 7;
    effect.renderMute = 1;
    effect.field375[199] = 0x5A;
    store(kEffectValue, bytesOf(&effect, sizeof effect));
    Bytes gains(32, 0);
    gains[5] = 6;
    gains[31] = 0x77;
    store(kEqGainValue, gains);

    loadDeviceSettings(&info_);
    EXPECT_EQ(info_.control.field0, 0x11223344u);
    EXPECT_EQ(info_.control.captureVolume, 73u) << "live";
    EXPECT_EQ(info_.control.renderVolume, 6u) << "as stored";
    EXPECT_EQ(info_.control.captureMute, 0) << "live";
    EXPECT_EQ(info_.effect.renderVolume, 42);
    EXPECT_EQ(info_.effect.renderVolumeCopies[1], 42);
    EXPECT_EQ(info_.effect.renderMute, 0);
    EXPECT_EQ(info_.effect.field375[199], 0x5A);
    EXPECT_EQ(bytesOf(&info_.eqGains, 32), gains);
    EXPECT_EQ(info_.effect.bands[5].gain, 6.0f);
    BiquadCoefficients expected;
    computePeakingBiquad(expected, info_.effect.bands[5], 44100.0f);
    EXPECT_EQ(info_.effect.coefficients[5].a1, expected.a1) << "at the stored sample rate";
    // Loading writes nothing that already exists.
    EXPECT_EQ(stored(kControlValue), bytesOf(&control, sizeof control));
    EXPECT_EQ(stored(kEffectValue), bytesOf(&effect, sizeof effect));
}

TEST_F(DeviceSettings, WithoutACaptureDeviceTheCaptureFieldsFallBack) {
    standin_->setPresent(1, false);
    loadDeviceSettings(&info_);
    EXPECT_EQ(info_.control.captureVolume, 50u);
    EXPECT_EQ(info_.control.captureMute, 0);
    EXPECT_EQ(info_.effect.renderVolume, 42);
    EXPECT_EQ(standin_->liveObjects(), 0);
}

TEST_F(DeviceSettings, StoredValuesOfTheWrongLengthStayInsideTheirBlock) {
    store(kControlValue, Bytes(8, 0x11));
    store(kEqGainValue, Bytes(40, 0x01));  // longer than the block: the rest must not spill
    loadDeviceSettings(&info_);
    EXPECT_EQ(info_.control.field0, 0x11111111u);
    EXPECT_EQ(info_.control.field4, 0x11111111u);
    EXPECT_EQ(info_.control.field16, 50u) << "default beyond the stored length";
    EXPECT_EQ(info_.control.field21, 1);
    EXPECT_EQ(bytesOf(&info_.eqGains, 32), Bytes(32, 0x01));
    EXPECT_EQ(bytesOf(info_.unused931, 5), Bytes(5, 0));
    EXPECT_EQ(stored(kControlValue).size(), 8u);
}

TEST_F(DeviceSettings, AValueOfTheWrongTypeRaisesAndLeavesTheRecord) {
    const DWORD number = 7;
    store(kEffectValue, bytesOf(&number, sizeof number), REG_DWORD);
    const DeviceInfo before = info_;
    EXPECT_EQ(zol::test::registryMessageOf([&] { loadDeviceSettings(&info_); }),
              "Registry value HKEY_LOCAL_MACHINE\\SOFTWARE\\ZolSoundKit\\" + zol::test::narrow(kEffectValue) +
                  " has wrong type");
    EXPECT_EQ(std::memcmp(&before, &info_, sizeof info_), 0);
    EXPECT_THROW(getDeviceInfo(0, &info_), zol::registry::RegistryException);
    EXPECT_EQ(std::memcmp(&before.effect, &info_.effect, sizeof info_ - 32), 0) << "only the control block is cleared";
}

TEST_F(DeviceSettings, AnotherProcessSeesTheBlocksAfterGetDeviceInfo) {
    ASSERT_EQ(getDeviceInfo(5, &info_), 1);
    const Bytes section = sectionFromAnotherProcess();
    ASSERT_EQ(section.size(), 611u) << "section_reader could not open the section";
    std::uint32_t header = 0;
    std::memcpy(&header, section.data(), 4);
    EXPECT_EQ(header, 8184u);
    EXPECT_EQ(slice(section, 4, 36), bytesOf(&info_.control, 32));
    EXPECT_EQ(slice(section, 36, 611), bytesOf(&info_.effect, 575));

    DeviceInfo other;
    ASSERT_EQ(getDeviceInfo(0, &other), 1);
    EXPECT_EQ(std::memcmp(&other, &info_, 936), 0) << "the index does not matter";
    releaseDeviceInfo(&other);
}

TEST_F(DeviceSettings, EqGainsChangeTheEffectAreaOnlyAndTheRegistryHoldsTheRecord) {
    ASSERT_EQ(getDeviceInfo(0, &info_), 1);
    const Bytes before = sectionFromAnotherProcess();
    ASSERT_EQ(before.size(), 611u);

    Bytes gains(32, 0);
    gains[5] = 6;
    gains[0] = 0xF4;  // -12 dB
    ASSERT_EQ(setDeviceProperty(&info_, 3, gains.data()), 1);
    const Bytes after = sectionFromAnotherProcess();
    ASSERT_EQ(after.size(), 611u);
    EXPECT_EQ(slice(after, 0, 36), slice(before, 0, 36)) << "control block untouched";
    EXPECT_NE(slice(after, 36, 611), slice(before, 36, 611));
    EXPECT_EQ(slice(after, 36, 611), bytesOf(&info_.effect, 575));
    EXPECT_EQ(info_.effect.bands[0].gain, -12.0f);

    EXPECT_EQ(bytesOf(&info_.eqGains, 32), gains);
    EXPECT_EQ(stored(kEqGainValue), gains);
    EXPECT_EQ(stored(kEffectValue), bytesOf(&info_.effect, 575));
}

TEST_F(DeviceSettings, ControlAndEffectBlocksAreStoredAndMirroredAsGiven) {
    ASSERT_EQ(getDeviceInfo(0, &info_), 1);
    ControlBlock control{};
    control.field16 = 0xA1B2C3D4;
    control.field25[6] = 9;
    ASSERT_EQ(setDeviceProperty(&info_, 1, reinterpret_cast<const unsigned char*>(&control)), 1);
    EffectBlock effect = info_.effect;
    effect.bands[2].frequency = 133.0f;  // not the table's: kept, and nothing recomputed
    effect.coefficients[2].a1 = 12345.0f;
    ASSERT_EQ(setDeviceProperty(&info_, 2, reinterpret_cast<const unsigned char*>(&effect)), 1);

    EXPECT_EQ(bytesOf(&info_.control, 32), bytesOf(&control, 32));
    EXPECT_EQ(bytesOf(&info_.effect, 575), bytesOf(&effect, 575));
    EXPECT_EQ(stored(kControlValue), bytesOf(&control, 32));
    EXPECT_EQ(stored(kEffectValue), bytesOf(&effect, 575));
    const Bytes section = sectionFromAnotherProcess();
    ASSERT_EQ(section.size(), 611u);
    EXPECT_EQ(slice(section, 4, 36), bytesOf(&control, 32));
    EXPECT_EQ(slice(section, 36, 611), bytesOf(&effect, 575));

    // The next gain change puts the table back.
    const Bytes gains(32, 0);
    ASSERT_EQ(setDeviceProperty(&info_, 3, gains.data()), 1);
    EXPECT_EQ(info_.effect.bands[2].frequency, 120.0f);
    EXPECT_EQ(info_.effect.coefficients[2].a1, 0.0f);
}

TEST_F(DeviceSettings, PropertiesOutsideOneToThreeChangeNothing) {
    ASSERT_EQ(getDeviceInfo(0, &info_), 1);
    const DeviceInfo before = info_;
    const Bytes storedControl = stored(kControlValue);
    const Bytes data(575, 0x66);
    EXPECT_EQ(setDeviceProperty(&info_, 0, data.data()), -2);
    EXPECT_EQ(setDeviceProperty(&info_, 4, data.data()), -2);
    EXPECT_EQ(setDeviceProperty(&info_, -1, data.data()), -2);
    EXPECT_EQ(std::memcmp(&before, &info_, sizeof info_), 0);
    EXPECT_EQ(stored(kControlValue), storedControl);
    EXPECT_EQ(slice(sectionFromAnotherProcess(), 4, 36), bytesOf(&info_.control, 32));
    // Missing arguments do nothing rather than crash.
    EXPECT_EQ(setDeviceProperty(&info_, 1, nullptr), 0);
    EXPECT_EQ(setDeviceProperty(nullptr, 1, data.data()), 0);
    EXPECT_EQ(getDeviceInfo(0, nullptr), 0);
    EXPECT_EQ(releaseDeviceInfo(nullptr), 0);
}

TEST_F(DeviceSettings, AfterReleaseTheRegistryIsStillUpdatedButNotTheSection) {
    ASSERT_EQ(getDeviceInfo(0, &info_), 1);
    // Hold the section as the audio effect would, so it outlives the library's handle.
    zol::common::unique_kernel_handle held(OpenFileMappingW(FILE_MAP_READ, FALSE, kSettingsSectionName));
    ASSERT_TRUE(held);
    ASSERT_EQ(releaseDeviceInfo(&info_), 1);
    ASSERT_EQ(releaseDeviceInfo(&info_), 1) << "twice is harmless";

    ControlBlock control{};
    control.field0 = 77;
    EXPECT_EQ(setDeviceProperty(&info_, 1, reinterpret_cast<const unsigned char*>(&control)), 1);
    EXPECT_EQ(stored(kControlValue), bytesOf(&control, 32));
    EXPECT_EQ(info_.control.field0, 77u);
    const Bytes section = sectionFromAnotherProcess();
    ASSERT_EQ(section.size(), 611u);
    EXPECT_NE(slice(section, 4, 36), bytesOf(&control, 32));
}

TEST_F(DeviceSettings, ReloadingWithoutReleaseKeepsOneHandleOnly) {
    ASSERT_EQ(getDeviceInfo(0, &info_), 1);
    ASSERT_EQ(getDeviceInfo(0, &info_), 1);
    ASSERT_EQ(releaseDeviceInfo(&info_), 1);
    // Had the first mirror stayed open, the section would still exist.
    EXPECT_EQ(OpenFileMappingW(FILE_MAP_READ, FALSE, kSettingsSectionName), nullptr);
}

TEST_F(DeviceSettings, ARecordNeverLoadedIsUpdatedWithoutTouchingAnySection) {
    // info_ holds 0xCD everywhere, its mirror bytes included.
    const Bytes gains(32, 1);
    EXPECT_EQ(setDeviceProperty(&info_, 3, gains.data()), 1);
    EXPECT_EQ(stored(kEqGainValue), gains);
    EXPECT_EQ(releaseDeviceInfo(&info_), 1);
}

TEST_F(DeviceSettings, ASmallerExistingSectionLeavesTheMirrorClosed) {
    zol::common::unique_kernel_handle small(
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 1000, kSettingsSectionName));
    ASSERT_TRUE(small);
    EXPECT_EQ(getDeviceInfo(0, &info_), 1);
    EXPECT_EQ(info_.control.captureVolume, 73u) << "the record is loaded all the same";
    const Bytes gains(32, 2);
    EXPECT_EQ(setDeviceProperty(&info_, 3, gains.data()), 1);
    zol::common::unique_view view(MapViewOfFile(small.get(), FILE_MAP_READ, 0, 0, 1000));
    ASSERT_TRUE(view);
    const auto* bytes = static_cast<const unsigned char*>(view.get());
    EXPECT_EQ(std::count(bytes, bytes + 1000, 0), 1000) << "nothing written into it";
}

TEST_F(DeviceSettings, TheSectionAdmitsTheUserAndLocalServiceOnly) {
    ASSERT_EQ(getDeviceInfo(0, &info_), 1);
    zol::common::unique_kernel_handle section(OpenFileMappingW(READ_CONTROL, FALSE, kSettingsSectionName));
    ASSERT_TRUE(section);
    const std::string kAll = "CCDCLCSWRPSDRCWDWO";  // 0xF001F, as SDDL spells it
    EXPECT_EQ(zol::test::kernelObjectDacl(section.get()),
              "D:(A;;" + kAll + ";;;" + zol::test::currentUserSid() + ")(A;;" + kAll + ";;;LS)");
}

// Careless and hostile hosts: each row ends with results, never a fault or a divergence.
TEST_F(DeviceSettings, MisuseEndsWithResults) {
    struct Row {
        const char* name;
        std::function<void(DeviceInfo&)> run;
    };
    const Row rows[] = {
        {"a stored sample rate of 0 leaves every band a pass-through",
         [](DeviceInfo& info) {
             store(kEffectValue, Bytes(575, 0));
             ASSERT_EQ(getDeviceInfo(0, &info), 1);
             for (const BiquadCoefficients& c : info.effect.coefficients)
                 EXPECT_EQ(bytesOf(&c, 20), bytesOf(&kFlat, 20));
             EXPECT_EQ(slice(sectionFromAnotherProcess(), 36, 611), bytesOf(&info.effect, 575));
         }},
        {"a record from before a reload leaves the live record's section alone",
         [](DeviceInfo& live) {
             DeviceInfo stale;
             for (DeviceInfo* record : {&stale, &live}) {
                 HMODULE dll = LoadLibraryW(L"zol_ecd_api.dll");
                 ASSERT_NE(dll, nullptr);
                 auto get = reinterpret_cast<decltype(&getDeviceInfo)>(GetProcAddress(dll, "getDeviceInfo"));
                 auto release = reinterpret_cast<decltype(&releaseDeviceInfo)>(GetProcAddress(dll, "releaseDeviceInfo"));
                 ASSERT_EQ(get(0, record), 1);
                 if (record == &live) {
                     EXPECT_EQ(release(&stale), 1);
                     EXPECT_TRUE(zol::common::unique_kernel_handle(OpenFileMappingW(FILE_MAP_READ, FALSE, kSettingsSectionName)));
                     EXPECT_EQ(release(&live), 1);
                 }
                 FreeLibrary(dll);
             }
         }},
        {"eight threads on one record",
         [](DeviceInfo& info) {
             std::vector<std::thread> threads;
             for (int t = 0; t < 8; ++t)
                 threads.emplace_back([&info, t] {
                     const Bytes gains(32, static_cast<unsigned char>(t));
                     for (int i = 0; i < 12; ++i) {
                         const int step = (i + t) % 3;
                         const int result = step == 0   ? getDeviceInfo(0, &info)
                                            : step == 1 ? setDeviceProperty(&info, 3, gains.data())
                                                        : releaseDeviceInfo(&info);
                         EXPECT_EQ(result, 1);
                     }
                 });
             for (std::thread& thread : threads) thread.join();
             ASSERT_EQ(getDeviceInfo(0, &info), 1);
             EXPECT_EQ(slice(sectionFromAnotherProcess(), 36, 611), stored(kEffectValue));
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        deleteValues();
        DeviceInfo info;
        std::memset(&info, 0xCD, sizeof info);
        row.run(info);
        releaseDeviceInfo(&info);
    }
}

// Another process that changes the settings waits while this one holds the lock, then leaves
// registry and section holding its block.
TEST_F(DeviceSettings, AnotherProcessWaitsForTheSettingsLock) {
    ASSERT_EQ(getDeviceInfo(0, &info_), 1);  // keeps the section alive
    PROCESS_INFORMATION started{};
    {
        const SettingsLock lock;
        ASSERT_TRUE(lock.held());
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        std::wstring command = L"zolctl.exe eq set 1k=6";
        ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                                   nullptr, &startup, &started));
        EXPECT_EQ(WaitForSingleObject(started.hProcess, 2000), static_cast<DWORD>(WAIT_TIMEOUT));
        EXPECT_EQ(stored(kEqGainValue), Bytes(32, 0)) << "written without the lock";
    }
    zol::common::unique_kernel_handle process(started.hProcess), thread(started.hThread);
    ASSERT_EQ(WaitForSingleObject(process.get(), 20000), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(stored(kEqGainValue).at(5), 6);
    EXPECT_EQ(slice(sectionFromAnotherProcess(), 36, 611), stored(kEffectValue));
}

}  // namespace
