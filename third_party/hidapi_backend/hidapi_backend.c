/* hidapi's Windows backend, built as part of zol_ecd_api.dll.
 *
 * hidapi.h marks every function __declspec(dllexport). Linked into our DLL that would export
 * hidapi's whole surface (hid_version, hid_get_input_report, ...), while the DLL exports exactly
 * the set named in its .def. MinGW spells __declspec(x) as __attribute__((x)), so within this
 * file the export attribute becomes a harmless one. */
#define dllexport __unused__

#include "hid.c"

/* The handle hidapi opened the device path with, read from hidapi's own device record. This
 * translation unit compiles hidapi's source, so the field is named and type-checked by the
 * compiler against the pinned version, not located by offset. The device keeps owning it. */
HANDLE hid_get_device_handle(hid_device* dev)
{
	return dev ? dev->device_handle : INVALID_HANDLE_VALUE;
}
