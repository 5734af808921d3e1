// Ends the process right after the k-th registry change, k taken from ZOL_FAULT_AT when the DLL
// loads. TerminateProcess gives no chance to clean up, as a power cut or a killed host would.
#include <windows.h>

#include <atomic>
#include <cstdlib>

#include "registry/registry.h"

namespace {

constexpr UINT kEndedByFault = 0xDEAD;
std::atomic<long> remaining{0};

void countChange() {
    if (--remaining == 0) TerminateProcess(GetCurrentProcess(), kEndedByFault);
}

const bool installed = [] {
    wchar_t text[32] = {};
    remaining = GetEnvironmentVariableW(L"ZOL_FAULT_AT", text, 32) ? std::wcstol(text, nullptr, 10) : 0;
    return remaining > 0 && (zol::registry::setChangeObserver(countChange), true);
}();

}  // namespace
