// The three settings exports against the product key, the named section (read from a process of
// its own, as the audio effect reads it) and the Core Audio stand-in for live volumes.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
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
using zol::common::kProductKey;
using zol::common::unique_kernel_handle;
using Bytes = std::vector<unsigned char>;

Bytes bytesOf(const void* p, size_t n) { return Bytes(static_cast<const unsigned char*>(p), static_cast<const unsigned char*>(p) + n); }

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes stored(const wchar_t* value) {
    DWORD type = 0;
    std::string bytes;
    if (!zol::test::rawGetValue(kProductKey, value, &type, &bytes)) return {};
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    return Bytes(bytes.begin(), bytes.end());
}

void store(const wchar_t* value, const Bytes& bytes, DWORD type = REG_BINARY) {
    zol::test::rawSetValue(kProductKey, value, type, bytes.data(), static_cast<DWORD>(bytes.size()));
}

// Section bytes [from, to) as tests/standins/section_reader prints them; empty when it cannot.
Bytes section(size_t from = 0, size_t to = 611) {
    Bytes bytes;
    if (FILE* pipe = _popen("section_reader.exe", "r")) {
        for (unsigned byte; std::fscanf(pipe, "%2x", &byte) == 1;) bytes.push_back(static_cast<unsigned char>(byte));
        _pclose(pipe);
    }
    return bytes.size() == 611 ? Bytes(bytes.begin() + from, bytes.begin() + to) : Bytes();
}

class DeviceSettings : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        keyExisted = zol::test::rawKeyExists(kProductKey);
        zol::test::rawCreateKey(kProductKey);
        audio.emplace();
    }
    static void TearDownTestSuite() {
        audio.reset();
        deleteValues();
        if (!keyExisted) zol::test::rawDeleteTree(kProductKey);
    }
    static void deleteValues() {
        for (const wchar_t* v : {kControlValue, kEffectValue, kEqGainValue}) zol::test::rawDeleteValue(kProductKey, v);
    }
    void SetUp() override {
        deleteValues();
        audio->reset();
        audio->state().level[0] = 0.42f;
        audio->state().level[1] = 0.73f;
        std::memset(&info, 0xCD, sizeof info);  // what a host's fresh allocation may hold
    }
    void TearDown() override { releaseDeviceInfo(&info); }

    inline static bool keyExisted = false;
    inline static std::optional<zol::test::CoreAudioStandin> audio;
    DeviceInfo info;
};

TEST_F(DeviceSettings, FirstLoadStoresTheDefaultsAndReturnsALiveRecord) {
    audio->state().mute[0] = audio->state().mute[1] = TRUE;
    ASSERT_EQ(getDeviceInfo(0, &info), 1);
    ControlBlock control{};
    control.field4 = 48000;
    control.captureVolume = 73;
    control.renderVolume = 42;
    control.field16 = 50;
    control.field21 = 1;
    EXPECT_EQ(stored(kControlValue), bytesOf(&control, 32)) << "mute is not stored";
    EffectBlock effect{};
    effect.sampleRate = 48000;
    effect.renderVolume = effect.renderVolumeCopies[0] = effect.renderVolumeCopies[1] = 42;
    effect.field13[0] = effect.field13[1] = 1;
    EXPECT_EQ(stored(kEffectValue), bytesOf(&effect, 575)) << "stored with a zero equaliser";
    EXPECT_EQ(stored(kEqGainValue), Bytes(32, 0));

    control.captureMute = 1;
    EXPECT_EQ(bytesOf(&info.control, 32), bytesOf(&control, 32));
    EXPECT_EQ(info.effect.renderMute, 1);
    EXPECT_EQ(std::memcmp(info.effect.bands, kBuiltInBandTable, sizeof kBuiltInBandTable), 0);
    for (const BiquadCoefficients& c : info.effect.coefficients) EXPECT_EQ(c.b0, 1.0f);
    EXPECT_EQ(bytesOf(info.unused607, 292), Bytes(292, 0)) << "the whole record is written";
    EXPECT_EQ(section(4, 611), bytesOf(&info, 607));
}

TEST_F(DeviceSettings, StoredValuesLoadWithTheLiveVolumesOverlaid) {
    ControlBlock control{};
    control.field0 = 0x11223344;
    control.captureVolume = 5;
    control.renderVolume = 6;
    control.captureMute = 1;
    store(kControlValue, bytesOf(&control, 32));
    EffectBlock effect{};
    effect.sampleRate = 44100;
    effect.renderVolume = 7;
    effect.renderMute = 1;
    effect.field375[199] = 0x5A;
    store(kEffectValue, bytesOf(&effect, 575));
    Bytes gains(32, 0);
    gains[5] = 6;
    gains[31] = 0x77;
    store(kEqGainValue, gains);
    audio->state().present[1] = false;  // no capture device: its fields fall back

    loadDeviceSettings(&info);
    EXPECT_EQ(info.control.field0, 0x11223344u);
    EXPECT_EQ(info.control.captureVolume, 50u);
    EXPECT_EQ(info.control.renderVolume, 6u) << "as stored";
    EXPECT_EQ(info.control.captureMute, 0);
    EXPECT_EQ(info.effect.renderVolume, 42) << "live";
    EXPECT_EQ(info.effect.renderVolumeCopies[1], 42);
    EXPECT_EQ(info.effect.renderMute, 0);
    EXPECT_EQ(info.effect.field375[199], 0x5A);
    EXPECT_EQ(bytesOf(&info.eqGains, 32), gains);
    BiquadCoefficients expected;
    computePeakingBiquad(expected, info.effect.bands[5], 44100.0f);
    EXPECT_EQ(info.effect.coefficients[5].a1, expected.a1) << "at the stored sample rate";
    EXPECT_EQ(stored(kControlValue), bytesOf(&control, 32)) << "loading writes nothing that exists";
    EXPECT_EQ(stored(kEffectValue), bytesOf(&effect, 575));
    EXPECT_EQ(audio->state().liveObjects, 0);
}

TEST_F(DeviceSettings, StoredValuesOfTheWrongLengthOrTypeStayOutOfTheRecord) {
    store(kControlValue, Bytes(8, 0x11));
    store(kEqGainValue, Bytes(40, 0x01));  // longer than the block: the rest must not spill
    loadDeviceSettings(&info);
    EXPECT_EQ(info.control.field4, 0x11111111u);
    EXPECT_EQ(info.control.field16, 50u) << "default beyond the stored length";
    EXPECT_EQ(bytesOf(&info.eqGains, 32), Bytes(32, 0x01));
    EXPECT_EQ(bytesOf(info.unused931, 5), Bytes(5, 0));
    EXPECT_EQ(stored(kControlValue).size(), 8u);

    const DWORD number = 7;
    store(kEffectValue, bytesOf(&number, 4), REG_DWORD);
    const DeviceInfo before = info;
    EXPECT_EQ(zol::test::registryMessageOf([&] { loadDeviceSettings(&info); }),
              "Registry value HKEY_LOCAL_MACHINE\\SOFTWARE\\ZolSoundKit\\" + zol::test::narrow(kEffectValue) +
                  " has wrong type");
    EXPECT_EQ(std::memcmp(&before, &info, sizeof info), 0);
    EXPECT_THROW(getDeviceInfo(0, &info), zol::registry::RegistryException);
    EXPECT_EQ(std::memcmp(&before.effect, &info.effect, sizeof info - 32), 0) << "only the control block is cleared";
}

// Each property goes to the record, the registry and the section; gains recompute the effect.
TEST_F(DeviceSettings, PropertiesAreStoredAndMirrored) {
    ASSERT_EQ(getDeviceInfo(5, &info), 1);
    ControlBlock control{};
    control.field16 = 0xA1B2C3D4;
    ASSERT_EQ(setDeviceProperty(&info, 1, reinterpret_cast<const unsigned char*>(&control)), 1);
    EffectBlock effect = info.effect;
    effect.bands[2].frequency = 133.0f;  // not the table's: kept, nothing recomputed
    effect.coefficients[2].a1 = 12345.0f;
    ASSERT_EQ(setDeviceProperty(&info, 2, reinterpret_cast<const unsigned char*>(&effect)), 1);
    EXPECT_EQ(stored(kControlValue), bytesOf(&control, 32));
    EXPECT_EQ(stored(kEffectValue), bytesOf(&effect, 575));
    EXPECT_EQ(section(), (Bytes{0xF8, 0x1F, 0, 0} + bytesOf(&control, 32) + bytesOf(&effect, 575)));
    EXPECT_EQ(bytesOf(&info, 607), bytesOf(&control, 32) + bytesOf(&effect, 575));

    Bytes gains(32, 0);
    gains[0] = 0xF4;  // -12 dB
    ASSERT_EQ(setDeviceProperty(&info, 3, gains.data()), 1);
    EXPECT_EQ(info.effect.bands[0].gain, -12.0f);
    EXPECT_EQ(info.effect.bands[2].frequency, 120.0f) << "the table is back";
    EXPECT_EQ(info.effect.coefficients[2].a1, 0.0f);
    EXPECT_EQ(stored(kEqGainValue), gains);
    EXPECT_EQ(stored(kEffectValue), bytesOf(&info.effect, 575));
    EXPECT_EQ(section(4, 611), bytesOf(&control, 32) + bytesOf(&info.effect, 575)) << "control block untouched";

    const DeviceInfo before = info;
    for (int property : {0, 4, -1}) EXPECT_EQ(setDeviceProperty(&info, property, gains.data()), -2);
    EXPECT_EQ(std::memcmp(&before, &info, sizeof info), 0);
    EXPECT_EQ(setDeviceProperty(&info, 1, nullptr), 0);
    EXPECT_EQ(setDeviceProperty(nullptr, 1, gains.data()), 0);
    EXPECT_EQ(getDeviceInfo(0, nullptr), 0);
    EXPECT_EQ(releaseDeviceInfo(nullptr), 0);
}

TEST_F(DeviceSettings, ReleaseClosesTheOneSectionAndLaterWritesReachTheRegistryOnly) {
    ASSERT_EQ(getDeviceInfo(0, &info), 1);
    ASSERT_EQ(getDeviceInfo(0, &info), 1);
    ASSERT_EQ(releaseDeviceInfo(&info), 1);
    EXPECT_EQ(OpenFileMappingW(FILE_MAP_READ, FALSE, kSettingsSectionName), nullptr) << "a reload kept the first";

    ASSERT_EQ(getDeviceInfo(0, &info), 1);
    unique_kernel_handle held(OpenFileMappingW(FILE_MAP_READ, FALSE, kSettingsSectionName));  // as the effect does
    ASSERT_EQ(releaseDeviceInfo(&info), 1);
    ASSERT_EQ(releaseDeviceInfo(&info), 1) << "twice is harmless";
    const Bytes gains(32, 1);
    EXPECT_EQ(setDeviceProperty(&info, 3, gains.data()), 1);
    EXPECT_EQ(stored(kEqGainValue), gains);
    EXPECT_NE(section(36, 611), bytesOf(&info.effect, 575));

    DeviceInfo neverLoaded;  // its mirror bytes are garbage too
    std::memset(&neverLoaded, 0xCD, sizeof neverLoaded);
    EXPECT_EQ(setDeviceProperty(&neverLoaded, 3, gains.data()), 1);
    EXPECT_EQ(releaseDeviceInfo(&neverLoaded), 1);
}

TEST_F(DeviceSettings, ASmallerExistingSectionLeavesTheMirrorClosed) {
    unique_kernel_handle small(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 1000, kSettingsSectionName));
    EXPECT_EQ(getDeviceInfo(0, &info), 1);
    EXPECT_EQ(info.control.captureVolume, 73u) << "the record is loaded all the same";
    EXPECT_EQ(setDeviceProperty(&info, 3, Bytes(32, 2).data()), 1);
    zol::common::unique_view view(MapViewOfFile(small.get(), FILE_MAP_READ, 0, 0, 1000));
    ASSERT_TRUE(view);
    EXPECT_EQ(std::count(static_cast<const char*>(view.get()), static_cast<const char*>(view.get()) + 1000, 0), 1000);
}

TEST_F(DeviceSettings, TheSectionAdmitsTheUserAndLocalServiceOnly) {
    ASSERT_EQ(getDeviceInfo(0, &info), 1);
    unique_kernel_handle object(OpenFileMappingW(READ_CONTROL, FALSE, kSettingsSectionName));
    const std::string all = "CCDCLCSWRPSDRCWDWO";  // 0xF001F
    EXPECT_EQ(zol::test::kernelObjectDacl(object.get()),
              "D:(A;;" + all + ";;;" + zol::test::currentUserSid() + ")(A;;" + all + ";;;LS)");
}

// Careless hosts: each row ends with results, never a fault or a divergence.
TEST_F(DeviceSettings, MisuseEndsWithResults) {
    const std::function<void(DeviceInfo&)> rows[] = {
        [](DeviceInfo& record) {  // a stored sample rate of 0: every band passes through
            store(kEffectValue, Bytes(575, 0));
            ASSERT_EQ(getDeviceInfo(0, &record), 1);
            const BiquadCoefficients flat{0.0f, 0.0f, 1.0f, 0.0f, 0.0f};
            for (const BiquadCoefficients& c : record.effect.coefficients) EXPECT_EQ(bytesOf(&c, 20), bytesOf(&flat, 20));
        },
        [](DeviceInfo& live) {  // a record from before a reload leaves the live record's section alone
            DeviceInfo stale;
            for (DeviceInfo* record : {&stale, &live}) {
                zol::common::unique_module dll(LoadLibraryW(L"zol_ecd_api.dll"));
                auto get = reinterpret_cast<decltype(&getDeviceInfo)>(GetProcAddress(dll.get(), "getDeviceInfo"));
                auto release = reinterpret_cast<decltype(&releaseDeviceInfo)>(GetProcAddress(dll.get(), "releaseDeviceInfo"));
                ASSERT_EQ(get(0, record), 1);
                if (record == &live) {
                    EXPECT_EQ(release(&stale), 1);
                    EXPECT_TRUE(unique_kernel_handle(OpenFileMappingW(FILE_MAP_READ, FALSE, kSettingsSectionName)));
                    EXPECT_EQ(release(&live), 1);
                }
            }
        },
        [](DeviceInfo& record) {  // eight threads on one record
            std::vector<std::thread> threads;
            for (int t = 0; t < 8; ++t)
                threads.emplace_back([&record, t] {
                    const Bytes gains(32, static_cast<unsigned char>(t));
                    for (int i = 0; i < 12; ++i)
                        EXPECT_EQ((i + t) % 3 == 0   ? getDeviceInfo(0, &record)
                                  : (i + t) % 3 == 1 ? setDeviceProperty(&record, 3, gains.data())
                                                     : releaseDeviceInfo(&record), 1);
                });
            for (std::thread& thread : threads) thread.join();
            ASSERT_EQ(getDeviceInfo(0, &record), 1);
            EXPECT_EQ(stored(kEffectValue), bytesOf(&record.effect, 575));
        },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        deleteValues();
        std::memset(&info, 0xCD, sizeof info);
        row(info);
        ASSERT_EQ(getDeviceInfo(0, &info), 1);
        EXPECT_EQ(section(36, 611), bytesOf(&info.effect, 575));
        releaseDeviceInfo(&info);
    }
}

// Another process changing the settings waits while this one holds the lock, then leaves
// registry and section holding its block.
TEST_F(DeviceSettings, AnotherProcessWaitsForTheSettingsLock) {
    ASSERT_EQ(getDeviceInfo(0, &info), 1);  // keeps the section alive
    PROCESS_INFORMATION started{};
    {
        const SettingsLock lock;
        ASSERT_TRUE(lock.held());
        STARTUPINFOW startup{sizeof startup};
        std::wstring command = L"zolctl.exe eq set 1k=6";
        ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                                   nullptr, &startup, &started));
        EXPECT_EQ(WaitForSingleObject(started.hProcess, 2000), static_cast<DWORD>(WAIT_TIMEOUT));
        EXPECT_EQ(stored(kEqGainValue), Bytes(32, 0)) << "written without the lock";
    }
    unique_kernel_handle process(started.hProcess), thread(started.hThread);
    ASSERT_EQ(WaitForSingleObject(process.get(), 20000), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(stored(kEqGainValue).at(5), 6);
    EXPECT_EQ(section(36, 611), stored(kEffectValue));
}

}  // namespace
