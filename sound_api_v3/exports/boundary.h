// The one way into the library from outside: every export runs its body through `guarded`, which
// decides in one place what may leave the DLL. A registry failure leaves only the exports that
// hand it to the host, in the format the host catches (MSVC x64 by default, GCC's on request);
// anything else becomes the export's failure value and one log line, because an exception the
// host's compiler cannot catch ends the host's process.
#pragma once

#include "registry/registry_read.h"

namespace zol::exports {

// What a registry failure does in the export that meets it.
enum class Registry { PassesOut, Contained };

// The format a passing registry failure leaves in, for the whole process.
enum class ExceptionFormat : int { Msvc = 0, Gcc = 1 };
void setExceptionFormat(ExceptionFormat format) noexcept;
ExceptionFormat exceptionFormat() noexcept;

namespace detail {
// Logs "[brisol]:<export> failed: <what>" for the exception being handled.
void reportContained(const char* exportName) noexcept;

// Room for the MSVC-format RegistryException. It lives in the export's own frame, which stays in
// place until the host's catch block has finished with it, as the object of a MSVC throw does.
struct MsvcThrownObject {
    alignas(8) unsigned char bytes[32];
};
// Fills `object` with a copy of `message`; false when memory ran out.
bool makeMsvcRegistryException(MsvcThrownObject& object, const std::wstring& message) noexcept;
[[noreturn]] void raiseMsvcRegistryException(MsvcThrownObject& object);
}  // namespace detail

template <typename Result, typename Body>
Result guarded(const char* exportName, Registry registry, Result failure, Body&& body) {
    detail::MsvcThrownObject thrown;
    try {
        return body();
    } catch (const registry::RegistryException& e) {
        if (registry == Registry::PassesOut && exceptionFormat() == ExceptionFormat::Gcc) throw;
        if (registry == Registry::Contained || !detail::makeMsvcRegistryException(thrown, e.message())) {
            detail::reportContained(exportName);
            return failure;
        }
    } catch (...) {
        detail::reportContained(exportName);
        return failure;
    }
    // Raised outside the catch block, with nothing of GCC's left to unwind in this frame.
    detail::raiseMsvcRegistryException(thrown);
}

template <typename Body>
void guarded(const char* exportName, Registry registry, Body&& body) {
    guarded(exportName, registry, 0, [&] {
        body();
        return 0;
    });
}

}  // namespace zol::exports
