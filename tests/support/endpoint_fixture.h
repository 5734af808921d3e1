// Audio endpoints laid out in the MMDevices tree the way Windows writes them, each under a fresh
// GUID and removed again (with any tree key it had to create) when the test ends.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "apo_install/bluetooth_search.h"

namespace zol::test {

// Class texts the installation tests put into effect slots: the kit's two effect classes, as the
// library writes them, and four other vendors' effects.
namespace classes {
inline const std::wstring kStreamText = L"{7E473820-7159-4426-A7D7-123DD7EB697D}";
inline const std::wstring kEndpointText = L"{D2C675CA-6F7D-446C-BE57-296224C134A6}";
inline const std::wstring kVendorA = L"{11111111-2222-3333-4444-555555555555}";
inline const std::wstring kVendorB = L"{66666666-7777-8888-9999-AAAAAAAAAAAA}";
inline const std::wstring kVendorC = L"{BBBBBBBB-CCCC-DDDD-EEEE-FFFFFFFFFFFF}";
inline const std::wstring kVendorD = L"{12345678-1234-1234-1234-123456789ABC}";
}  // namespace classes

std::wstring freshGuidText();

// Makes Wine write its own endpoints (from the PulseAudio sink) by using the audio stack once.
void touchAudioStack();

// A key created for the test; deleted with everything below it afterwards, and its parents up
// to the first one that existed before, so no empty tree keys are left behind.
class OwnedKey {
public:
    explicit OwnedKey(std::wstring path);
    ~OwnedKey();
    OwnedKey(const OwnedKey&) = delete;
    OwnedKey& operator=(const OwnedKey&) = delete;
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
    std::wstring topCreated_;  // outermost key this object created, or empty
};

class TestEndpoint {
public:
    TestEndpoint(bool capture, bool previousOs = false, std::wstring id = freshGuidText());

    const std::wstring& id() const { return id_; }
    const std::wstring& key() const { return key_.path(); }
    std::wstring properties() const { return key() + L"\\Properties"; }
    std::wstring fx() const { return key() + L"\\FxProperties"; }

    // Description, name (property 26) and hardware id (property 39), DeviceState 1.
    TestEndpoint& describe(const std::wstring& description, const std::wstring& name, const std::wstring& hardwareId);
    TestEndpoint& property(const std::wstring& name, const std::wstring& text);
    TestEndpoint& dwordProperty(const std::wstring& name, DWORD value);
    TestEndpoint& binaryProperty(const std::wstring& name, const std::vector<std::uint8_t>& bytes);
    TestEndpoint& deviceState(DWORD state);
    TestEndpoint& fxValue(const std::wstring& name, const std::wstring& text);  // creates FxProperties
    TestEndpoint& fxDword(const std::wstring& name, DWORD value);
    TestEndpoint& emptyFx();

private:
    std::wstring id_;
    OwnedKey key_;
};

// The endpoint's subkey of the child-effect store (and the store key itself when it had to be
// made), plus an optional oldest-layout value named after the endpoint id.
class TestChildStore {
public:
    explicit TestChildStore(const std::wstring& endpointId);
    ~TestChildStore();
    TestChildStore(const TestChildStore&) = delete;
    TestChildStore& operator=(const TestChildStore&) = delete;

    TestChildStore& value(const std::wstring& name, const std::wstring& text);  // in the endpoint subkey
    TestChildStore& legacyChild(const std::wstring& text);  // value named after the id, no subkey
    std::wstring subkey() const;

private:
    std::wstring endpointId_;
    bool storeCreated_ = false;
    bool productKeyCreated_ = false;
};

// Paired Bluetooth devices for the duration of a test, in the order the search reports them.
class PairedBluetoothDevices {
public:
    struct Device {
        std::wstring name;
        std::uint64_t address;
    };
    explicit PairedBluetoothDevices(std::vector<Device> devices);
    ~PairedBluetoothDevices();
    int visited() const { return *visited_; }  // devices handed out since construction

private:
    std::vector<Device> devices_;
    std::shared_ptr<int> visited_;
    zol::apo_install::BluetoothDeviceSearch previous_;
};

}  // namespace zol::test
