// The equaliser bit for bit against coefficients eq_golden.py computed once from the float recipe;
// the shared section; the settings exports against the product key and live (stand-in) volumes.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "common/product_key.h"
#include "common/unique_handle.h"
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

template <typename T>
Bytes bytesOf(const T& value, size_t size = sizeof(T)) {
    return Bytes(reinterpret_cast<const unsigned char*>(&value), reinterpret_cast<const unsigned char*>(&value) + size);
}

Bytes stored(const wchar_t* value) {
    DWORD type = 0;
    std::string bytes;
    return zol::test::rawGetValue(kProductKey, value, &type, &bytes) && type == REG_BINARY ? Bytes(bytes.begin(), bytes.end()) : Bytes();
}

// The control and effect blocks in the section, after its payload size 8184; empty without one.
Bytes section() {
    const unique_kernel_handle object(OpenFileMappingW(FILE_MAP_READ, FALSE, kSettingsSectionName));
    const zol::common::unique_view view(object ? MapViewOfFile(object.get(), FILE_MAP_READ, 0, 0, 611) : nullptr);
    const auto* bytes = static_cast<const unsigned char*>(view.get());
    return bytes && *reinterpret_cast<const std::uint32_t*>(bytes) == 8184 ? Bytes(bytes + 4, bytes + 611) : Bytes();
}

const struct GoldenRow {
    int rate, gain, band;
    std::uint32_t bits[5];  // a1 a2 b0 b1 b2
} kGolden[] = {
#include "eq_golden.inc"
};

TEST(Equalizer, BandsAreTheTableWithTheGoldenCoefficientsAndZeroGainIsTheIdentity) {
    const float table[10][2] = {{30, 10},     {60, 30},     {120, 90},    {250, 170},   {500, 330},
                                {1000, 670}, {2000, 1333}, {4000, 2685}, {8000, 5333}, {16000, 10738}};
    for (const int rate : {44100, 48000, 96000}) {
        for (const int gain : {-1, 0, 12}) {
            DeviceInfo info;
            std::memset(&info, 0xA5, sizeof info);
            info.effect.sampleRate = rate;
            std::int8_t gains[32];
            std::memset(gains, gain, 10);  // -1 arrives as the byte 0xFF
            std::memset(gains + 10, 0x7F, 22);  // beyond the ten bands: ignored
            applyEqGains(info, gains);
            for (int k = 0; k < 10; ++k) {
                SCOPED_TRACE(testing::Message() << rate << " Hz, band " << k << ", " << gain << " dB");
                const EqBand& band = info.effect.bands[k];
                EXPECT_TRUE(band.field0 == 1 && band.field1 == 0 && band.frequency == table[k][0] &&
                            band.bandwidth == table[k][1] && band.gain == gain);
                static const std::uint32_t identity[5] = {0, 0, 0x3F800000, 0, 0};
                const std::uint32_t* want = identity;
                for (const GoldenRow& row : kGolden)
                    if (row.rate == rate && row.gain == gain && row.band == k) want = row.bits;
                ASSERT_TRUE(gain == 0 || want != identity);
                EXPECT_EQ(std::memcmp(&info.effect.coefficients[k], want, 20), 0);
            }
        }
    }
    // A rate the recipe cannot serve leaves bands flat: none, past the maximum, a band at half the rate.
    for (const auto& [rate, built] : {std::pair{0, 0}, {kMaxSampleRate + 1, 0}, {kMaxSampleRate, 10}, {32000, 9}, {32002, 10}}) {
        DeviceInfo info{};
        const std::int8_t gains[10] = {6, 6, 6, 6, 6, 6, 6, 6, 6, 6};
        applyEqGains((info.effect.sampleRate = rate, info), gains);
        EXPECT_EQ(std::count_if(info.effect.coefficients, info.effect.coefficients + 10, [](const auto& c) { return c.b0 != 1.0f; }), built) << rate;
    }
}

TEST(SettingsMirror, ClipsWritesAtThePayloadsEndAndStaysClosedOnAForeignName) {
    const std::wstring name = L"Global\\ZolTestMirror-" + std::to_wstring(GetCurrentProcessId());
    SettingsMirror mirror;
    ASSERT_TRUE(mirror.open(8188, name.c_str(), false));
    const unique_kernel_handle section(OpenFileMappingW(FILE_MAP_READ, FALSE, name.c_str()));
    const zol::common::unique_view view(MapViewOfFile(section.get(), FILE_MAP_READ, 0, 0, 8188));
    const auto* bytes = static_cast<const unsigned char*>(view.get());
    const std::vector<unsigned char> source(575, 0xEE);
    mirror.write(source.data(), 8000, 575);        // 184 bytes fit
    mirror.write(source.data(), 0xFFFFFFF0u, 32);  // offset + length wraps: nothing
    ASSERT_TRUE(bytes);
    EXPECT_EQ(std::count(bytes + 8003, bytes + 8188, 0xEE), 184);
    const unique_kernel_handle event(CreateEventW(nullptr, TRUE, FALSE, (name + L"-event").c_str()));
    EXPECT_FALSE(mirror.open(8188, (name + L"-event").c_str(), false));
}

class DeviceSettings : public ::testing::Test {
protected:
    static void SetUpTestSuite() { keyExisted = zol::test::rawKeyExists(kProductKey), audio.emplace(); }
    static void clearValues() {
        for (const wchar_t* v : {kControlValue, kEffectValue, kEqGainValue}) zol::test::rawDeleteValue(kProductKey, v);
    }
    static void TearDownTestSuite() { audio.reset(), keyExisted ? clearValues() : zol::test::rawDeleteTree(kProductKey); }
    void SetUp() override {
        zol::test::rawCreateKey(kProductKey);
        clearValues();
        audio->state() = {{true, true}, {0.42f, 0.73f}, {FALSE, FALSE}, audio->state().liveObjects};
        std::memset(&info, 0xCD, sizeof info);  // what a host's fresh allocation may hold
    }
    void TearDown() override { releaseDeviceInfo(&info); }

    inline static bool keyExisted = false;
    inline static std::optional<zol::test::CoreAudioStandin> audio;
    DeviceInfo info;
};

TEST_F(DeviceSettings, FirstLoadStoresTheDefaultsAndMirrorsALiveRecord) {
    audio->state().mute[1] = TRUE;
    ASSERT_EQ(getDeviceInfo(0, &info), 1);
    ControlBlock control{0, 48000, 73, 42, 50, 0, 1};
    EXPECT_EQ(stored(kControlValue), bytesOf(control)) << "mute is not stored";
    EffectBlock effect{};
    effect.sampleRate = 48000;
    effect.renderVolume = effect.renderVolumeCopies[0] = effect.renderVolumeCopies[1] = 42;
    effect.field13[0] = effect.field13[1] = 1;
    EXPECT_EQ(stored(kEffectValue), bytesOf(effect)) << "stored with a zero equaliser";
    EXPECT_EQ(stored(kEqGainValue), Bytes(32, 0));
    control.captureMute = 1;
    EXPECT_EQ(bytesOf(info.control), bytesOf(control));
    EXPECT_EQ(std::memcmp(info.effect.bands, kBuiltInBandTable, sizeof kBuiltInBandTable), 0);
    EXPECT_EQ(bytesOf(info.unused607), Bytes(292, 0)) << "the whole record is written";
    EXPECT_EQ(section(), bytesOf(info, 607));
    const unique_kernel_handle object(OpenFileMappingW(READ_CONTROL, FALSE, kSettingsSectionName));
    const std::string all = "CCDCLCSWRPSDRCWDWO";  // 0xF001F, as SDDL spells it
    EXPECT_EQ(zol::test::kernelObjectDacl(object.get()), "D:(A;;" + all + ";;;" + zol::test::currentUserSid() + ")(A;;" + all + ";;;LS)");
}

// Each property goes to the record, the registry and the section; gains recompute the effect
// from the built-in bands. After release, changes reach the registry only.
TEST_F(DeviceSettings, PropertiesAreStoredAndMirroredUntilRelease) {
    ASSERT_EQ(getDeviceInfo(5, &info), 1);
    const ControlBlock control{0, 0, 0, 0, 0xA1B2C3D4};
    EffectBlock effect = info.effect;
    effect.bands[2].frequency = 133.0f;  // not the table's: kept, nothing recomputed
    Bytes gains(32, 0);
    gains[0] = 0xF4;  // -12 dB
    ASSERT_EQ(setDeviceProperty(&info, 1, reinterpret_cast<const unsigned char*>(&control)) +
              setDeviceProperty(&info, 2, reinterpret_cast<const unsigned char*>(&effect)), 2);
    EXPECT_EQ(stored(kControlValue), bytesOf(control));
    EXPECT_EQ(stored(kEffectValue), bytesOf(effect));
    EXPECT_EQ(section(), bytesOf(info, 607));
    ASSERT_EQ(setDeviceProperty(&info, 3, gains.data()), 1);
    EXPECT_EQ(std::make_pair(info.effect.bands[0].gain, info.effect.bands[2].frequency), std::make_pair(-12.0f, 120.0f));
    EXPECT_EQ(stored(kEqGainValue), gains);
    EXPECT_EQ(stored(kEffectValue), bytesOf(info.effect));
    EXPECT_EQ(section(), bytesOf(info, 607));
    for (int property : {0, 4, -1}) EXPECT_EQ(setDeviceProperty(&info, property, gains.data()), -2);
    const unique_kernel_handle held(OpenFileMappingW(FILE_MAP_READ, FALSE, kSettingsSectionName));  // as the effect does
    ASSERT_EQ(getDeviceInfo(0, &info), 1);
    EXPECT_EQ(bytesOf(info.eqGains), gains) << "loaded as stored";
    ASSERT_EQ(releaseDeviceInfo(&info) + releaseDeviceInfo(&info), 2) << "twice is harmless";
    EXPECT_EQ(setDeviceProperty(&info, 3, Bytes(32, 1).data()), 1);
    EXPECT_EQ(stored(kEqGainValue), Bytes(32, 1));
    EXPECT_NE(section(), bytesOf(info, 607)) << "released: the registry only";
}

// Another process changing the settings waits while this one holds the lock, then leaves
// registry and section holding its block.
TEST_F(DeviceSettings, AnotherProcessWaitsForTheSettingsLock) {
    ASSERT_EQ(getDeviceInfo(0, &info), 1);  // keeps the section alive
    unique_kernel_handle process, thread;
    {
        const SettingsLock lock;
        ASSERT_TRUE(lock.held());
        STARTUPINFOW startup{sizeof startup};
        PROCESS_INFORMATION started{};
        wchar_t command[] = L"zolctl.exe eq set 1k=6";
        ASSERT_TRUE(CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup, &started));
        process.reset(started.hProcess), thread.reset(started.hThread);
        EXPECT_EQ(WaitForSingleObject(process.get(), 2000), static_cast<DWORD>(WAIT_TIMEOUT));
        EXPECT_EQ(stored(kEqGainValue), Bytes(32, 0)) << "written without the lock";
    }
    ASSERT_EQ(WaitForSingleObject(process.get(), 20000), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(stored(kEqGainValue).at(5), 6);
    const Bytes now = section();
    EXPECT_EQ(Bytes(now.begin() + std::min<size_t>(32, now.size()), now.end()), stored(kEffectValue));
}

}  // namespace
