// Registry writes by full key path; the reads come with registry_read.h.
#pragma once

#include "registry/registry_read.h"

namespace zol::registry {

// The one write that never raises on a system failure: it logs it instead (malformed paths
// still raise).
void writeStringValue(const std::wstring& keyPath, const std::wstring& valueName, const std::wstring& text);

// These raise RegistryException on any failure.
void writeDwordValue(const std::wstring& keyPath, const std::wstring& valueName, std::uint32_t value);
void writeBinaryValue(const std::wstring& keyPath, const std::wstring& valueName, const void* data,
                      std::uint32_t size);
void writeMultiStringValue(const std::wstring& keyPath, const std::wstring& valueName, const std::wstring& text);
void deleteValue(const std::wstring& keyPath, const std::wstring& valueName);

void createKey(const std::wstring& keyPath);
void deleteKey(const std::wstring& keyPath);  // only a key without subkeys

// --- Test seam: an observer told after every change the layer has made (value written or
// deleted, key created or deleted, key security written). The shipped library sets none; a
// test-only build uses it to end the process at a chosen change.
using ChangeObserver = void (*)();
void setChangeObserver(ChangeObserver observer);

// --- internal, shared with the permission repair ---
void noteChange();

}  // namespace zol::registry
