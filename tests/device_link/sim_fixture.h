// Every test starts with an empty bus and ends checking that the library closed what it opened.
#pragma once

#include <gtest/gtest.h>

#include "simulated_headset.h"

namespace zol::test {

class SimulatedBus : public ::testing::Test {
protected:
    void SetUp() override { sim::detachAll(); }
    void TearDown() override {
        EXPECT_EQ(sim::openDevices(), 0) << "a device was left open";
        EXPECT_EQ(sim::heldPreparsedData(), 0) << "preparsed data was not freed";
        sim::detachAll();
    }

    static constexpr std::uint16_t kVendor = 0x0A1B;
    static constexpr std::uint16_t kProduct = 0x00C2;

    std::shared_ptr<sim::Collection> add(int intf, int col, std::vector<sim::DeclaredReport> reports = {},
                                         bool opens = true) {
        sim::CollectionModel model;
        model.path = sim::devicePath(kVendor, kProduct, intf, col);
        model.vendorId = kVendor;
        model.productId = kProduct;
        model.reports = std::move(reports);
        model.opens = opens;
        return sim::attach(std::move(model));
    }
    std::shared_ptr<sim::Collection> addPath(const std::string& path, std::vector<sim::DeclaredReport> reports = {}) {
        sim::CollectionModel model;
        model.path = path;
        model.vendorId = kVendor;
        model.productId = kProduct;
        model.reports = std::move(reports);
        return sim::attach(std::move(model));
    }
};

}  // namespace zol::test
