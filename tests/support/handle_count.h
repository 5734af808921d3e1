// Counts this process's open kernel handles (registry keys included), for "closed on every path"
// checks. Wine's GetProcessHandleCount always answers 0, so this asks the system handle table.
#pragma once

#include <windows.h>

namespace zol::test {
long openHandleCount();  // -1 when the system refuses to list handles
}
