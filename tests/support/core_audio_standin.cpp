#include "support/core_audio_standin.h"

#include <stdexcept>

#include "support/scratch_key.h"
#include "support/test_paths.h"

namespace zol::test {
namespace {
const wchar_t* const kServerKey = L"HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\{BCDE0395-E52F-467C-8E3D-C4579291692E}\\InprocServer32";
const wchar_t* const kValues[2] = {L"", L"ThreadingModel"};
}  // namespace

CoreAudioStandin::CoreAudioStandin() {
    const std::wstring path = besideThisProgram(L"standin_core_audio.dll");
    module_.reset(LoadLibraryW(path.c_str()));  // first, so its state outlives every COM apartment of the test
    const FARPROC get = module_ ? GetProcAddress(module_.get(), "standin_state") : nullptr;
    if (!get) throw std::runtime_error("standin_core_audio.dll not found beside the test");
    state_ = reinterpret_cast<State* (*)()>(reinterpret_cast<void*>(get))();
    for (int i = 0; i < 2; ++i) {
        DWORD type = 0;
        std::string bytes;
        if (rawGetValue(kServerKey, kValues[i], &type, &bytes) && bytes.size() > 1)
            previous_[i].assign(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2 - 1);
    }
    rawSetText(kServerKey, kValues[0], path);
    rawSetText(kServerKey, kValues[1], L"Both");
    reset();
}

CoreAudioStandin::~CoreAudioStandin() {
    for (int i = 0; i < 2; ++i) previous_[i].empty() ? rawDeleteValue(kServerKey, kValues[i]) : rawSetText(kServerKey, kValues[i], previous_[i]);
}

void CoreAudioStandin::reset() { *state_ = State{{true, true}, {1.0f, 1.0f}, {FALSE, FALSE}, state_->liveObjects}; }

}  // namespace zol::test
