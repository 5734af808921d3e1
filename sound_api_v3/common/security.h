// SIDs and security attributes: the Administrators group, and the DACL of the library's global
// named objects (the settings section, the single-instance mutex), which grants the current user
// and the LOCAL SERVICE account (the audio engine's account) and nobody else.
#pragma once

#include <windows.h>

#include "common/unique_handle.h"

namespace zol::common {

// The BUILTIN\Administrators group; empty when the system cannot build it.
unique_sid administratorsSid();


// Security attributes plus the memory they point to; valid while this object lives, so keep it
// alive until the object has been created with `attributes`.
struct GlobalObjectSecurity {
    SECURITY_ATTRIBUTES attributes{};
    unique_local descriptor;  // 40-byte SECURITY_DESCRIPTOR (LocalAlloc)
    unique_local acl;         // from SetEntriesInAclW
};

// Step codes of a failure: -1 user SID, -2 LOCAL SERVICE SID, -3 ACL, -4 descriptor allocation,
// -5 descriptor initialisation, -6 attaching the DACL. 1 on success. A localServiceMask of 0
// grants the user alone. On failure `security` carries no descriptor.
int buildGlobalObjectSecurity(GlobalObjectSecurity& security, DWORD userMask, DWORD localServiceMask);

}  // namespace zol::common
