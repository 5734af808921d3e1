// The system's endpoint enumerator class for the tests: a render and a capture endpoint whose level
// and mute persist between interface instances (Wine's keep neither), steered through standin_state().
#include <windows.h>

#include <audioclient.h>
#include <endpointvolume.h>
#include <mmdeviceapi.h>

namespace {

struct State {  // as tests/support/core_audio_standin.h reads it
    bool present[2];
    float level[2];
    BOOL mute[2];
    long liveObjects;
} g_state{{true, true}, {1.0f, 1.0f}, {FALSE, FALSE}, 0};

#define NOT_USED(signature) HRESULT STDMETHODCALLTYPE signature override { return E_NOTIMPL; }

template <typename Interface>
class Object : public Interface {
public:
    explicit Object(int flow = 0) : flow_(flow) { InterlockedIncrement(&g_state.liveObjects); }
    virtual ~Object() { InterlockedDecrement(&g_state.liveObjects); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = iid == IID_IUnknown || iid == __uuidof(Interface) ? static_cast<Interface*>(this) : nullptr;
        return *out ? (AddRef(), S_OK) : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return left;
    }

protected:
    const int flow_;  // 0 render, 1 capture

private:
    LONG refs_ = 1;
};

class EndpointVolume : public Object<IAudioEndpointVolume> {
public:
    using Object::Object;
    // Like Windows: a level outside 0..1 is refused and changes nothing.
    HRESULT STDMETHODCALLTYPE SetMasterVolumeLevelScalar(FLOAT level, LPCGUID) override {
        if (!(level >= 0.0f && level <= 1.0f)) return E_INVALIDARG;
        return g_state.level[flow_] = level, S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMasterVolumeLevelScalar(FLOAT* level) override { return *level = g_state.level[flow_], S_OK; }
    HRESULT STDMETHODCALLTYPE SetMute(BOOL mute, LPCGUID) override { return g_state.mute[flow_] = mute, S_OK; }
    HRESULT STDMETHODCALLTYPE GetMute(BOOL* mute) override { return *mute = g_state.mute[flow_], S_OK; }
    NOT_USED(RegisterControlChangeNotify(IAudioEndpointVolumeCallback*))
    NOT_USED(UnregisterControlChangeNotify(IAudioEndpointVolumeCallback*))
    NOT_USED(GetChannelCount(UINT*))
    NOT_USED(SetMasterVolumeLevel(FLOAT, LPCGUID))
    NOT_USED(GetMasterVolumeLevel(FLOAT*))
    NOT_USED(SetChannelVolumeLevel(UINT, FLOAT, LPCGUID))
    NOT_USED(SetChannelVolumeLevelScalar(UINT, FLOAT, LPCGUID))
    NOT_USED(GetChannelVolumeLevel(UINT, FLOAT*))
    NOT_USED(GetChannelVolumeLevelScalar(UINT, FLOAT*))
    NOT_USED(GetVolumeStepInfo(UINT*, UINT*))
    NOT_USED(VolumeStepUp(LPCGUID))
    NOT_USED(VolumeStepDown(LPCGUID))
    NOT_USED(QueryHardwareSupport(DWORD*))
    NOT_USED(GetVolumeRange(FLOAT*, FLOAT*, FLOAT*))
};

class Device : public Object<IMMDevice> {
public:
    using Object::Object;
    HRESULT STDMETHODCALLTYPE Activate(REFIID iid, DWORD, PROPVARIANT*, void** out) override {
        *out = nullptr;
        // The library only obtains and releases the audio client: any object can stand for it.
        if (iid == __uuidof(IAudioEndpointVolume) || iid == __uuidof(IAudioClient))
            *out = static_cast<IAudioEndpointVolume*>(new EndpointVolume(flow_));
        return *out ? S_OK : E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE GetState(DWORD* state) override { return *state = DEVICE_STATE_ACTIVE, S_OK; }
    NOT_USED(OpenPropertyStore(DWORD, IPropertyStore**))
    NOT_USED(GetId(LPWSTR*))
};

class Enumerator : public Object<IMMDeviceEnumerator> {
    HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow flow, ERole, IMMDevice** out) override {
        *out = nullptr;
        if (flow != eRender && flow != eCapture) return E_INVALIDARG;
        if (!g_state.present[flow]) return E_NOTFOUND;
        return *out = new Device(flow), S_OK;
    }
    NOT_USED(EnumAudioEndpoints(EDataFlow, DWORD, IMMDeviceCollection**))
    NOT_USED(GetDevice(LPCWSTR, IMMDevice**))
    NOT_USED(RegisterEndpointNotificationCallback(IMMNotificationClient*))
    NOT_USED(UnregisterEndpointNotificationCallback(IMMNotificationClient*))
};

struct Factory : IClassFactory {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = iid == IID_IUnknown || iid == IID_IClassFactory ? this : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
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
} g_factory;

const CLSID kMMDeviceEnumerator = {0xBCDE0395, 0xE52F, 0x467C, {0x8E, 0x3D, 0xC4, 0x57, 0x92, 0x91, 0x69, 0x2E}};

}  // namespace

extern "C" {
__declspec(dllexport) HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (clsid != kMMDeviceEnumerator) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(iid, out);
}
// The state lives in this module: COM must never unload it between calls.
__declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow() { return S_FALSE; }
__declspec(dllexport) State* standin_state() { return &g_state; }
}
