// COM for the calling thread, for as long as one operation runs.
#pragma once

#include <objbase.h>

namespace zol::common {

// Balances a successful CoInitializeEx (S_FALSE included) and nothing else: on a thread in a
// multithreaded apartment the call fails and the thread's COM state is left alone.
class ApartmentScope {
public:
    ApartmentScope() : initialised_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ApartmentScope() {
        if (initialised_) CoUninitialize();
    }
    ApartmentScope(const ApartmentScope&) = delete;
    ApartmentScope& operator=(const ApartmentScope&) = delete;
    bool ok() const { return initialised_; }

private:
    bool initialised_;
};

}  // namespace zol::common
