// The FxProperties edit of one endpoint: install (slot 16), uninstall (17), reinstall (18).
//
// Only reinstall is here so far. install and uninstall come with the FxProperties edit; until
// then they refuse with a RegistryException instead of touching the endpoint, so that no caller
// can mistake them for a done installation.
#include "apo_install/apo_info.h"

#include "registry/registry.h"

namespace zol::apo {

void DeviceAPOInfo::install() {
    throw registry::RegistryException(L"Effect installation is not available in this build");
}

void DeviceAPOInfo::uninstall() {
    throw registry::RegistryException(L"Effect removal is not available in this build");
}

void DeviceAPOInfo::reinstall() {
    uninstall();
    reload(endpointId, std::wstring());
    install();
}

}  // namespace zol::apo
