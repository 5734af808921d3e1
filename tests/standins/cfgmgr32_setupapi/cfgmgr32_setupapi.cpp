// cfgmgr32.dll for tests: the device-manager calls hidapi resolves, answered from SetupAPI.
//
// Wine 8's own cfgmgr32 has no CM_Get_Device_Interface_PropertyW, and its interface list,
// CM_Locate_DevNodeW and CM_Get_Parent do not work, so hidapi cannot start there. SetupAPI itself
// lists the HID interfaces and their devices. Loaded only where a test asks for it with
// WINEDLLOVERRIDES=cfgmgr32=n,b; every other export forwards to setupapi as Wine's cfgmgr32 does.
//
// Devnode numbers are SetupAPI's own (the DevInst of a device info element): a process-wide
// device info list keeps each located device, so its number stays valid and the forwarded calls
// that take a devnode (CM_Get_Device_IDW, CM_Get_DevNode_Registry_PropertyW, ...) understand it.
#define _CFGMGR32_
#include <windows.h>

#include <initguid.h>

#include <cfgmgr32.h>
#include <devpkey.h>
#include <setupapi.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/unique_handle.h"

namespace {

using zol::unique_device_info_list;

// SetupAPI records carry their own size in cbSize.
template <typename Record>
Record sized() {
    Record record{};
    record.cbSize = sizeof record;
    return record;
}

// Copies a property out the way every CM_Get_*_Property call does: the type always, the size
// always, the data only when the caller's buffer holds it.
CONFIGRET deliver(DEVPROPTYPE type, const void* data, ULONG bytes, DEVPROPTYPE* outType, PBYTE buffer, PULONG size) {
    *outType = type;
    if (!buffer || *size < bytes) {
        *size = bytes;
        return CR_BUFFER_SMALL;
    }
    std::memcpy(buffer, data, bytes);
    *size = bytes;
    return CR_SUCCESS;
}

CONFIGRET deliverString(const std::wstring& text, DEVPROPTYPE* outType, PBYTE buffer, PULONG size) {
    return deliver(DEVPROP_TYPE_STRING, text.c_str(), static_cast<ULONG>((text.size() + 1) * sizeof(wchar_t)), outType,
                   buffer, size);
}

bool sameKey(const DEVPROPKEY& a, const DEVPROPKEY& b) {
    return a.pid == b.pid && IsEqualGUID(a.fmtid, b.fmtid);
}

std::wstring instanceId(HDEVINFO set, SP_DEVINFO_DATA* device) {
    DWORD length = 0;
    SetupDiGetDeviceInstanceIdW(set, device, nullptr, 0, &length);
    std::wstring id(length, L'\0');
    if (length == 0 || !SetupDiGetDeviceInstanceIdW(set, device, id.data(), length, nullptr)) return {};
    id.resize(std::wcslen(id.c_str()));
    return id;
}

// One interface of a class list, with the device it belongs to.
struct InterfaceEntry {
    std::wstring path;
    SP_DEVINFO_DATA device = sized<SP_DEVINFO_DATA>();
    SP_DEVICE_INTERFACE_DATA data = sized<SP_DEVICE_INTERFACE_DATA>();
};

template <typename Visit>
bool forEachInterface(HDEVINFO set, const GUID& interfaceClass, Visit visit) {
    InterfaceEntry entry;
    for (DWORD i = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &interfaceClass, i, &entry.data); ++i) {
        DWORD needed = 0;
        SetupDiGetDeviceInterfaceDetailW(set, &entry.data, nullptr, 0, &needed, nullptr);
        if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) continue;
        std::vector<BYTE> bytes(needed);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(bytes.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        entry.device = sized<SP_DEVINFO_DATA>();
        if (!SetupDiGetDeviceInterfaceDetailW(set, &entry.data, detail, needed, nullptr, &entry.device)) continue;
        entry.path = detail->DevicePath;
        if (visit(entry)) return true;
    }
    return false;
}

// The interface paths of a class as one double-null-terminated list, optionally of one device only.
std::optional<std::wstring> interfaceList(const GUID& interfaceClass, const wchar_t* deviceId, ULONG flags) {
    const DWORD present = (flags & CM_GET_DEVICE_INTERFACE_LIST_ALL_DEVICES) ? 0 : DIGCF_PRESENT;
    unique_device_info_list set(SetupDiGetClassDevsW(&interfaceClass, nullptr, nullptr, DIGCF_DEVICEINTERFACE | present));
    if (!set) return std::nullopt;
    std::wstring list;
    forEachInterface(set.get(), interfaceClass, [&](InterfaceEntry& entry) {
        if (deviceId && *deviceId && _wcsicmp(instanceId(set.get(), &entry.device).c_str(), deviceId) != 0) return false;
        list += entry.path;
        list += L'\0';
        return false;
    });
    list += L'\0';
    return list;
}

// An interface path ends in its class GUID, "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}".
std::optional<GUID> classOfPath(const wchar_t* path) {
    const wchar_t* brace = std::wcsrchr(path, L'{');
    GUID guid{};
    unsigned int d[8];
    unsigned long d1;
    unsigned int d2, d3;
    if (!brace || std::swscanf(brace, L"{%8lx-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}", &d1, &d2, &d3, &d[0], &d[1], &d[2], &d[3],
                               &d[4], &d[5], &d[6], &d[7]) != 11)
        return std::nullopt;
    guid.Data1 = d1;
    guid.Data2 = static_cast<USHORT>(d2);
    guid.Data3 = static_cast<USHORT>(d3);
    for (int i = 0; i < 8; ++i) guid.Data4[i] = static_cast<BYTE>(d[i]);
    return guid;
}

// Process-wide list of the devices located so far; their DevInst numbers are the devnodes.
class Devnodes {
public:
    Devnodes() : set_(SetupDiCreateDeviceInfoList(nullptr, nullptr)) {}

    std::optional<DEVINST> locate(const wchar_t* id) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!set_) return std::nullopt;
        SP_DEVINFO_DATA device = sized<SP_DEVINFO_DATA>();
        for (DWORD i = 0; SetupDiEnumDeviceInfo(set_.get(), i, &device); ++i)
            if (_wcsicmp(instanceId(set_.get(), &device).c_str(), id) == 0) return device.DevInst;
        if (!SetupDiOpenDeviceInfoW(set_.get(), id, nullptr, 0, &device)) return std::nullopt;
        return device.DevInst;
    }

    // Runs `use(set, device)` on the located device with that devnode, under the lock.
    template <typename Use>
    CONFIGRET with(DEVINST devnode, Use use) {
        std::lock_guard<std::mutex> lock(mutex_);
        SP_DEVINFO_DATA device = sized<SP_DEVINFO_DATA>();
        for (DWORD i = 0; set_ && SetupDiEnumDeviceInfo(set_.get(), i, &device); ++i)
            if (device.DevInst == devnode) return use(set_.get(), &device);
        return CR_INVALID_DEVNODE;
    }

private:
    std::mutex mutex_;
    unique_device_info_list set_;
};

Devnodes& devnodes() {
    static Devnodes table;
    return table;
}

// Registry properties that stand for a device property where the property store lacks it.
struct RegistryStandIn {
    const DEVPROPKEY* key;
    DWORD property;
};
const RegistryStandIn kRegistryStandIns[] = {
    {&DEVPKEY_Device_DeviceDesc, SPDRP_DEVICEDESC},     {&DEVPKEY_Device_HardwareIds, SPDRP_HARDWAREID},
    {&DEVPKEY_Device_CompatibleIds, SPDRP_COMPATIBLEIDS}, {&DEVPKEY_Device_Service, SPDRP_SERVICE},
    {&DEVPKEY_Device_Class, SPDRP_CLASS},               {&DEVPKEY_Device_Driver, SPDRP_DRIVER},
    {&DEVPKEY_Device_Manufacturer, SPDRP_MFG},          {&DEVPKEY_Device_FriendlyName, SPDRP_FRIENDLYNAME},
    {&DEVPKEY_Device_LocationInfo, SPDRP_LOCATION_INFORMATION},
};

CONFIGRET registryProperty(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property, DEVPROPTYPE* type, PBYTE buffer,
                           PULONG size) {
    DWORD regType = 0, needed = 0;
    SetupDiGetDeviceRegistryPropertyW(set, device, property, &regType, nullptr, 0, &needed);
    if (needed == 0) return CR_NO_SUCH_VALUE;
    std::vector<BYTE> value(needed);
    if (!SetupDiGetDeviceRegistryPropertyW(set, device, property, &regType, value.data(), needed, &needed))
        return CR_NO_SUCH_VALUE;
    const DEVPROPTYPE mapped = regType == REG_SZ         ? DEVPROP_TYPE_STRING
                               : regType == REG_MULTI_SZ ? DEVPROP_TYPE_STRING_LIST
                               : regType == REG_DWORD    ? DEVPROP_TYPE_UINT32
                                                         : DEVPROP_TYPE_BINARY;
    return deliver(mapped, value.data(), needed, type, buffer, size);
}

CONFIGRET deviceProperty(HDEVINFO set, SP_DEVINFO_DATA* device, const DEVPROPKEY& key, DEVPROPTYPE* type, PBYTE buffer,
                         PULONG size) {
    if (sameKey(key, DEVPKEY_Device_InstanceId)) return deliverString(instanceId(set, device), type, buffer, size);
    DEVPROPTYPE storedType = 0;
    DWORD needed = 0;
    SetupDiGetDevicePropertyW(set, device, &key, &storedType, nullptr, 0, &needed, 0);
    if (GetLastError() == ERROR_INSUFFICIENT_BUFFER && needed > 0) {
        std::vector<BYTE> value(needed);
        if (SetupDiGetDevicePropertyW(set, device, &key, &storedType, value.data(), needed, &needed, 0))
            return deliver(storedType, value.data(), needed, type, buffer, size);
    }
    // The device name is the friendly name where there is one, else the description.
    if (sameKey(key, DEVPKEY_NAME)) {
        const CONFIGRET friendly = registryProperty(set, device, SPDRP_FRIENDLYNAME, type, buffer, size);
        return friendly != CR_NO_SUCH_VALUE ? friendly : registryProperty(set, device, SPDRP_DEVICEDESC, type, buffer, size);
    }
    for (const RegistryStandIn& standIn : kRegistryStandIns)
        if (sameKey(key, *standIn.key)) return registryProperty(set, device, standIn.property, type, buffer, size);
    return CR_NO_SUCH_VALUE;
}

CONFIGRET checkPropertyArguments(const DEVPROPKEY* key, DEVPROPTYPE* type, PBYTE buffer, PULONG size, ULONG flags) {
    if (!key || !type || !size || (!buffer && *size != 0)) return CR_INVALID_POINTER;
    return flags ? CR_INVALID_FLAG : CR_SUCCESS;
}

}  // namespace

// Not declared by MinGW's cfgmgr32.h.
extern "C" CONFIGRET WINAPI CM_Get_Device_Interface_PropertyW(LPCWSTR, const DEVPROPKEY*, DEVPROPTYPE*, PBYTE, PULONG, ULONG);

extern "C" CONFIGRET WINAPI CM_Get_Device_Interface_List_SizeW(PULONG length, LPGUID interfaceClass, DEVINSTID_W deviceId,
                                                                ULONG flags) {
    if (!length || !interfaceClass) return CR_INVALID_POINTER;
    if (flags & ~CM_GET_DEVICE_INTERFACE_LIST_BITS) return CR_INVALID_FLAG;
    const auto list = interfaceList(*interfaceClass, deviceId, flags);
    if (!list) return CR_FAILURE;
    *length = static_cast<ULONG>(list->size());
    return CR_SUCCESS;
}

extern "C" CONFIGRET WINAPI CM_Get_Device_Interface_ListW(LPGUID interfaceClass, DEVINSTID_W deviceId, PWCHAR buffer,
                                                          ULONG length, ULONG flags) {
    if (!interfaceClass || !buffer || length == 0) return CR_INVALID_POINTER;
    if (flags & ~CM_GET_DEVICE_INTERFACE_LIST_BITS) return CR_INVALID_FLAG;
    const auto list = interfaceList(*interfaceClass, deviceId, flags);
    if (!list) return CR_FAILURE;
    if (list->size() > length) {
        buffer[0] = L'\0';
        return CR_BUFFER_SMALL;
    }
    std::memcpy(buffer, list->data(), list->size() * sizeof(wchar_t));
    return CR_SUCCESS;
}

extern "C" CONFIGRET WINAPI CM_Get_Device_Interface_PropertyW(LPCWSTR path, const DEVPROPKEY* key, DEVPROPTYPE* type,
                                                              PBYTE buffer, PULONG size, ULONG flags) {
    if (!path) return CR_INVALID_POINTER;
    if (const CONFIGRET bad = checkPropertyArguments(key, type, buffer, size, flags)) return bad;
    // SetupDiOpenDeviceInterfaceW would find the interface directly, but Wine 8's does nothing:
    // list the class the path names instead.
    const auto interfaceClass = classOfPath(path);
    if (!interfaceClass) return CR_NO_SUCH_DEVICE_INTERFACE;
    unique_device_info_list set(SetupDiGetClassDevsW(&*interfaceClass, nullptr, nullptr, DIGCF_DEVICEINTERFACE));
    if (!set) return CR_FAILURE;
    CONFIGRET result = CR_NO_SUCH_DEVICE_INTERFACE;
    forEachInterface(set.get(), *interfaceClass, [&](InterfaceEntry& entry) {
        if (_wcsicmp(entry.path.c_str(), path) != 0) return false;
        if (sameKey(*key, DEVPKEY_Device_InstanceId)) {
            result = deliverString(instanceId(set.get(), &entry.device), type, buffer, size);
        } else if (sameKey(*key, DEVPKEY_DeviceInterface_ClassGuid)) {
            result = deliver(DEVPROP_TYPE_GUID, &*interfaceClass, sizeof(GUID), type, buffer, size);
        } else if (sameKey(*key, DEVPKEY_DeviceInterface_Enabled)) {
            const DEVPROP_BOOLEAN enabled = (entry.data.Flags & SPINT_ACTIVE) ? DEVPROP_TRUE : DEVPROP_FALSE;
            result = deliver(DEVPROP_TYPE_BOOLEAN, &enabled, sizeof enabled, type, buffer, size);
        } else {
            result = CR_NO_SUCH_VALUE;
        }
        return true;
    });
    return result;
}

// The root of the device tree is not among SetupAPI's devices, so a null or empty id finds nothing.
// Presence is not checked: every id hidapi asks for came from a present interface.
extern "C" CONFIGRET WINAPI CM_Locate_DevNodeW(PDEVINST devnode, DEVINSTID_W id, ULONG flags) {
    if (!devnode) return CR_INVALID_POINTER;
    if (flags & ~CM_LOCATE_DEVNODE_BITS) return CR_INVALID_FLAG;
    *devnode = 0;
    if (!id || !*id) return CR_NO_SUCH_DEVNODE;
    const auto found = devnodes().locate(id);
    if (!found) return CR_NO_SUCH_DEVNODE;
    *devnode = *found;
    return CR_SUCCESS;
}

// The parent comes from the device's property store; without one (as on Wine) there is none.
extern "C" CONFIGRET WINAPI CM_Get_Parent(PDEVINST parent, DEVINST devnode, ULONG flags) {
    if (!parent) return CR_INVALID_POINTER;
    if (flags) return CR_INVALID_FLAG;
    *parent = 0;
    std::wstring parentId;
    const CONFIGRET located = devnodes().with(devnode, [&](HDEVINFO set, SP_DEVINFO_DATA* device) {
        DEVPROPTYPE type = 0;
        DWORD needed = 0;
        SetupDiGetDevicePropertyW(set, device, &DEVPKEY_Device_Parent, &type, nullptr, 0, &needed, 0);
        if (type != DEVPROP_TYPE_STRING || needed < sizeof(wchar_t)) return CR_NO_SUCH_DEVNODE;
        parentId.resize(needed / sizeof(wchar_t));
        if (!SetupDiGetDevicePropertyW(set, device, &DEVPKEY_Device_Parent, &type,
                                       reinterpret_cast<PBYTE>(parentId.data()), needed, nullptr, 0))
            return CR_NO_SUCH_DEVNODE;
        parentId.resize(std::wcslen(parentId.c_str()));
        return CR_SUCCESS;
    });
    if (located != CR_SUCCESS) return located;
    return CM_Locate_DevNodeW(parent, parentId.data(), CM_LOCATE_DEVNODE_NORMAL);
}

extern "C" CONFIGRET WINAPI CM_Get_DevNode_PropertyW(DEVINST devnode, const DEVPROPKEY* key, DEVPROPTYPE* type,
                                                     PBYTE buffer, PULONG size, ULONG flags) {
    if (const CONFIGRET bad = checkPropertyArguments(key, type, buffer, size, flags)) return bad;
    return devnodes().with(devnode, [&](HDEVINFO set, SP_DEVINFO_DATA* device) {
        return deviceProperty(set, device, *key, type, buffer, size);
    });
}
