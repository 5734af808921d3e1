#include "support/endpoint_fixture.h"

#include <gtest/gtest.h>
#include <mmdeviceapi.h>
#include <objbase.h>
#include <wrl/client.h>

#include "apo_install/apo_info.h"
#include "apo_install/endpoint_catalogue.h"
#include "common/product_key.h"
#include "common/unique_handle.h"
#include "support/scratch_key.h"

namespace zol::test {

namespace {
// Wine writes its endpoints when the audio stack is first used: before any test, so no endpoint makes the flow keys.
struct AudioStackFirst : ::testing::Environment {
    void SetUp() override {
        const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        Microsoft::WRL::ComPtr<IMMDeviceEnumerator> enumerator;
        Microsoft::WRL::ComPtr<IMMDeviceCollection> all;
        if (SUCCEEDED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, IID_PPV_ARGS(&enumerator))))
            enumerator->EnumAudioEndpoints(eAll, DEVICE_STATEMASK_ALL, &all);
        all.Reset(), enumerator.Reset();
        if (SUCCEEDED(init)) CoUninitialize();
    }
};
const auto* const kAudioStackFirst = ::testing::AddGlobalTestEnvironment(new AudioStackFirst);
}  // namespace

std::wstring freshGuidText() {
    GUID guid{};
    wchar_t text[64] = {};
    return CoCreateGuid(&guid), StringFromGUID2(guid, text, 64), text;
}

TestEndpoint::TestEndpoint(bool capture, bool previousOs, std::wstring id)
    : id_(std::move(id)), key_(apo_install::endpointKeyPath(previousOs, capture, id_)) {
    for (std::wstring probe = key_; !rawKeyExists(probe); probe.resize(probe.rfind(L'\\'))) topCreated_ = probe;
    rawCreateKey(key_);
}

TestEndpoint::~TestEndpoint() { rawDeleteTree(topCreated_.empty() ? key_ : topCreated_); }

TestEndpoint& TestEndpoint::describe(const std::wstring& description, const std::wstring& name, const std::wstring& hardwareId) {
    namespace p = apo_install::property;
    return deviceState(1).property(p::kDeviceDescription, description).property(p::kEndpointName, name).property(p::kHardwareId, hardwareId);
}

TestEndpoint& TestEndpoint::property(const std::wstring& name, const std::wstring& text) {
    return rawSetText(properties(), name, text), *this;
}

TestEndpoint& TestEndpoint::deviceState(DWORD state) { return rawSetValue(key_, L"DeviceState", REG_DWORD, &state, sizeof state), *this; }

TestEndpoint& TestEndpoint::fxValue(const std::wstring& name, const std::wstring& text) {
    rawCreateKey(fx());
    return name.empty() ? *this : (rawSetText(fx(), name, text), *this);
}

TestEndpoint& TestEndpoint::fxDword(const std::wstring& name, DWORD value) { return rawSetValue(fx(), name, REG_DWORD, &value, sizeof value), *this; }

ProductKeyGuard::ProductKeyGuard()
    : keyExisted(rawKeyExists(common::kProductKey)), storeExisted(rawKeyExists(apo_install::kChildApoStoreKey)) {}

ProductKeyGuard::~ProductKeyGuard() {
    if (!keyExisted || !storeExisted) rawDeleteTree(keyExisted ? apo_install::kChildApoStoreKey : common::kProductKey);
}

PairedBluetoothDevices::PairedBluetoothDevices(std::vector<std::pair<std::wstring, std::uint64_t>> devices) {
    previous_ = apo_install::exchangeBluetoothDeviceSearch(
        [devices = std::move(devices), visited = visited_](const apo_install::BluetoothDeviceVisitor& visit) {
            for (const auto& [name, address] : devices)
                if (++*visited && visit(name, address)) return;
        });
}

PairedBluetoothDevices::~PairedBluetoothDevices() { apo_install::exchangeBluetoothDeviceSearch(std::move(previous_)); }

std::optional<StoredValue> storedValue(const std::wstring& key, const std::wstring& name) {
    StoredValue value;
    return rawGetValue(key, name, &value.type, &value.bytes) ? std::optional(value) : std::nullopt;
}

std::wstring storedText(const std::wstring& key, const std::wstring& name) {
    const auto value = storedValue(key, name);
    if (!value) return L"<absent>";
    if (value->type != REG_SZ) return L"<type " + std::to_wstring(value->type) + L">";
    const std::wstring text(reinterpret_cast<const wchar_t*>(value->bytes.data()), value->bytes.size() / sizeof(wchar_t));
    return text.substr(0, text.find(L'\0'));
}

std::map<std::wstring, StoredValue> storedTree(const std::wstring& key) {
    std::map<std::wstring, StoredValue> out;
    const common::unique_hkey handle = openRaw(key, KEY_READ);
    if (!handle) return out;
    out[L"\\"] = StoredValue{};
    wchar_t name[512];
    for (DWORD i = 0, length = 512; RegEnumValueW(handle.get(), i, name, &length, 0, 0, 0, 0) == ERROR_SUCCESS; length = 512, ++i)
        out[L"\\" + std::wstring(name, length)] = *storedValue(key, std::wstring(name, length));
    for (DWORD i = 0, length = 512; RegEnumKeyExW(handle.get(), i, name, &length, 0, 0, 0, 0) == ERROR_SUCCESS; length = 512, ++i)
        for (const auto& [path, value] : storedTree(key + L"\\" + std::wstring(name, length)))
            out[L"\\" + std::wstring(name, length) + path] = value;
    return out;
}

bool installedOn(const std::wstring& endpointId) {
    apo_install::DeviceAPOInfo record;
    return record.load(endpointId, L"") && record.isInstalled();
}

}  // namespace zol::test
