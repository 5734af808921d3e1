// Registry reads by full key path ("HKEY_LOCAL_MACHINE\\SOFTWARE\\..."), always in the 64-bit view.
// Each operation opens its key, does one thing and closes it again before returning or raising.
// Nothing here writes: a program that may only look links this part alone.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "common/unique_handle.h"

namespace zol::registry {

// The toolkit's only error: a composed English message, nothing else.
class RegistryException {
public:
    explicit RegistryException(std::wstring message) : message_(std::move(message)) {}
    const std::wstring& message() const noexcept { return message_; }

private:
    std::wstring message_;
};

// Access masks; every one carries KEY_WOW64_64KEY.
constexpr REGSAM kQueryAccess = KEY_QUERY_VALUE | KEY_WOW64_64KEY;             // 0x0101
constexpr REGSAM kSetAccess = KEY_SET_VALUE | KEY_WOW64_64KEY;                 // 0x0102
constexpr REGSAM kEnumerateAccess = KEY_ENUMERATE_SUB_KEYS | KEY_WOW64_64KEY;  // 0x0108
constexpr REGSAM kDaclAccess = READ_CONTROL | WRITE_DAC | KEY_WOW64_64KEY;     // 0x60100
constexpr REGSAM kOwnerAccess = WRITE_OWNER | KEY_WOW64_64KEY;                 // 0x80100

bool keyExists(const std::wstring& keyPath);
bool valueExists(const std::wstring& keyPath, const std::wstring& valueName);

std::wstring readStringValue(const std::wstring& keyPath, const std::wstring& valueName);
// A REG_DWORD stored with fewer than four bytes is refused with the wrong-type message:
// there is no number to read in it, and guessing the missing bytes would invent data.
std::uint32_t readDwordValue(const std::wstring& keyPath, const std::wstring& valueName);
std::vector<std::uint8_t> readBinaryValue(const std::wstring& keyPath, const std::wstring& valueName);
// Reads at most `size` bytes into `buffer`; a stored value longer than that is cut to `size`
// (never written past the buffer), a shorter one leaves the rest of the buffer as it was.
void readBinaryValueInto(const std::wstring& keyPath, const std::wstring& valueName, void* buffer,
                         std::uint32_t size);

std::vector<std::wstring> listSubkeys(const std::wstring& keyPath);
bool isKeyEmpty(const std::wstring& keyPath);

// --- internal, shared with the writes and the permission repair ---
std::pair<HKEY, std::wstring> splitKeyPath(const std::wstring& keyPath);
// Logs a failed open and yields an empty handle instead of raising.
common::unique_hkey openKey(const std::wstring& keyPath, REGSAM access);

std::wstring valuePath(const std::wstring& keyPath, const std::wstring& valueName);
// Raises "<prefix><object>: <system text of code>".
[[noreturn]] void raise(const wchar_t* prefix, const std::wstring& object, LONG code);

}  // namespace zol::registry
