// A registry key of the test's own under a fixed test root, deleted with everything below it
// when the test ends, so registry tests leave the prefix as they found it.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

// Complete wherever registryMessageOf is used: in suites that link the registry.
namespace zol::registry {
class RegistryException;
}

namespace zol::test {

class ScratchKey {
public:
    // root: "HKEY_CURRENT_USER" or "HKEY_LOCAL_MACHINE"; the key is ROOT\Software\ZolTests\<name>-<pid>.
    explicit ScratchKey(const std::wstring& name, const std::wstring& root = L"HKEY_CURRENT_USER");
    ~ScratchKey();
    ScratchKey(const ScratchKey&) = delete;
    ScratchKey& operator=(const ScratchKey&) = delete;

    const std::wstring& path() const { return path_; }  // full path, as the library takes it
    std::wstring sub(const std::wstring& relative) const { return path_ + L"\\" + relative; }

private:
    HKEY root_;
    std::wstring subkey_;
    std::wstring path_;
};

// Raw helpers that bypass the library, for building fixtures and checking results.
void rawSetValue(const std::wstring& fullPath, const std::wstring& name, DWORD type, const void* data, DWORD size);
bool rawGetValue(const std::wstring& fullPath, const std::wstring& name, DWORD* type, std::string* bytes);
void rawCreateKey(const std::wstring& fullPath);
bool rawKeyExists(const std::wstring& fullPath);
void rawDeleteTree(const std::wstring& fullPath);
HKEY rawRoot(const std::wstring& fullPath, std::wstring* subkey);
void rawSetText(const std::wstring& fullPath, const std::wstring& name, const std::wstring& text);  // REG_SZ
void rawDeleteValue(const std::wstring& fullPath, const std::wstring& name);  // quietly, if there
// Owner, group and DACL written together from SDDL (the one combination Wine stores as given).
void rawSetKeySecurity(const std::wstring& fullPath, const wchar_t* sddl);

// The DACL of a kernel object as SDDL ("" when unreadable), and this process's user SID as SDDL text.
std::string kernelObjectDacl(HANDLE object);
std::string currentUserSid();

std::string narrow(const std::wstring& text);  // for messages in assertions
std::wstring widen(const std::string& text);

// The message of the exception of type E (a library exception with message()) that `body`
// raises, or nothing when it raises none.
template <typename E, typename F>
std::optional<std::wstring> raisedMessage(F&& body) {
    try {
        body();
    } catch (const E& e) {
        return e.message();
    }
    return std::nullopt;
}

// The message of the RegistryException that `body` raises, or "(no exception)".
template <typename F>
std::string registryMessageOf(F&& body) {
    const auto message = raisedMessage<zol::registry::RegistryException>(body);
    return message ? narrow(*message) : "(no exception)";
}

}  // namespace zol::test
