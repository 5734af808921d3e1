// Linked into every test program: the suites catch the library's registry failures as the GCC
// exception, as any MinGW-built host does after this call.
#include "zol_ecd_api.h"

namespace {
const int kGccFormat = _SetRegistryExceptionFormat(ZOL_REGISTRY_EXCEPTION_GCC);
}
