// The stand-in "ZolSoundAPO.dll"'s classes and switches, shared with the tests that drive it.
#pragma once

#define ZOL_STANDIN_STREAM_EFFECT_CLSID L"{7E473820-7159-4426-A7D7-123DD7EB697D}"
#define ZOL_STANDIN_ENDPOINT_EFFECT_CLSID L"{D2C675CA-6F7D-446C-BE57-296224C134A6}"
// Read on every call: "register", "unregister" or "both" makes that call fail untouched.
#define ZOL_STANDIN_APO_FAIL_VARIABLE L"ZOL_STANDIN_APO_FAIL"
// Names a journal file: each call appends "ZolSoundAPO <export>".
#define ZOL_STANDIN_JOURNAL_VARIABLE L"ZOL_STANDIN_JOURNAL"
