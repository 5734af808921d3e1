// What the stand-in "ZolSoundAPO.dll" exports beyond the registration pair, and its switches.
// Shared by the stand-in itself and by the tests that drive it.
#pragma once

#include <windows.h>

// The two effect classes the stand-in registers under HKEY_CLASSES_ROOT\CLSID.
#define ZOL_STANDIN_STREAM_EFFECT_CLSID L"{7E473820-7159-4426-A7D7-123DD7EB697D}"
#define ZOL_STANDIN_ENDPOINT_EFFECT_CLSID L"{D2C675CA-6F7D-446C-BE57-296224C134A6}"

// Environment switch read on every call: "register", "unregister" or "both" makes that call
// return ZOL_STANDIN_FAILURE without touching the registry.
#define ZOL_STANDIN_APO_FAIL_VARIABLE L"ZOL_STANDIN_APO_FAIL"
#define ZOL_STANDIN_FAILURE ((HRESULT)0x80040201L) /* SELFREG_E_CLASS */
// Environment variable naming a journal file: each call appends "ZolSoundAPO <export>".
#define ZOL_STANDIN_JOURNAL_VARIABLE L"ZOL_STANDIN_JOURNAL"

// Reads the settings section the way the real effect does. Copies up to `capacity` payload bytes
// (those after the u32 size at byte 0) into `payload` and returns the stored payload size, or
// -1 when the section cannot be opened or mapped.
typedef LONG(WINAPI* ZolStandInReadSettingsFn)(BYTE* payload, DWORD capacity);
#define ZOL_STANDIN_READ_SETTINGS_EXPORT "ZolStandInReadSettings"
#define ZOL_STANDIN_SETTINGS_SECTION L"Global\\{372E213D-95EA-4306-A914-F50DB21A21CE}"
#define ZOL_STANDIN_SETTINGS_SECTION_SIZE 8188
