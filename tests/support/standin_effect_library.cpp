#include "support/standin_effect_library.h"
#include "support/test_paths.h"

#include <stdexcept>

#include "common/unique_handle.h"
#include "standins/effect_library/effect_library_switches.h"

namespace zol::test {

namespace {

bool classRegistered(const wchar_t* clsid) {
    HKEY key = nullptr;
    std::wstring path = std::wstring(L"CLSID\\") + clsid + L"\\InprocServer32";
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

}  // namespace

std::wstring standInEffectLibraryPath() { return besideThisProgram(L"ZolSoundAPO.dll"); }

bool streamEffectClassRegistered() { return classRegistered(ZOL_STANDIN_STREAM_EFFECT_CLSID); }
bool endpointEffectClassRegistered() { return classRegistered(ZOL_STANDIN_ENDPOINT_EFFECT_CLSID); }

void removeEffectClasses() {
    HKEY classes = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID", 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, &classes) != ERROR_SUCCESS)
        return;
    RegDeleteTreeW(classes, ZOL_STANDIN_STREAM_EFFECT_CLSID);
    RegDeleteTreeW(classes, ZOL_STANDIN_ENDPOINT_EFFECT_CLSID);
    RegCloseKey(classes);
}

EffectLibraryFailure::EffectLibraryFailure(const wchar_t* which) {
    SetEnvironmentVariableW(ZOL_STANDIN_APO_FAIL_VARIABLE, which);
}

EffectLibraryFailure::~EffectLibraryFailure() { SetEnvironmentVariableW(ZOL_STANDIN_APO_FAIL_VARIABLE, nullptr); }

std::optional<std::vector<std::uint8_t>> settingsSeenByEffectLibrary(std::uint32_t capacity) {
    common::unique_module library(
        LoadLibraryExW(standInEffectLibraryPath().c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!library) throw std::runtime_error("the stand-in ZolSoundAPO.dll does not load");
    auto read = reinterpret_cast<ZolStandInReadSettingsFn>(
        reinterpret_cast<void*>(GetProcAddress(library.get(), ZOL_STANDIN_READ_SETTINGS_EXPORT)));
    if (!read) throw std::runtime_error("the stand-in ZolSoundAPO.dll lacks its settings reader");
    std::vector<std::uint8_t> payload(capacity);
    LONG size = read(payload.data(), capacity);
    if (size < 0) return std::nullopt;
    payload.resize(static_cast<std::uint32_t>(size) < capacity ? static_cast<std::uint32_t>(size) : capacity);
    return payload;
}

}  // namespace zol::test
