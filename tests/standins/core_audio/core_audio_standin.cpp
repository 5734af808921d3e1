// An in-process COM server that answers for the system's endpoint enumerator class in the test
// prefix: one render and one capture endpoint whose level and mute persist between interface
// instances (Wine's own keep neither). Tests steer and observe it through the plain exports
// at the bottom; the library under test reaches it only through CoCreateInstance.
#include <windows.h>

#include <audioclient.h>
#include <endpointvolume.h>
#include <mmdeviceapi.h>

#include <atomic>

namespace {

struct EndpointState {
    bool present = true;
    float level = 1.0f;
    BOOL mute = FALSE;
};
EndpointState g_endpoints[2];
std::atomic<long> g_liveObjects{0};
std::atomic<long> g_lastRole{-1};
std::atomic<long> g_lastClsCtx{-1};
bool g_failClientActivation = false;

template <typename Interface>
class Object : public Interface {
public:
    Object() { ++g_liveObjects; }
    virtual ~Object() { --g_liveObjects; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        if (iid == IID_IUnknown || iid == __uuidof(Interface)) {
            *out = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

private:
    std::atomic<ULONG> refs_{1};
};

class EndpointVolume : public Object<IAudioEndpointVolume> {
public:
    explicit EndpointVolume(EndpointState& state) : state_(state) {}
    HRESULT STDMETHODCALLTYPE RegisterControlChangeNotify(IAudioEndpointVolumeCallback*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnregisterControlChangeNotify(IAudioEndpointVolumeCallback*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetChannelCount(UINT* count) override {
        *count = 2;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetMasterVolumeLevel(FLOAT, LPCGUID) override { return E_NOTIMPL; }
    // Like Windows: a level outside 0..1 is refused and changes nothing.
    HRESULT STDMETHODCALLTYPE SetMasterVolumeLevelScalar(FLOAT level, LPCGUID) override {
        if (!(level >= 0.0f && level <= 1.0f)) return E_INVALIDARG;
        state_.level = level;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMasterVolumeLevel(FLOAT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMasterVolumeLevelScalar(FLOAT* level) override {
        if (level == nullptr) return E_POINTER;
        *level = state_.level;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetChannelVolumeLevel(UINT, FLOAT, LPCGUID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetChannelVolumeLevelScalar(UINT, FLOAT, LPCGUID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetChannelVolumeLevel(UINT, FLOAT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetChannelVolumeLevelScalar(UINT, FLOAT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMute(BOOL mute, LPCGUID) override {
        state_.mute = mute;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMute(BOOL* mute) override {
        if (mute == nullptr) return E_POINTER;
        *mute = state_.mute;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetVolumeStepInfo(UINT*, UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE VolumeStepUp(LPCGUID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE VolumeStepDown(LPCGUID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryHardwareSupport(DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetVolumeRange(FLOAT*, FLOAT*, FLOAT*) override { return E_NOTIMPL; }

private:
    EndpointState& state_;
};

// The library only obtains and releases the audio client; nothing here needs to stream.
class AudioClient : public Object<IAudioClient> {
public:
    HRESULT STDMETHODCALLTYPE Initialize(AUDCLNT_SHAREMODE, DWORD, REFERENCE_TIME, REFERENCE_TIME,
                                         const WAVEFORMATEX*, LPCGUID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBufferSize(UINT32*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetStreamLatency(REFERENCE_TIME*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCurrentPadding(UINT32*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsFormatSupported(AUDCLNT_SHAREMODE, const WAVEFORMATEX*, WAVEFORMATEX**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetMixFormat(WAVEFORMATEX**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDevicePeriod(REFERENCE_TIME*, REFERENCE_TIME*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Start() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Stop() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reset() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetEventHandle(HANDLE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetService(REFIID, void**) override { return E_NOTIMPL; }
};

class Device : public Object<IMMDevice> {
public:
    explicit Device(EndpointState& state) : state_(state) {}
    HRESULT STDMETHODCALLTYPE Activate(REFIID iid, DWORD clsCtx, PROPVARIANT*, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        g_lastClsCtx = static_cast<long>(clsCtx);
        if (iid == __uuidof(IAudioEndpointVolume)) {
            *out = static_cast<IAudioEndpointVolume*>(new EndpointVolume(state_));
            return S_OK;
        }
        if (iid == __uuidof(IAudioClient)) {
            if (g_failClientActivation) return AUDCLNT_E_DEVICE_INVALIDATED;
            *out = static_cast<IAudioClient*>(new AudioClient());
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD, IPropertyStore**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetId(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetState(DWORD* state) override {
        *state = DEVICE_STATE_ACTIVE;
        return S_OK;
    }

private:
    EndpointState& state_;
};

class Enumerator : public Object<IMMDeviceEnumerator> {
public:
    HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow, DWORD, IMMDeviceCollection**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow flow, ERole role, IMMDevice** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        g_lastRole = role;
        if (flow != eRender && flow != eCapture) return E_INVALIDARG;
        if (!g_endpoints[flow].present) return E_NOTFOUND;
        *out = new Device(g_endpoints[flow]);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR, IMMDevice**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RegisterEndpointNotificationCallback(IMMNotificationClient*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnregisterEndpointNotificationCallback(IMMNotificationClient*) override {
        return E_NOTIMPL;
    }
};

class Factory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *out = this;
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        auto* enumerator = new Enumerator();
        const HRESULT hr = enumerator->QueryInterface(iid, out);
        enumerator->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};
Factory g_factory;

const CLSID kMMDeviceEnumeratorClsid = {0xBCDE0395, 0xE52F, 0x467C, {0x8E, 0x3D, 0xC4, 0x57, 0x92, 0x91, 0x69, 0x2E}};

EndpointState* endpoint(int flow) { return flow == 0 || flow == 1 ? &g_endpoints[flow] : nullptr; }

}  // namespace

extern "C" {

__declspec(dllexport) HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (clsid != kMMDeviceEnumeratorClsid) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(iid, out);
}
// The endpoint states live in this module: never let COM unload it between calls.
__declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow() { return S_FALSE; }

__declspec(dllexport) void standin_set_level(int flow, float level) { endpoint(flow)->level = level; }
__declspec(dllexport) float standin_level(int flow) { return endpoint(flow)->level; }
__declspec(dllexport) void standin_set_mute(int flow, BOOL mute) { endpoint(flow)->mute = mute; }
__declspec(dllexport) BOOL standin_mute(int flow) { return endpoint(flow)->mute; }
__declspec(dllexport) void standin_set_present(int flow, BOOL present) { endpoint(flow)->present = present != FALSE; }
__declspec(dllexport) void standin_fail_client_activation(BOOL fail) { g_failClientActivation = fail != FALSE; }
// Objects alive right now: 0 after every library call that released what it obtained.
__declspec(dllexport) long standin_live_objects() { return g_liveObjects; }
__declspec(dllexport) long standin_last_role() { return g_lastRole; }
__declspec(dllexport) long standin_last_clsctx() { return g_lastClsCtx; }

}  // extern "C"
