#include "support/standin_effect_library.h"

#include "standins/effect_library/effect_library_switches.h"
#include "support/scratch_key.h"
#include "support/test_paths.h"

namespace zol::test {

std::wstring standInEffectLibraryPath() { return besideThisProgram(L"ZolSoundAPO.dll"); }

bool effectClassRegistered() {
    return rawKeyExists(L"HKEY_CLASSES_ROOT\\CLSID\\" ZOL_STANDIN_STREAM_EFFECT_CLSID L"\\InprocServer32");
}

void removeEffectClasses() {
    rawDeleteTree(L"HKEY_CLASSES_ROOT\\CLSID\\" ZOL_STANDIN_STREAM_EFFECT_CLSID);
    rawDeleteTree(L"HKEY_CLASSES_ROOT\\CLSID\\" ZOL_STANDIN_ENDPOINT_EFFECT_CLSID);
}

EffectLibraryFailure::EffectLibraryFailure(const wchar_t* which) {
    SetEnvironmentVariableW(ZOL_STANDIN_APO_FAIL_VARIABLE, which);
}

EffectLibraryFailure::~EffectLibraryFailure() { SetEnvironmentVariableW(ZOL_STANDIN_APO_FAIL_VARIABLE, nullptr); }

}  // namespace zol::test
