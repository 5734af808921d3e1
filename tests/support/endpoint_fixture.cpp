#include "support/endpoint_fixture.h"

#include <gtest/gtest.h>
#include <mmdeviceapi.h>
#include <objbase.h>
#include <wrl/client.h>

#include "apo_install/apo_info.h"
#include "apo_install/endpoint_catalogue.h"
#include "common/product_key.h"
#include "support/scratch_key.h"

namespace zol::test {

std::wstring freshGuidText() {
    GUID guid{};
    CoCreateGuid(&guid);
    wchar_t text[64] = {};
    StringFromGUID2(guid, text, 64);
    return text;
}

void touchAudioStack() {
    using Microsoft::WRL::ComPtr;
    const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    {
        ComPtr<IMMDeviceEnumerator> enumerator;
        if (SUCCEEDED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                       IID_PPV_ARGS(&enumerator)))) {
            ComPtr<IMMDeviceCollection> all;
            enumerator->EnumAudioEndpoints(eAll, DEVICE_STATEMASK_ALL, &all);
        }
    }
    if (SUCCEEDED(init)) CoUninitialize();
}

namespace {
// Wine writes its endpoints the first time the audio stack is used. Doing that before any test
// makes the flow keys Wine's own, so no fixture ever creates (and later deletes) them.
class AudioStackFirst : public ::testing::Environment {
public:
    void SetUp() override { touchAudioStack(); }
};
const auto* const kAudioStackFirst = ::testing::AddGlobalTestEnvironment(new AudioStackFirst);
}  // namespace

OwnedKey::OwnedKey(std::wstring path) : path_(std::move(path)) {
    // Find the outermost missing ancestor before creating anything.
    std::wstring probe = path_;
    while (!rawKeyExists(probe)) {
        topCreated_ = probe;
        const auto slash = probe.rfind(L'\\');
        if (slash == std::wstring::npos) break;
        probe.resize(slash);
    }
    rawCreateKey(path_);
}

OwnedKey::~OwnedKey() { rawDeleteTree(topCreated_.empty() ? path_ : topCreated_); }

TestEndpoint::TestEndpoint(bool capture, bool previousOs, std::wstring id)
    : id_(std::move(id)), key_(zol::apo_install::endpointKeyPath(previousOs, capture, id_)) {}

TestEndpoint& TestEndpoint::describe(const std::wstring& description, const std::wstring& name,
                                     const std::wstring& hardwareId) {
    namespace p = zol::apo_install::property;
    deviceState(1);
    property(p::kDeviceDescription, description);
    property(p::kEndpointName, name);
    return property(p::kHardwareId, hardwareId);
}

TestEndpoint& TestEndpoint::property(const std::wstring& name, const std::wstring& text) {
    rawSetText(properties(), name, text);
    return *this;
}

TestEndpoint& TestEndpoint::dwordProperty(const std::wstring& name, DWORD value) {
    rawSetValue(properties(), name, REG_DWORD, &value, sizeof value);
    return *this;
}

TestEndpoint& TestEndpoint::binaryProperty(const std::wstring& name, const std::vector<std::uint8_t>& bytes) {
    rawSetValue(properties(), name, REG_BINARY, bytes.data(), static_cast<DWORD>(bytes.size()));
    return *this;
}

TestEndpoint& TestEndpoint::deviceState(DWORD state) {
    rawSetValue(key(), L"DeviceState", REG_DWORD, &state, sizeof state);
    return *this;
}

TestEndpoint& TestEndpoint::fxValue(const std::wstring& name, const std::wstring& text) {
    rawSetText(fx(), name, text);
    return *this;
}

TestEndpoint& TestEndpoint::fxDword(const std::wstring& name, DWORD value) {
    rawSetValue(fx(), name, REG_DWORD, &value, sizeof value);
    return *this;
}

TestEndpoint& TestEndpoint::emptyFx() {
    rawCreateKey(fx());
    return *this;
}

TestChildStore::TestChildStore(const std::wstring& endpointId) : endpointId_(endpointId) {
    productKeyCreated_ = !rawKeyExists(zol::common::kProductKey);
    storeCreated_ = !rawKeyExists(zol::apo_install::kChildApoStoreKey);
    rawCreateKey(zol::apo_install::kChildApoStoreKey);
}

TestChildStore::~TestChildStore() {
    rawDeleteTree(subkey());
    rawDeleteValue(zol::apo_install::kChildApoStoreKey, endpointId_);
    if (productKeyCreated_)
        rawDeleteTree(zol::common::kProductKey);
    else if (storeCreated_)
        rawDeleteTree(zol::apo_install::kChildApoStoreKey);
}

std::wstring TestChildStore::subkey() const { return zol::apo_install::childApoStoreKeyPath(endpointId_); }

TestChildStore& TestChildStore::value(const std::wstring& name, const std::wstring& text) {
    rawSetText(subkey(), name, text);
    return *this;
}

TestChildStore& TestChildStore::legacyChild(const std::wstring& text) {
    rawSetText(zol::apo_install::kChildApoStoreKey, endpointId_, text);
    return *this;
}

PairedBluetoothDevices::PairedBluetoothDevices(std::vector<Device> devices)
    : devices_(std::move(devices)), visited_(std::make_shared<int>(0)) {
    previous_ = zol::apo_install::exchangeBluetoothDeviceSearch(
        [devices = devices_, visited = visited_](const zol::apo_install::BluetoothDeviceVisitor& visit) {
            for (const Device& device : devices) {
                ++*visited;
                if (visit(device.name, device.address)) return;
            }
        });
}

PairedBluetoothDevices::~PairedBluetoothDevices() { zol::apo_install::exchangeBluetoothDeviceSearch(std::move(previous_)); }

}  // namespace zol::test
