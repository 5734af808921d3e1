// Registry access that bypasses the library, for building fixtures and checking results, and a
// scratch key of the test's own, deleted with everything below it.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "common/unique_handle.h"

namespace zol::registry {
class RegistryException;  // complete wherever registryMessageOf is used
}

namespace zol::test {

class ScratchKey {  // ROOT\Software\ZolTests\<name>-<pid>
public:
    explicit ScratchKey(const std::wstring& name, const std::wstring& root = L"HKEY_CURRENT_USER");
    ~ScratchKey();
    ScratchKey(const ScratchKey&) = delete;
    ScratchKey& operator=(const ScratchKey&) = delete;
    const std::wstring& path() const { return path_; }
    std::wstring sub(const std::wstring& relative) const { return path_ + L"\\" + relative; }

private:
    std::wstring path_;
};

// A key by its full path ("HKEY_LOCAL_MACHINE\\..."), in the 64-bit view; empty when it cannot be opened.
common::unique_hkey openRaw(const std::wstring& fullPath, REGSAM access, bool create = false);
void rawSetValue(const std::wstring& fullPath, const std::wstring& name, DWORD type, const void* data, DWORD size);
bool rawGetValue(const std::wstring& fullPath, const std::wstring& name, DWORD* type, std::string* bytes);
void rawSetText(const std::wstring& fullPath, const std::wstring& name, const std::wstring& text);  // REG_SZ
void rawDeleteValue(const std::wstring& fullPath, const std::wstring& name);                       // if there
void rawCreateKey(const std::wstring& fullPath);
bool rawKeyExists(const std::wstring& fullPath);
void rawDeleteTree(const std::wstring& fullPath);
void rawSetKeySecurity(const std::wstring& fullPath, const wchar_t* sddl);  // owner, group, DACL: all three, as Wine stores them

// The DACL of a kernel object as SDDL ("" when unreadable), and this process's user SID as SDDL text.
std::string kernelObjectDacl(HANDLE object);
std::string currentUserSid();
std::string narrow(const std::wstring& text);  // UTF-8, for assertion messages
std::wstring widen(const std::string& text);

// The message of the exception E (with message()) that `body` raises, or nothing.
template <typename E, typename F>
std::optional<std::wstring> raisedMessage(F&& body) {
    try {
        body();
    } catch (const E& e) {
        return e.message();
    }
    return std::nullopt;
}

template <typename F>
std::string registryMessageOf(F&& body) {
    const auto message = raisedMessage<zol::registry::RegistryException>(body);
    return message ? narrow(*message) : "(no exception)";
}

}  // namespace zol::test
