// Helpers for the tests that install and remove the effect: the product key left as it was
// found, and reading what ended up in the registry.
#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zol::test {

// Deletes HKLM\SOFTWARE\ZolSoundKit afterwards when it did not exist before.
class ProductKeyGuard {
public:
    ProductKeyGuard();
    ~ProductKeyGuard();
    ProductKeyGuard(const ProductKeyGuard&) = delete;
    ProductKeyGuard& operator=(const ProductKeyGuard&) = delete;

private:
    bool existed_;
};

// A registry value as stored: type and bytes; nothing when the value (or key) is absent.
struct StoredValue {
    DWORD type = 0;
    std::string bytes;
    bool operator==(const StoredValue& other) const { return type == other.type && bytes == other.bytes; }
};
std::optional<StoredValue> storedValue(const std::wstring& key, const std::wstring& name);
// The REG_SZ text of a value, or "<absent>" / "<type N>" so that assertions say what was found.
std::wstring storedText(const std::wstring& key, const std::wstring& name);
std::optional<DWORD> storedDword(const std::wstring& key, const std::wstring& name);
// Every value below a key (subkeys too when `deep`), by relative path "\\sub\\name"; each key
// itself appears as "\\sub\\" with an empty value. Empty when the key is absent.
std::map<std::wstring, StoredValue> storedTree(const std::wstring& key, bool deep = true);
// Whether the effect is installed on the endpoint, as a fresh load sees it.
bool installedOn(const std::wstring& endpointId, bool previousOs = false);

}  // namespace zol::test
