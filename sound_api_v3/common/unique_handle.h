// Move-only owners for Win32 handles, so that "released on every path" holds by construction.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <setupapi.h>

#include <utility>

namespace zol::common {

// Traits: `pointer` type, the value meaning "no handle", and how to release one.
template <typename Traits>
class unique_handle {
public:
    using pointer = typename Traits::pointer;

    unique_handle() noexcept = default;
    explicit unique_handle(pointer h) noexcept : h_(h) {}
    unique_handle(const unique_handle&) = delete;
    unique_handle& operator=(const unique_handle&) = delete;
    unique_handle(unique_handle&& other) noexcept : h_(other.release()) {}
    unique_handle& operator=(unique_handle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~unique_handle() { reset(); }

    pointer get() const noexcept { return h_; }
    explicit operator bool() const noexcept { return h_ != Traits::invalid(); }

    pointer release() noexcept { return std::exchange(h_, Traits::invalid()); }
    void reset(pointer h = Traits::invalid()) noexcept {
        pointer old = std::exchange(h_, h);
        if (old != Traits::invalid()) Traits::close(old);
    }
    // For out-parameters of creating calls: releases what is held first.
    pointer* put() noexcept {
        reset();
        return &h_;
    }

private:
    pointer h_ = Traits::invalid();
};

struct kernel_handle_traits {
    using pointer = HANDLE;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { ::CloseHandle(h); }
};
// CreateFile and CreateToolhelp32Snapshot report failure as INVALID_HANDLE_VALUE, not NULL.
struct file_handle_traits {
    using pointer = HANDLE;
    static pointer invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(pointer h) noexcept { ::CloseHandle(h); }
};
struct reg_key_traits {
    using pointer = HKEY;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { ::RegCloseKey(h); }
};
struct local_mem_traits {
    using pointer = HLOCAL;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { ::LocalFree(h); }
};
struct mapped_view_traits {
    using pointer = void*;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer p) noexcept { ::UnmapViewOfFile(p); }
};
struct module_traits {
    using pointer = HMODULE;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { ::FreeLibrary(h); }
};
struct sc_handle_traits {
    using pointer = SC_HANDLE;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { ::CloseServiceHandle(h); }
};

// AllocateAndInitializeSid gives a SID that only FreeSid may release.
struct sid_traits {
    using pointer = PSID;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer p) noexcept { ::FreeSid(p); }
};
// Blocks from the process heap (HeapAlloc on GetProcessHeap()).
struct process_heap_traits {
    using pointer = void*;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer p) noexcept { ::HeapFree(::GetProcessHeap(), 0, p); }
};
// Strings and blocks COM hands out (StringFromCLSID and the like).
struct co_task_mem_traits {
    using pointer = void*;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer p) noexcept { ::CoTaskMemFree(p); }
};

// SetupDiGetClassDevs and SetupDiCreateDeviceInfoList report failure as INVALID_HANDLE_VALUE.
struct device_info_list_traits {
    using pointer = HDEVINFO;
    static pointer invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(pointer h) noexcept { ::SetupDiDestroyDeviceInfoList(h); }
};

using unique_kernel_handle = unique_handle<kernel_handle_traits>;
using unique_file_handle = unique_handle<file_handle_traits>;
using unique_hkey = unique_handle<reg_key_traits>;
using unique_local = unique_handle<local_mem_traits>;
using unique_view = unique_handle<mapped_view_traits>;
using unique_module = unique_handle<module_traits>;
using unique_sc_handle = unique_handle<sc_handle_traits>;
using unique_co_task_mem = unique_handle<co_task_mem_traits>;
using unique_sid = unique_handle<sid_traits>;
using unique_process_heap_block = unique_handle<process_heap_traits>;
using unique_device_info_list = unique_handle<device_info_list_traits>;

}  // namespace zol::common
