#include "support/core_audio_standin.h"
#include "support/test_paths.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "support/scratch_key.h"

namespace zol::test {
namespace {

const wchar_t* const kServerKey =
    L"HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\{BCDE0395-E52F-467C-8E3D-C4579291692E}\\InprocServer32";

std::wstring readText(const std::wstring& key, const wchar_t* name, bool* found) {
    DWORD type = 0;
    std::string bytes;
    *found = rawGetValue(key, name, &type, &bytes) && (type == REG_SZ || type == REG_EXPAND_SZ);
    if (!*found) return {};
    std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
}

template <typename F>
void bind(HMODULE module, const char* name, F*& target) {
    target = reinterpret_cast<F*>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    if (target == nullptr) throw std::runtime_error(std::string("stand-in lacks ") + name);
}

}  // namespace

CoreAudioStandin::CoreAudioStandin() {
    const std::wstring path = besideThisProgram(L"standin_core_audio.dll");
    // Loaded here first so the states it keeps outlive every COM apartment of the test.
    module_ = LoadLibraryW(path.c_str());
    if (module_ == nullptr) throw std::runtime_error("standin_core_audio.dll not found beside the test");
    bind(module_, "standin_set_level", setLevel_);
    bind(module_, "standin_level", level_);
    bind(module_, "standin_set_mute", setMute_);
    bind(module_, "standin_mute", mute_);
    bind(module_, "standin_set_present", setPresent_);
    bind(module_, "standin_fail_client_activation", failClientActivation_);
    bind(module_, "standin_live_objects", liveObjects_);
    bind(module_, "standin_last_role", lastRole_);
    bind(module_, "standin_last_clsctx", lastClsCtx_);

    previousServer_ = readText(kServerKey, L"", &hadRegistration_);
    previousThreading_ = readText(kServerKey, L"ThreadingModel", &hadThreading_);
    rawCreateKey(kServerKey);
    rawSetText(kServerKey, L"", path);
    rawSetText(kServerKey, L"ThreadingModel", L"Both");
    reset();
}

CoreAudioStandin::~CoreAudioStandin() {
    if (hadRegistration_) {
        rawSetText(kServerKey, L"", previousServer_);
        if (hadThreading_)
            rawSetText(kServerKey, L"ThreadingModel", previousThreading_);
        else
            rawDeleteValue(kServerKey, L"ThreadingModel");
    } else {
        rawDeleteTree(kServerKey);
    }
    FreeLibrary(module_);
}

void CoreAudioStandin::reset() {
    for (int flow = 0; flow < 2; ++flow) {
        setPresent(flow, true);
        setLevel(flow, 1.0f);
        setMute(flow, FALSE);
    }
    failClientActivation(false);
}

}  // namespace zol::test
