#include "exports/boundary.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <exception>

#include "apo_install/service_control.h"
#include "log/debug_log.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace zol::exports {

namespace {

std::atomic<int> format{static_cast<int>(ExceptionFormat::Msvc)};

// The host's view of the exception, as Microsoft's x64 compiler lays it out: class
// RegistryException { std::wstring message; }, the string in its release layout.
struct MsvcWString {
    static constexpr std::uint64_t kSmallCapacity = 7;
    union {
        wchar_t small[kSmallCapacity + 1];
        wchar_t* large;
    };
    std::uint64_t size;
    std::uint64_t capacity;
};
struct MsvcRegistryException {
    MsvcWString message;
};
static_assert(sizeof(MsvcRegistryException) == 32);
static_assert(sizeof(MsvcRegistryException) == sizeof(detail::MsvcThrownObject));

// The run-time type records of a MSVC x64 throw; every reference is an offset from the image
// base of the module that holds them (this DLL).
constexpr char kTypeName[] = ".?AVRegistryException@@";
struct TypeDescriptor {
    const void* vftable;  // type_info's; catch clauses compare names, never call through it
    void* spare;
    char name[sizeof kTypeName];
};
struct CatchableType {
    std::uint32_t properties;  // 0: a class with a copy constructor, no virtual base
    std::int32_t type;
    std::int32_t memberDisplacement, vbtableDisplacement, vbaseDisplacement;
    std::int32_t size;
    std::int32_t copyFunction;
};
struct CatchableTypeArray {
    std::int32_t count;
    std::int32_t types[1];
};
struct ThrowInfo {
    std::uint32_t attributes;
    std::int32_t destructor;
    std::int32_t forwardCompat;
    std::int32_t catchableTypes;
};
struct ThrowRecords {
    TypeDescriptor type;
    CatchableType catchable;
    CatchableTypeArray catchableArray;
    ThrowInfo info;
};

constexpr DWORD kMsvcExceptionCode = 0xE06D7363;
constexpr ULONG_PTR kMsvcMagic = 0x19930520;

std::int32_t rva(const void* p) {
    return static_cast<std::int32_t>(reinterpret_cast<const char*>(p) - reinterpret_cast<const char*>(&__ImageBase));
}

// The message's characters live in the process heap: that is where the host's CRT (UCRT)
// allocates too, so a host that takes the string over frees it in the same heap.
bool assign(MsvcWString& to, const wchar_t* text, std::uint64_t length) noexcept {
    to.size = length;
    if (length <= MsvcWString::kSmallCapacity) {
        std::memcpy(to.small, text, length * sizeof(wchar_t));
        to.small[length] = L'\0';
        to.capacity = MsvcWString::kSmallCapacity;
        return true;
    }
    void* block = HeapAlloc(GetProcessHeap(), 0, (length + 1) * sizeof(wchar_t));
    if (!block) return false;
    to.large = static_cast<wchar_t*>(block);
    std::memcpy(to.large, text, length * sizeof(wchar_t));
    to.large[length] = L'\0';
    to.capacity = length;
    return true;
}

void release(MsvcWString& s) noexcept {
    if (s.capacity > MsvcWString::kSmallCapacity) HeapFree(GetProcessHeap(), 0, s.large);
    s.size = 0;
    s.capacity = MsvcWString::kSmallCapacity;
    s.small[0] = L'\0';
}

// Called by the host's runtime with the MSVC x64 member-function convention (this first).
MsvcRegistryException* copyRegistryException(MsvcRegistryException* to, const MsvcRegistryException* from) {
    const MsvcWString& source = from->message;
    const wchar_t* text = source.capacity > MsvcWString::kSmallCapacity ? source.large : source.small;
    // A copy constructor has no way to report failure but an exception, which cannot leave here:
    // without memory the copy is empty.
    if (!assign(to->message, text, source.size)) assign(to->message, L"", 0);
    return to;
}

void destroyRegistryException(MsvcRegistryException* self) { release(self->message); }

const ThrowRecords& throwRecords() {
    static ThrowRecords records;
    static const bool filled = [] {
        std::memcpy(records.type.name, kTypeName, sizeof kTypeName);
        records.catchable.type = rva(&records.type);
        records.catchable.vbtableDisplacement = -1;
        records.catchable.size = sizeof(MsvcRegistryException);
        records.catchable.copyFunction = rva(reinterpret_cast<const void*>(&copyRegistryException));
        records.catchableArray.count = 1;
        records.catchableArray.types[0] = rva(&records.catchable);
        records.info.destructor = rva(reinterpret_cast<const void*>(&destroyRegistryException));
        records.info.catchableTypes = rva(&records.catchableArray);
        return true;
    }();
    (void)filled;
    return records;
}

}  // namespace

void setExceptionFormat(ExceptionFormat f) noexcept { format.store(static_cast<int>(f)); }

ExceptionFormat exceptionFormat() noexcept { return static_cast<ExceptionFormat>(format.load()); }

namespace detail {

void reportContained(const char* exportName) noexcept {
    try {
        throw;
    } catch (const registry::RegistryException& e) {
        log::trace(L":%S failed: %s", exportName, e.message().c_str());
    } catch (const apo_install::ServiceException& e) {
        log::trace(L":%S failed: %s", exportName, e.message().c_str());
    } catch (const std::exception& e) {
        log::trace(L":%S failed: %S", exportName, e.what());
    } catch (...) {
        log::trace(L":%S failed: unknown exception", exportName);
    }
}

bool makeMsvcRegistryException(MsvcThrownObject& object, const std::wstring& message) noexcept {
    auto* thrown = reinterpret_cast<MsvcRegistryException*>(object.bytes);
    return assign(thrown->message, message.c_str(), message.size());
}

void raiseMsvcRegistryException(MsvcThrownObject& object) {
    const ULONG_PTR arguments[4] = {kMsvcMagic, reinterpret_cast<ULONG_PTR>(object.bytes),
                                    reinterpret_cast<ULONG_PTR>(&throwRecords().info),
                                    reinterpret_cast<ULONG_PTR>(&__ImageBase)};
    RaiseException(kMsvcExceptionCode, EXCEPTION_NONCONTINUABLE, 4, arguments);
    // A noncontinuable exception never comes back; should a handler try, the process ends here.
    std::terminate();
}

}  // namespace detail

}  // namespace zol::exports

// The one export that is not the kit's: hosts built with GCC ask for the registry failure they catch.
extern "C" int __cdecl _SetRegistryExceptionFormat(int format) {
    using namespace zol::exports;
    return guarded("_SetRegistryExceptionFormat", Registry::Contained, 0, [format] {
        if (format != static_cast<int>(ExceptionFormat::Msvc) && format != static_cast<int>(ExceptionFormat::Gcc)) return 0;
        setExceptionFormat(static_cast<ExceptionFormat>(format));
        return 1;
    });
}
