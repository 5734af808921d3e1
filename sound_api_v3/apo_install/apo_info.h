// Effect-installation records: what one audio endpoint is, whether the kit's effect is installed
// on it, which effect registrations it had before, and how the effect is (to be) inserted.
//
// EndpointRecord is the record as read (apo_info.cpp), usable by a program that only looks.
// AbstractAPOInfo is the interface of the installation, DeviceAPOInfo its one implementation; its
// virtual operations, the FxProperties edit among them, are defined in fx_properties.cpp, so the
// class's table of them comes only with the code that writes.
#pragma once

#include <windows.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace zol::apo_install {

// --- The kit's two effect classes (implemented by the effect library) ---
extern const GUID StreamEffectApoClsid;    // {7E473820-7159-4426-A7D7-123DD7EB697D}: stream slot
extern const GUID EndpointEffectApoClsid;  // {D2C675CA-6F7D-446C-BE57-296224C134A6}: endpoint slot, render
// A registration text names the effect when CLSIDFromString accepts it and it is one of the two
// classes (so letter case does not matter).
bool isEffectClass(const std::wstring& registration);

// --- The five effect-class values of "FxProperties" that a record saves and restores ---
enum FxSlot : std::size_t {
    kPreMixSlot = 0,    // PKEY_FX_PreMixEffectClsid       } pre-mix side: 0 and 2
    kPostMixSlot = 1,   // PKEY_FX_PostMixEffectClsid      } post-mix side: 1, 3 and 4
    kStreamSlot = 2,    // PKEY_FX_StreamEffectClsid
    kModeSlot = 3,      // PKEY_FX_ModeEffectClsid
    kEndpointSlot = 4,  // PKEY_FX_EndpointEffectClsid
};
constexpr std::size_t kFxSlotCount = 5;
constexpr std::array<const wchar_t*, kFxSlotCount> kFxSlotValueNames = {
    L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},1", L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},2",
    L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},5", L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},6",
    L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},7",
};

// Stored in place of a saved registration: the endpoint had no "FxProperties" at all ...
constexpr const wchar_t* kMarkerNoKey = L"!KEY";
// ... or had it, but without that value.
constexpr const wchar_t* kMarkerNoValue = L"!VALUE";

// --- The child-effect store: per endpoint, what the installed effect wraps ---
constexpr const wchar_t* kChildApoStoreKey = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\ZolSoundKit\\Child APOs";
constexpr const wchar_t* kPreMixChildValue = L"PreMixChild";
constexpr const wchar_t* kPostMixChildValue = L"PostMixChild";
constexpr const wchar_t* kAllowSilentBufferModificationValue = L"AllowSilentBufferModification";
constexpr const wchar_t* kStoreVersionValue = L"Version";
constexpr const wchar_t* kCurrentStoreVersion = L"2";
// REG_DWORD, bit i set when slot i's saved text is the former text itself although it is empty
// or reads like a marker. Written only when some bit is set, so every other store is laid out as
// before, and a store without it reads as before.
constexpr const wchar_t* kLiteralSlotsValue = L"LiteralSlots";
// Whether a former slot text needs its bit in kLiteralSlotsValue.
bool needsLiteralMark(const std::wstring& text);
// The endpoint's own subkey of the store.
std::wstring childApoStoreKeyPath(const std::wstring& endpointId);

// Name of the .reg file that keeps an endpoint's former registrations: "backup_<endpoint
// name>_<device description>.reg", with each of < > : " / \ | ? * in the names replaced by "_".
// No directory part: the file lands in the process's current directory.
std::wstring backupFileName(const std::wstring& endpointName, const std::wstring& deviceDescription);

// How the effect is inserted into an endpoint's effect chain.
struct InstallOptions {
    bool preMixSlot = false;        // occupies the pre-mix side (slot 0 or 2)
    bool postMixSlot = false;       // occupies the post-mix side (slot 1, 3 or 4)
    bool keepPreMixChild = false;   // the pre-mix side wraps the former pre-mix effect
    bool keepPostMixChild = false;  // the post-mix side wraps the former post-mix effect
    // Where the former effects live: 0 pre-mix/post-mix slots (0, 1), 1 stream/mode (2, 3),
    // 2 stream/endpoint (2, 4).
    std::uint32_t slotStyle = 0;
    bool allowSilentBufferModification = false;

    bool operator==(const InstallOptions& other) const {
        return preMixSlot == other.preMixSlot && postMixSlot == other.postMixSlot &&
               keepPreMixChild == other.keepPreMixChild && keepPostMixChild == other.keepPostMixChild &&
               slotStyle == other.slotStyle && allowSilentBufferModification == other.allowSilentBufferModification;
    }
    bool operator!=(const InstallOptions& other) const { return !(*this == other); }
};

class AbstractAPOInfo {
public:
    virtual ~AbstractAPOInfo() {}                                                   // 0
    virtual std::wstring getDeviceDescription() const = 0;                          // 1
    virtual std::wstring getEndpointName() const = 0;                               // 2
    virtual std::wstring getEndpointId() const = 0;                                 // 3
    virtual std::wstring getDisplayText() const = 0;                                // 4
    virtual std::uint32_t getChannelCount() const = 0;                              // 5
    virtual std::uint32_t getSampleRate() const = 0;                                // 6
    virtual std::uint32_t getChannelMask() const = 0;                               // 7
    virtual bool isCapture() const = 0;                                             // 8
    virtual bool isInstalled() const = 0;                                           // 9
    virtual bool matchesDevice(std::uint32_t word0, std::uint32_t word1, std::uint32_t word2) const = 0;  // 10
    virtual bool isOutdated() const = 0;                                            // 11
    virtual bool hasPendingChange() const = 0;                                      // 12
    virtual bool hasNoEffects() const = 0;                                          // 13
    virtual bool isSystemEffectsDisabled() const = 0;                               // 14
    virtual bool isDefaultEndpoint() const = 0;                                     // 15
    virtual void install() = 0;                                                     // 16
    virtual void uninstall() = 0;                                                   // 17
    virtual void reinstall() = 0;                                                   // 18
};

// One endpoint's record. The fields are plain data, in this order, so that the installation
// driver (which sets previousOs before a load) and the FxProperties edit can use them directly.
// A new record is empty: empty strings, false flags, zero numbers, both option blocks zero.
struct EndpointRecord {
    bool previousOs = false;           // look the endpoint up in the previous-OS tree
    std::wstring endpointName;
    std::wstring deviceDescription;
    std::wstring endpointId;           // the endpoint's subkey name
    std::wstring hardwareId;
    std::uint32_t channelCount = 0;    // from the device format, else 0
    std::uint32_t sampleRate = 0;      // Hz, from the device format, else 0
    std::uint32_t channelMask = 0;     // speaker mask, else 0
    bool isDefault = false;            // default multimedia endpoint of its flow (reload only)
    bool systemEffectsDisabled = false;
    std::wstring preMixChild;
    std::wstring postMixChild;
    // The registrations before installation, by FxSlot: from "FxProperties" while the effect is
    // not installed, from the child-effect store while it is; or a marker.
    std::array<std::wstring, kFxSlotCount> orgGuid;
    bool isCaptureEndpoint = false;    // "isCapture" (the name is taken by the query)
    bool installed = false;            // some FxSlot value names one of the effect classes
    std::wstring version;              // child-effect store layout: "0", "1" or "2"
    InstallOptions loadedOptions;      // what the last load found or proposes
    InstallOptions appliedOptions;     // what the last install used; survives loads
    std::uint32_t literalSlots = 0;    // bit i: orgGuid[i] is a former text, not a marker

    // The endpoint belongs to a device of the supported-device table (its three words).
    bool matchesDevice(std::uint32_t word0, std::uint32_t word1, std::uint32_t word2) const;

    // Fills the record from the endpoint's keys in the tree chosen by previousOs; false (record
    // unchanged) when the id is in neither flow key. The GUID argument is not used.
    bool load(const std::wstring& endpointId, const std::wstring& defaultEndpointGuid);
    // The same for the current tree, without log lines, skipping an endpoint that is not present
    // (false), testing whether it is the default endpoint (looked up when the GUID is empty) and
    // taking over a child from the oldest store layout.
    bool reload(const std::wstring& endpointId, const std::wstring& defaultEndpointGuid);
    // The one endpoint of a Bluetooth device entry in one tree and flow, or empty; sets previousOs.
    std::wstring findBluetoothEndpoint(std::uint32_t word0, std::uint32_t word1, std::uint32_t word2,
                                       bool previousOs, std::uint8_t flow);

    // Keys of the loaded endpoint (tree by previousOs, flow by isCaptureEndpoint).
    std::wstring endpointKey() const;
    std::wstring fxPropertiesKey() const;
    std::wstring propertiesKey() const;

private:
    enum class Reading { Load, Reload };
    bool fill(const std::wstring& endpointKey, const std::wstring& endpointId,
              const std::wstring& defaultEndpointGuid, Reading reading);
};

class DeviceAPOInfo : public AbstractAPOInfo, public EndpointRecord {
public:
    ~DeviceAPOInfo() override = default;
    std::wstring getDeviceDescription() const override;
    std::wstring getEndpointName() const override;
    std::wstring getEndpointId() const override;
    std::wstring getDisplayText() const override;
    std::uint32_t getChannelCount() const override;
    std::uint32_t getSampleRate() const override;
    std::uint32_t getChannelMask() const override;
    bool isCapture() const override;
    bool isInstalled() const override;
    bool matchesDevice(std::uint32_t word0, std::uint32_t word1, std::uint32_t word2) const override;
    bool isOutdated() const override;
    bool hasPendingChange() const override;
    bool hasNoEffects() const override;
    bool isSystemEffectsDisabled() const override;
    bool isDefaultEndpoint() const override;
    // The FxProperties edit (fx_properties.cpp).
    void install() override;
    void uninstall() override;
    void reinstall() override;
};

}  // namespace zol::apo_install
