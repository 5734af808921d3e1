// getDeviceCount over the shipped supported-device table, with simulated interfaces on the bus.
#include <gtest/gtest.h>

#include "zol_ecd_api.h"

#include "simulated_headset.h"

namespace {

TEST(DeviceCount, SumsTheTransferInterfacesOfEveryTableDevice) {
    zol::sim::detachAll();
    EXPECT_EQ(getDeviceCount(), 0);
    // Two table devices with their transfer interface (3, report id 6), and interfaces that do not
    // qualify: another interface number, another report id, an unsupported product.
    std::vector<std::shared_ptr<zol::sim::Collection>> attached;
    for (const auto& [product, intf, col, reportId] : {std::tuple{0x00C2, 3, 1, 6}, {0x00C2, 0, 1, 6}, {0x00C2, 3, 2, 7},
                                                       {0x00D2, 3, 1, 6}, {0x00E0, 3, 1, 6}}) {
        zol::sim::CollectionModel model;
        model.path = zol::sim::devicePath(0x0A1B, product, intf, col);
        model.vendorId = 0x0A1B;
        model.productId = product;
        model.reports = {{zol::sim::CapsKind::inputValue, std::uint8_t(reportId)}, {zol::sim::CapsKind::outputValue, std::uint8_t(reportId)}};
        attached.push_back(zol::sim::attach(std::move(model)));
    }
    EXPECT_EQ(getDeviceCount(), 2);
    EXPECT_EQ(zol::sim::openDevices(), 0);
    zol::sim::detachAll();
}

}  // namespace
