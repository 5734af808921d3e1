// Audio endpoints laid out in the MMDevices tree the way Windows writes them, each under a fresh
// GUID and removed (with any tree key made for it) afterwards; reading back what the installation left.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "apo_install/bluetooth_search.h"

namespace zol::test {

namespace classes {  // the kit's two effect classes as the library writes them, and other vendors' effects
inline const std::wstring kStreamText = L"{7E473820-7159-4426-A7D7-123DD7EB697D}";
inline const std::wstring kEndpointText = L"{D2C675CA-6F7D-446C-BE57-296224C134A6}";
inline const std::wstring kVendorA = L"{11111111-2222-3333-4444-555555555555}";
inline const std::wstring kVendorB = L"{66666666-7777-8888-9999-AAAAAAAAAAAA}";
inline const std::wstring kVendorC = L"{BBBBBBBB-CCCC-DDDD-EEEE-FFFFFFFFFFFF}";
}  // namespace classes

std::wstring freshGuidText();

class TestEndpoint {
public:
    explicit TestEndpoint(bool capture, bool previousOs = false, std::wstring id = freshGuidText());
    ~TestEndpoint();
    TestEndpoint(const TestEndpoint&) = delete;
    TestEndpoint& operator=(const TestEndpoint&) = delete;
    const std::wstring& id() const { return id_; }
    const std::wstring& key() const { return key_; }
    std::wstring properties() const { return key_ + L"\\Properties"; }
    std::wstring fx() const { return key_ + L"\\FxProperties"; }
    // Description, name (property 26) and hardware id (property 39), DeviceState 1.
    TestEndpoint& describe(const std::wstring& description, const std::wstring& name, const std::wstring& hardwareId);
    TestEndpoint& property(const std::wstring& name, const std::wstring& text);
    TestEndpoint& deviceState(DWORD state);
    TestEndpoint& fxValue(const std::wstring& name, const std::wstring& text);  // creates FxProperties
    TestEndpoint& fxDword(const std::wstring& name, DWORD value);
    TestEndpoint& emptyFx() { return fxValue({}, {}); }

private:
    std::wstring id_, key_, topCreated_;  // the outermost key made for it
};

// HKLM\SOFTWARE\ZolSoundKit and its child-effect store: deleted afterwards when absent before.
struct ProductKeyGuard {
    ProductKeyGuard();
    ~ProductKeyGuard();
    const bool keyExisted, storeExisted;
};

// Paired Bluetooth devices (name, address) while it lives, in the order the search reports them.
class PairedBluetoothDevices {
public:
    explicit PairedBluetoothDevices(std::vector<std::pair<std::wstring, std::uint64_t>> devices);
    ~PairedBluetoothDevices();
    int visited() const { return *visited_; }  // devices handed out since construction

private:
    std::shared_ptr<int> visited_ = std::make_shared<int>(0);
    zol::apo_install::BluetoothDeviceSearch previous_;
};

struct StoredValue {  // a registry value as stored
    DWORD type = 0;
    std::string bytes;
    bool operator==(const StoredValue& o) const { return type == o.type && bytes == o.bytes; }
};
std::optional<StoredValue> storedValue(const std::wstring& key, const std::wstring& name);
std::wstring storedText(const std::wstring& key, const std::wstring& name);  // or "<absent>" / "<type N>"
// Every value and key below a key, by relative path ("\\sub\\name"; a key as "\\sub\\").
std::map<std::wstring, StoredValue> storedTree(const std::wstring& key);
bool installedOn(const std::wstring& endpointId);  // as a fresh load sees it

}  // namespace zol::test
