/*
 * zol_ecd_api.h - public interface of zol_ecd_api.dll, the ZolSoundKit headset control library.
 *
 * A 64-bit Windows DLL. Link against zol_ecd_api.lib, or load it by name and look the exports up
 * with GetProcAddress. Every export runs to completion on the calling thread. Call the library
 * from one thread at a time; the settings exports also survive several threads at once (they
 * then take turns), the others are not made for it.
 *
 * Each export states what it returns under "Returns:"; the result codes have names below
 * (ZOL_DONE ...). What may leave an export as an exception is stated once, under "Exceptions".
 */
#ifndef ZOL_ECD_API_H
#define ZOL_ECD_API_H

#include <stddef.h> /* also C's wchar_t */
#include <stdint.h>

#ifdef ZOL_ECD_API_BUILD
#define ZOL_API
#else
#define ZOL_API __declspec(dllimport)
#endif

/* Compile-time checks that work in C89 hosts and in C++. */
#define ZOL_STATIC_CHECK(name, condition) typedef char zol_check_##name[(condition) ? 1 : -1]

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Result codes ----------------------------------------------------------------------- */
#define ZOL_DONE 1                               /* done */
#define ZOL_NOTHING_DONE 0                       /* nothing done, or a negative answer */
#define ZOL_NO_INTERFACE (-1)                    /* device interface not found or not opened */
#define ZOL_BAD_PROPERTY (-2)                    /* property number out of range */
#define ZOL_EFFECT_LIBRARY_NOT_UNREGISTERED (-3) /* unInit: the effect library refused */
#define ZOL_DEVICE_SILENT (-4)                   /* the headset stopped answering (firmware) */
#define ZOL_AUDIO_SERVICE_NOT_RESTARTED (-5)     /* the audio service did not come back */

/* ---- Exceptions --------------------------------------------------------------------------
 * Exactly five exports let a registry failure (a value that cannot be read or written, a value of
 * the wrong type, a missing product key, a host without the right to write under
 * HKEY_LOCAL_MACHINE) pass out to the host: getDeviceInfo, setDeviceProperty, init, unInit and
 * _start_task. The call is abandoned at that point (what it changed before stays changed) and
 * the library stays usable: the host catches the failure and goes on with its next call.
 *
 * The failure leaves as a Microsoft Visual C++ x64 exception of the global-namespace class
 *     class RegistryException { public: std::wstring message; };
 * (type name ".?AVRegistryException@@", exception code 0xE06D7363; the message is the registry
 * layer's English text, e.g. "Error while reading registry value
 * HKEY_LOCAL_MACHINE\SOFTWARE\ZolSoundKit\InstallPath: ..."). A host built with MSVC declares that class and catches it
 * by reference or by value; the library's copy function and destructor manage the message, which
 * lives in the process heap. Treat the caught object as read-only: copy the message out rather
 * than changing it in place. These exports are extern "C": build the host with /EHs, not /EHsc,
 * which lets the compiler assume that extern "C" functions never throw and drop the catch.
 * A C host sees exception code 0xE06D7363 in __try/__except.
 *
 * Hosts built with GCC (MinGW) call _SetRegistryExceptionFormat(ZOL_REGISTRY_EXCEPTION_GCC) once,
 * before any other export: from then on the same failures leave as the GCC exception
 * zol::registry::RegistryException (message() returns the text), which only a GCC-built C++ host
 * can catch. The choice holds for the whole process; ZOL_REGISTRY_EXCEPTION_MSVC (the default)
 * switches back.
 *   Returns: ZOL_DONE; ZOL_NOTHING_DONE (and nothing changes) for any other number.
 *
 * Nothing else ever leaves an export: any other failure inside the library (out of memory, a
 * registry failure in any other export, a service-control failure) ends that call with its failure
 * result: 0, except -1 for init, hid_init/hid_exit, hidapi's int functions, _hid_trans_data,
 * _is_usb_connected and _update_7420_fw; NULL for the functions returning pointers;
 * INVALID_HANDLE_VALUE for hid_get_device_handle; 50 for _getVolum; 8 (ERROR_NOT_ENOUGH_MEMORY)
 * for _IsGlobalMutexExist; void functions simply return. Each such failure writes one line
 * "[brisol]:<export> failed: <message>" to the debug log. */
#define ZOL_REGISTRY_EXCEPTION_MSVC 0
#define ZOL_REGISTRY_EXCEPTION_GCC 1
ZOL_API int __cdecl _SetRegistryExceptionFormat(int format);

/* ---- Debug log -------------------------------------------------------------------------
 * Both send one message to the system debugger channel (OutputDebugStringW), cut at 255
 * characters; nothing else (no file, no prefix, no line end). _dbg widens each byte on its own
 * (bytes above 0x7F become U+0080..U+00FF): pass ASCII. _dbgw uses the Microsoft CRT's
 * conversions, where %s takes a wide string and %S a narrow one. A NULL format sends nothing.
 * Returns: nothing.
 * They are exported under the names the x64 MSVC compiler gives their C++ signatures. For C++
 * hosts of MSVC's ABI this header declares them (with _update_7420_fw) as C++ functions at its
 * end; any other host looks them up by these names. */
#define ZOL_DBG_EXPORT_NAME "?_dbg@@YAXPEBDZZ"
#define ZOL_DBGW_EXPORT_NAME "?_dbgw@@YAXPEB_WZZ"
typedef void(__cdecl* zol_dbg_fn)(const char* format, ...);
typedef void(__cdecl* zol_dbgw_fn)(const wchar_t* format, ...);

/* ---- Host utilities: processes by executable name --------------------------------------
 * A process is named by its executable file name ("tool.exe"), compared without regard to
 * case; never by id or window. A null or empty name, or one of MAX_PATH characters or more,
 * matches no process.
 *
 * _is_task_running:
 *   Returns: 1 when at least one process of that name runs, else 0 (also when the process list
 *   cannot be read).
 * _kill_task: ends every process of that name with exit code -10 (0xFFFFFFF6). A process this
 *   caller may not terminate is skipped silently. Returns at once, without waiting for them.
 *   Returns: nothing.
 * _start_task: starts "<directory>\<exeName>" (quoted) followed by one space and `arguments`
 *   when arguments is not null; showCommand is the window state (SW_*). A null or empty
 *   directory means the install directory, the "InstallPath" value under
 *   HKEY_LOCAL_MACHINE\SOFTWARE\ZolSoundKit; when that value is missing a registry failure
 *   leaves the call (see "Exceptions"; "Error while reading registry value ...").
 *   The program gets this process's environment and current directory; it is neither waited for
 *   nor tracked. A failed start writes "failed start <path>,err=<system message>\r\n" to
 *   standard output and returns: exactly those bytes, also when the stream is in text mode; the
 *   message keeps placeholders such as "%1" as the system states them (error 193).
 *   Returns: nothing; a registry failure may leave it (see "Exceptions"). */
ZOL_API int __cdecl _is_task_running(const wchar_t* exeName);
ZOL_API void __cdecl _start_task(const wchar_t* exeName, const wchar_t* arguments, int showCommand,
                                 const wchar_t* directory);
ZOL_API void __cdecl _kill_task(const wchar_t* exeName);

/* ---- Host utilities: elevation and single instance -------------------------------------
 * _IsRunningAsAdmin:
 *   Returns: 1 when the caller's token has the Administrators group enabled (an elevated
 *   administrator), else 0.
 * _RestartAsAdmin: asks the shell to start this process's executable again with the verb
 *   "runas" (elevation prompt), without arguments.
 *   Returns: 1 when the shell accepted, 0 when the user declined or the executable's path is
 *   MAX_PATH characters or longer. The calling process
 *   keeps running: ending it is the host's decision.
 * _IsGlobalMutexExist:
 *   Returns: 0 when a mutex of that name exists and can be opened; -1 when none exists (also for a null or empty name); otherwise the Windows error code of the open, e.g.
 *   5 when the mutex's security refuses the caller, 6 when the name is taken by another kind of
 *   object.
 * _IsAlreadyRun: creates or opens the named mutex and keeps it for the life of the process
 *   (the handle is never closed).
 *   Returns: 1 when the mutex already existed, else 0. Its security grants
 *   the current user all access and the LOCAL SERVICE account wait and query only; a mutex that
 *   refuses the caller gives 0. A null or empty name creates nothing and gives 0.
 * Names pass to the system unchanged: include "Global\" for a machine-wide name. */
ZOL_API int __cdecl _IsRunningAsAdmin(void);
ZOL_API int __cdecl _RestartAsAdmin(void);
ZOL_API int __cdecl _IsGlobalMutexExist(const wchar_t* name);
ZOL_API int __cdecl _IsAlreadyRun(const wchar_t* name);

/* ---- Lifecycle: install, device check, removal ------------------------------------------
 * Call order: init once after installation or start-up (elevated), getDeviceCount, then the
 * settings exports, and unInit when the product is removed.
 * init: creates HKEY_LOCAL_MACHINE\SOFTWARE\ZolSoundKit if needed, installs the effect on the
 *   capture and then the render endpoints of every supported headset (saving what they held, and
 *   restarting the audio service "AudioSrv" when anything changed; a failed restart is shown in
 *   an error message box), records the host executable's directory as "InstallPath" and creates
 *   missing settings values with their defaults. Repeating it re-installs nothing that
 *   is already installed.
 *   Returns: 0; a registry failure leaves it (see "Exceptions").
 * getDeviceCount:
 *   Returns: the number of supported headset HID interfaces attached (0 or more), summed over
 *   the supported-device table.
 * unInit: ends "audiodg.exe" (up to five attempts, 300 ms apart) so the audio engine lets go of
 *   the effect library, unregisters "ZolSoundAPO.dll" from the host executable's directory, puts
 *   back each endpoint's former effects, restarts the audio service and deletes the product's
 *   values ("InstallPath" and the three settings values; the key stays).
 *   Returns: ZOL_DONE; ZOL_EFFECT_LIBRARY_NOT_UNREGISTERED when the effect library cannot be
 *   loaded, lacks DllUnregisterServer or reports failure: then the endpoints keep the effect and
 *   every value stays. A registry failure leaves it (see "Exceptions").
 * When something fails or a pass dies, both take the side of the user's data:
 * - The product values they read ("EnableAllDev" as text, the settings values as binary) are read
 *   before the first change; a wrong type raises then, and nothing has changed.
 * - An endpoint whose keys cannot be read as expected (for example a hardware id or an effect slot
 *   of another type) is logged with the registry error's message and skipped as "not loaded";
 *   the pass goes on for the others.
 * - Each begins by undoing what a pass that died left: a saved-effects entry whose endpoint was
 *   never changed (or already restored) goes, with an FxProperties key that the dead pass had
 *   just created. After either returns, no endpoint names the kit's effect classes while they are
 *   unregistered: init registers the library when an earlier pass died before doing so, and
 *   unInit registers it again when an endpoint that names it could not be restored.
 * - Every former effect-slot text comes back, also an empty one and the texts "!KEY"/"!VALUE".
 * - The backup .reg file is a copy for the user: one that cannot be written is logged and skipped.
 *   Endpoints sharing name and description get one file each (the second one's name ends in its
 *   endpoint id); backslashes and quotation marks are escaped as the registry editor reads them. */
ZOL_API int __cdecl init(void);
ZOL_API int __cdecl getDeviceCount(void);
ZOL_API int __cdecl unInit(void);

/* ---- Effect settings -------------------------------------------------------------------
 * The host owns a 944-byte DeviceInfo record. getDeviceInfo fills it from the registry
 * (HKEY_LOCAL_MACHINE\SOFTWARE\ZolSoundKit, created by init; run elevated), recomputes the
 * equaliser, overlays the live volume and mute of the default endpoints and publishes the
 * control and effect blocks in the shared section the audio effect reads. setDeviceProperty
 * changes one block: record first, then registry, then the shared section.
 *
 * Both run that sequence under one machine-wide lock, the mutex
 * "Global\{372E213D-95EA-4306-A914-F50DB21A21CE}-lock" (same access as the section), so two
 * hosts changing the settings at once leave registry and section holding the same blocks. A
 * holder is waited for up to 10 s; after that, or without access to the mutex, the call goes on
 * unlocked and logs it.
 *
 * Equaliser: each band is a peaking filter at the effect block's sampleRate. A band the rate
 * cannot carry (a rate outside 1..768000 Hz, such as 0 from an all-zero stored block, or a band
 * at or above half the rate) is left a pass-through: b0 = 1, a1 = a2 = b1 = b2 = 0; logged.
 *
 * Layout: little-endian, packed, no padding; the offsets are checked below. Fields named
 * fieldNN belong to the audio effect; the library stores and mirrors their bytes unchanged.
 * The library itself is compiled against these very structs. */
#pragma pack(push, 1)

typedef struct ControlBlock {       /* property 1, 32 bytes; shared section bytes 4-35 */
    uint32_t field0;                /* default 0 */
    uint32_t field4;                /* default 48000 */
    uint32_t captureVolume;         /* percent, default capture endpoint; refreshed on every load */
    uint32_t renderVolume;          /* percent, default render endpoint when the defaults were built */
    uint32_t field16;               /* default 50 */
    uint8_t field20;                /* default 0 */
    uint8_t field21;                /* default 1 */
    uint8_t field22[2];
    uint8_t captureMute;            /* 1 muted; refreshed on every load */
    uint8_t field25[7];
} ControlBlock;

typedef struct EqBand {             /* 14 bytes */
    uint8_t field0;                 /* 1 in the built-in table */
    uint8_t field1;                 /* 0 in the built-in table */
    float frequency;                /* centre, Hz */
    float gain;                     /* dB */
    float bandwidth;                /* Hz */
} EqBand;

typedef struct BiquadCoefficients { /* 20 bytes, normalised by a0; a1, a2 with their own signs */
    float a1, a2, b0, b1, b2;
} BiquadCoefficients;

typedef struct EffectBlock {        /* property 2, 575 bytes; shared section bytes 36-610 */
    uint8_t field0[4];
    int32_t sampleRate;             /* Hz, for the equaliser; default 48000 */
    uint8_t renderVolume;           /* percent, default render endpoint; refreshed on every load */
    uint8_t renderVolumeCopies[2];  /* equal to renderVolume */
    uint8_t renderMute;             /* 1 muted; refreshed on every load */
    uint8_t field12;                /* default 0 */
    uint8_t field13[2];             /* default 1, 1 */
    uint8_t field15[20];
    EqBand bands[10];               /* 30 Hz ... 16 kHz; reset to the built-in table on every gain change */
    BiquadCoefficients coefficients[10];
    uint8_t field375[200];
} EffectBlock;

typedef struct EqGainBlock {        /* property 3, 32 bytes; not in the shared section */
    int8_t gains[10];               /* whole dB per band, signed: 0xFF is -1 dB */
    uint8_t field10[22];            /* stored, not read */
} EqGainBlock;

typedef struct DeviceInfo {         /* 944 bytes, owned by the host */
    ControlBlock control;           /* bytes 0-31 */
    EffectBlock effect;             /* bytes 32-606 */
    uint8_t unused607[292];
    EqGainBlock eqGains;            /* bytes 899-930 */
    uint8_t unused931[5];
    uint8_t mirror[8];              /* the library's link to its section handle; never write it */
} DeviceInfo;

#pragma pack(pop)

ZOL_STATIC_CHECK(control_size, sizeof(ControlBlock) == 32);
ZOL_STATIC_CHECK(control_capture_volume, offsetof(ControlBlock, captureVolume) == 8);
ZOL_STATIC_CHECK(control_render_volume, offsetof(ControlBlock, renderVolume) == 12);
ZOL_STATIC_CHECK(control_field16, offsetof(ControlBlock, field16) == 16);
ZOL_STATIC_CHECK(control_field21, offsetof(ControlBlock, field21) == 21);
ZOL_STATIC_CHECK(control_capture_mute, offsetof(ControlBlock, captureMute) == 24);
ZOL_STATIC_CHECK(band_size, sizeof(EqBand) == 14);
ZOL_STATIC_CHECK(band_frequency, offsetof(EqBand, frequency) == 2);
ZOL_STATIC_CHECK(band_gain, offsetof(EqBand, gain) == 6);
ZOL_STATIC_CHECK(band_bandwidth, offsetof(EqBand, bandwidth) == 10);
ZOL_STATIC_CHECK(biquad_size, sizeof(BiquadCoefficients) == 20);
ZOL_STATIC_CHECK(effect_size, sizeof(EffectBlock) == 575);
ZOL_STATIC_CHECK(effect_sample_rate, offsetof(EffectBlock, sampleRate) == 4);
ZOL_STATIC_CHECK(effect_render_volume, offsetof(EffectBlock, renderVolume) == 8);
ZOL_STATIC_CHECK(effect_render_mute, offsetof(EffectBlock, renderMute) == 11);
ZOL_STATIC_CHECK(effect_field13, offsetof(EffectBlock, field13) == 13);
ZOL_STATIC_CHECK(effect_bands, offsetof(EffectBlock, bands) == 35);
ZOL_STATIC_CHECK(effect_coefficients, offsetof(EffectBlock, coefficients) == 175);
ZOL_STATIC_CHECK(effect_field375, offsetof(EffectBlock, field375) == 375);
ZOL_STATIC_CHECK(gain_size, sizeof(EqGainBlock) == 32);
ZOL_STATIC_CHECK(info_size, sizeof(DeviceInfo) == 944);
ZOL_STATIC_CHECK(info_effect, offsetof(DeviceInfo, effect) == 32);
ZOL_STATIC_CHECK(info_eq_gains, offsetof(DeviceInfo, eqGains) == 899);
ZOL_STATIC_CHECK(info_mirror, offsetof(DeviceInfo, mirror) == 936);

/* setDeviceProperty's property numbers and the size of `data` each expects. */
#define ZOL_PROPERTY_CONTROL 1  /* 32 bytes: a ControlBlock */
#define ZOL_PROPERTY_EFFECT 2   /* 575 bytes: an EffectBlock, stored and mirrored as given */
#define ZOL_PROPERTY_EQ_GAINS 3 /* 32 bytes: an EqGainBlock; recomputes the equaliser */

/* Loads the settings into *info and opens the shared section. `index` is not used.
 * The bytes *info held before are not read, except `mirror`: calling getDeviceInfo again on a
 * record that is still in use first closes that record's earlier section handle, so a host that
 * reloads without releasing leaks nothing.
 * When the shared section cannot be opened (no right to create global objects, or an existing
 * section of the wrong size) the record is still loaded and 1 returned; the section is then
 * simply not updated until the next getDeviceInfo.
 * Returns: ZOL_DONE; ZOL_NOTHING_DONE (nothing done) when info is NULL. A registry failure may
 * leave it (see "Exceptions"). */
ZOL_API int __cdecl getDeviceInfo(int index, DeviceInfo* info);

/* property 1, 2 or 3 (see above). After releaseDeviceInfo (or on a
 * record getDeviceInfo never filled) the record and the registry are still updated; the shared
 * section is not. The library only acts on `mirror` bytes it handed out itself, so stale or
 * uninitialised bytes there are harmless: a link holds a number never reused while the DLL stays
 * loaded and a random tag of that load, so a record from before an unload and reload, or bytes
 * that match by chance (odds 1 in 2^32), link to nothing.
 * Copies: a byte copy of a record shares the original's link. setDeviceProperty through either
 * updates the section; getDeviceInfo or releaseDeviceInfo on either ends the link for both (the
 * other then updates record and registry only). For a second, independent record, call
 * getDeviceInfo on a record of its own instead of copying one.
 * Returns: ZOL_DONE; ZOL_NOTHING_DONE (nothing done) when info or data is NULL; ZOL_BAD_PROPERTY
 * (nothing changed) for any other property number. A registry failure may leave it (see
 * "Exceptions"). */
ZOL_API int __cdecl setDeviceProperty(DeviceInfo* info, int property, const unsigned char* data);

/* Closes the record's shared-section handle. Releasing twice, or a record that was never
 * loaded, is harmless.
 * Returns: ZOL_DONE; ZOL_NOTHING_DONE when info is NULL. */
ZOL_API int __cdecl releaseDeviceInfo(DeviceInfo* info);

/* ---- Master volume and mute of the default endpoints -------------------------------------
 * flow: 0 playback (render), 1 recording (capture); any other value fails. Each call
 * initialises COM on the calling thread as a single-threaded apartment for its own duration:
 * called from a thread in a multithreaded apartment, all four fail without touching the
 * thread's COM state. Volume is a percentage: set passes percent / 100 to the endpoint, which
 * refuses levels outside 0..1 (so 101 and -1 return 0 and change nothing); get truncates
 * (a level of 0.999 reads 99). Failures are visible only through the results.
 * Returns: _SetMasterMute and _SetVolum ZOL_DONE when set, ZOL_NOTHING_DONE when not;
 * _GetMasterMute nonzero when muted, 0 also on failure; _getVolum 0..100, 50 on failure. */
ZOL_API int __cdecl _SetMasterMute(int mute, int flow);      /* 1 set, 0 failed */
ZOL_API int __cdecl _GetMasterMute(int flow);                /* nonzero muted; 0 also on failure */
ZOL_API int __cdecl _SetVolum(int volume, int flow, int unused); /* 1 set, 0 failed */
ZOL_API int __cdecl _getVolum(int flow, int unused);         /* 0..100; 50 on failure */

/* ---- Device link: hidapi, interface choice, transfer, firmware update ---------------------
 * hidapi 0.13.1 (Debian's source package) is built into the DLL. Its public functions are exported
 * under their own names and signatures: hid_init, hid_exit, hid_enumerate, hid_free_enumeration,
 * hid_open, hid_open_path, hid_write, hid_read_timeout, hid_read, hid_set_nonblocking,
 * hid_send_feature_report, hid_get_feature_report, hid_close, hid_get_manufacturer_string,
 * hid_get_product_string, hid_get_serial_number_string, hid_get_indexed_string, hid_error;
 * declare them with hidapi's own hidapi.h. The library's four additions follow.
 *
 * Paths are matched with plain case-sensitive substring tests on "mi_%.2x" (interface) and
 * "col%.2x" (collection), lower-case hex. Capability report ids are 8-bit: an id above 255 is
 * never found. With interface 0 and collection (or report id) 0 the first entry of the device is
 * taken, whatever its path says. */
struct hid_device_;
typedef int (*zol_hid_enum_callback)(void* context, const char* path);
ZOL_API struct hid_device_* hid_open_intf_col(unsigned short vendor_id, unsigned short product_id,
                                              unsigned short interface_number, unsigned short collection);
ZOL_API struct hid_device_* hid_open_intf_rptid(unsigned short vendor_id, unsigned short product_id,
                                                unsigned short interface_number, unsigned short report_id);
/* hid_open_intf_col, hid_open_intf_rptid:
 * Returns: the opened device (close it with hid_close), or NULL when no interface matches or it
 * does not open. */
/* Calls back with the path of every interface hid_open_intf_rptid would accept, the device already
 * closed again; the callback's result is ignored. With interface 0 and report id 0 nothing is
 * reported (no interface is chosen by that).
 * Returns: nothing. */
ZOL_API void hid_enum_intf_rptid(unsigned short vendor_id, unsigned short product_id,
                                 unsigned short interface_number, unsigned short report_id,
                                 zol_hid_enum_callback callback, void* context);
/* Returns: the handle hidapi opened the device with, for HidD_ and HidP_ calls;
 * INVALID_HANDLE_VALUE for a NULL device. The device owns it: do not close it, and do not use it
 * after hid_close. */
ZOL_API void* hid_get_device_handle(struct hid_device_* dev);

/* One output report, then up to five reads of 10 ms for one input report. Ids are 32-bit here and
 * used as 16-bit ids (report id 8-bit on the wire). `output` holds output-length - 1 bytes and
 * `input` input-length - 1 bytes (63 for 64-byte reports; lengths the device states outside
 * 1..1024 are taken as 64). Either may be null.
 * Returns: ZOL_DONE (without `input`: as soon as the interface opened, whether the write went
 * through or not); ZOL_NOTHING_DONE when no full answer came within the five reads (`input` holds
 * a partial answer if one came); ZOL_NO_INTERFACE when there is no such interface, or it could
 * not be opened. */
ZOL_API int _hid_trans_data(int vendor_id, int product_id, int interface_number, int report_id,
                            const unsigned char* output, unsigned char* input);
/* Returns: ZOL_DONE when the interface exists and opens; ZOL_NO_INTERFACE otherwise. */
ZOL_API int _is_usb_connected(int vendor_id, int product_id, int interface_number, int report_id);

/* Firmware update: int _update_7420_fw(void* progress, void* context, void* image, int length,
 * int start_parameter), exported under the x64 MSVC name of that C++ signature. `progress` (may be
 * null) is a zol_fw_progress_fn, called on the caller's thread with (context, value, stage):
 *   0 entered, 1 device found, 2 both channels open, 3 device accepted the start,
 *   4 value = percentage after each full 63-byte block, and 100 after the last data packet,
 *   5 all sent, waiting for the device's verdict, 6 value = the device's final status byte.
 *   No other stage is ever reported: an update that ends without stage 6 stopped at its last stage.
 * Returns: the device's status byte (0..255); 0 no supported headset found (nothing sent);
 * -1 a channel (collection 3 or 4 of the control interface) did not open; -2 length negative, or
 * image NULL with a positive length (refused before anything, no callback); -4 the device stopped
 * answering, was unplugged or refused a packet (both channels closed); the last stage reported
 * says where: 2 start handshake, 3 or 4 below 100 the blocks, 4 at 100 the final partial block,
 * 5 the final status. Only a whole 64-byte answer starting with 0x55 counts, in every phase.
 * Every wait is bounded, measured from its start: start handshake 30 s (the device may erase its
 * flash first), flow control after a paced block 5 s, before the final partial block 5 s, final
 * status 30 s (the device may verify the image); reads that do nothing but fail for 2 s mean the
 * device was unplugged. A device that sends "send freely" is never waited for during the blocks.
 * The whole image passes through one call; it can take a while (a paced 256 KiB image: about
 * 12.5 s). Bluetooth entries of the supported-device list are not updated. */
#define ZOL_UPDATE_7420_FW_EXPORT_NAME "?_update_7420_fw@@YAHPEAX00HH@Z"
typedef void(__cdecl* zol_fw_progress_fn)(void* context, int value, int stage);
typedef int(__cdecl* zol_update_7420_fw_fn)(void* progress, void* context, void* image, int length,
                                            int start_parameter);
#define ZOL_FW_NO_DEVICE 0
#define ZOL_FW_CHANNEL_NOT_OPENED (-1)
#define ZOL_FW_BAD_IMAGE (-2)
#define ZOL_FW_DEVICE_SILENT (-4)

#ifdef __cplusplus
} /* extern "C" */
#endif

#if defined(__cplusplus) && defined(_MSC_VER)
ZOL_API void __cdecl _dbg(const char* format, ...);
ZOL_API void __cdecl _dbgw(const wchar_t* format, ...);
ZOL_API int __cdecl _update_7420_fw(void* progress, void* context, void* image, int length, int start_parameter);
#endif

#endif /* ZOL_ECD_API_H */
