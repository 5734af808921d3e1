// getDeviceCount over the shipped supported-device table, with the simulated headset on the bus.
#include <gtest/gtest.h>

#include "zol_ecd_api.h"

#include "simulated_headset.h"

namespace {

std::shared_ptr<zol::sim::Collection> attachInterface(std::uint16_t product, int intf, int col, std::uint8_t reportId) {
    zol::sim::CollectionModel model;
    model.path = zol::sim::devicePath(0x0A1B, product, intf, col);
    model.vendorId = 0x0A1B;
    model.productId = product;
    model.reports = {{zol::sim::CapsKind::inputValue, reportId}, {zol::sim::CapsKind::outputValue, reportId}};
    return zol::sim::attach(std::move(model));
}

class DeviceCount : public ::testing::Test {
protected:
    void SetUp() override { zol::sim::detachAll(); }
    void TearDown() override {
        EXPECT_EQ(zol::sim::openDevices(), 0);
        zol::sim::detachAll();
    }
};

TEST_F(DeviceCount, NothingAttachedCountsZero) { EXPECT_EQ(getDeviceCount(), 0); }

TEST_F(DeviceCount, SumsMatchingInterfacesOverEveryTableEntry) {
    // Two table devices, each with its transfer interface (3, report id 6) and interfaces that do
    // not qualify: another interface number, another report id, an unsupported product.
    attachInterface(0x00C2, 3, 1, 6);
    attachInterface(0x00C2, 0, 1, 6);
    attachInterface(0x00C2, 3, 2, 7);
    attachInterface(0x00D2, 3, 1, 6);
    attachInterface(0x00E0, 3, 1, 6);
    EXPECT_EQ(getDeviceCount(), 2);
}

TEST_F(DeviceCount, TheKitHeadsetCountsOnce) {
    zol::sim::FirmwareScript script;
    auto headset = zol::sim::attachKitHeadset(0x0A1B, 0x00C3, script);
    EXPECT_EQ(getDeviceCount(), 1);
}

}  // namespace
