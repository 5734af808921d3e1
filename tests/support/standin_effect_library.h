// Helpers around the stand-in "ZolSoundAPO.dll" (tests/standins/effect_library), which the
// build puts beside the test programs, where the library looks for the effect library.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zol::test {

// Full path of the stand-in beside the running test program.
std::wstring standInEffectLibraryPath();

// Whether HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32 exists for each effect class.
bool streamEffectClassRegistered();
bool endpointEffectClassRegistered();
// Removes both class keys, so a test starts from "not registered".
void removeEffectClasses();

// Makes the stand-in's DllRegisterServer / DllUnregisterServer fail while it lives.
// which: "register", "unregister" or "both".
class EffectLibraryFailure {
public:
    explicit EffectLibraryFailure(const wchar_t* which);
    ~EffectLibraryFailure();
    EffectLibraryFailure(const EffectLibraryFailure&) = delete;
    EffectLibraryFailure& operator=(const EffectLibraryFailure&) = delete;
};

// What the stand-in reads from the settings section: the payload (size given at byte 0, at
// most `capacity` bytes of it), or nothing when the section cannot be opened.
std::optional<std::vector<std::uint8_t>> settingsSeenByEffectLibrary(std::uint32_t capacity = 8184);

}  // namespace zol::test
