// Repair of a registry key that even an administrator may not write: make the Administrators
// group its owner, then merge a full-control entry for that group into its DACL.
// Both touch only the key they are given and raise RegistryException on any failure.
#pragma once

#include <string>

namespace zol::registry {

// Merges one explicit allow entry for BUILTIN\Administrators (KEY_ALL_ACCESS, container and
// object inherit) into the key's DACL, replacing the group's earlier explicit entries; entries of
// other trustees and inherited entries stay.
void ensureKeyWritable(const std::wstring& keyPath);

// Makes BUILTIN\Administrators the key's owner, with SeTakeOwnershipPrivilege enabled for the
// duration of the write. A failure after the privilege was enabled leaves it enabled.
void takeKeyOwnership(const std::wstring& keyPath);

}  // namespace zol::registry
