// Every test starts with an empty bus and ends checking that the library closed what it opened.
#pragma once

#include <gtest/gtest.h>

#include "simulated_headset.h"

namespace zol::test {

constexpr std::uint16_t kVendor = 0x0A1B, kProduct = 0x00C2;

inline std::shared_ptr<sim::Collection> attachAt(const std::string& markers, std::vector<sim::DeclaredReport> reports = {},
                                                 std::uint16_t product = kProduct) {
    char ids[32];
    std::snprintf(ids, sizeof ids, "\\\\?\\hid#vid_%04x&pid_%04x", kVendor, product);
    return sim::attach({ids + markers + "#7&1&0&0000", kVendor, product, std::move(reports)});
}

class SimulatedBus : public ::testing::Test {
protected:
    void SetUp() override { sim::detachAll(); }
    void TearDown() override {
        EXPECT_EQ(sim::openDevices(), 0) << "a device was left open";
        EXPECT_EQ(sim::heldPreparsedData(), 0) << "preparsed data was not freed";
        sim::detachAll();
    }
};

}  // namespace zol::test
