// The stand-in "ZolSoundAPO.dll" (tests/standins/effect_library) beside the test programs, where the
// library looks for the effect library. Defined in standin_services.cpp.
#pragma once

#include <string>

namespace zol::test {

std::wstring standInEffectLibraryPath();
// Whether HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32 exists for the stream effect class.
bool effectClassRegistered();
void removeEffectClasses();

// Makes the stand-in's DllRegisterServer / DllUnregisterServer fail while it lives.
class EffectLibraryFailure {
public:
    explicit EffectLibraryFailure(const wchar_t* which);  // "register", "unregister" or "both"
    ~EffectLibraryFailure();
    EffectLibraryFailure(const EffectLibraryFailure&) = delete;
    EffectLibraryFailure& operator=(const EffectLibraryFailure&) = delete;
};

}  // namespace zol::test
