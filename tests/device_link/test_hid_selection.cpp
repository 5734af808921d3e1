// Choosing an interface of a composite device: one bus that holds every case, one query a row.
#include <string>
#include <vector>

#include "device_link/hid_api.h"
#include "sim_fixture.h"

namespace {

using zol::sim::CapsKind;
using zol::sim::DeclaredReport;
using zol::test::attachAt;
using zol::test::kProduct;
using zol::test::kVendor;

using HidSelection = zol::test::SimulatedBus;
enum Call { col, rptid, enumerate };
enum Fault { none, held, noPreparsed, noCaps };

TEST_F(HidSelection, EveryQueryTakesItsEntry) {
    const auto in = [](std::uint8_t id) { return DeclaredReport{CapsKind::inputValue, id}; };
    const struct {
        const char* markers;
        std::vector<DeclaredReport> reports;
        Fault fault;
    } entries[] = {
        {"&mi_01&col05", {in(9)}, none},  // 0: the device's first entry
        {"&mi_00&col01", {}, none},
        {"&col02", {}, none},             // 2: collection marker without the interface's
        {"&mi_01&col02", {}, none},
        {"&mi_00&col02", {}, none},       // 4
        {"&MI_1A&COL01", {in(6)}, none},  // 5: markers are lower case
        {"&mi_03&col01", {in(6)}, held},  // 6: another program holds it
        {"&mi_03&col02", {{CapsKind::featureValue, 7}}, none},
        {"&mi_03&col03", {{CapsKind::outputButton, 6}}, none},  // 8
        {"&mi_03&col04", {{CapsKind::inputButton, 6}}, none},
        {"&mi_05&col01", {in(6)}, noPreparsed},  // 10
        {"&mi_05&col02", {in(6)}, noCaps},
        {"&mi_05&col03", {in(6)}, none},  // 12
        {"&mi_04&col01", {{CapsKind::inputButton, 0x10}}, none},  // 13-18: each kind of record
        {"&mi_04&col02", {in(0x11)}, none},
        {"&mi_04&col03", {{CapsKind::outputButton, 0x12}}, none},
        {"&mi_04&col04", {{CapsKind::outputValue, 0x13}}, none},
        {"&mi_04&col05", {{CapsKind::featureButton, 0x14}}, none},
        {"&mi_04&col06", {{CapsKind::featureValue, 0x15}}, none},
    };
    std::vector<std::string> paths;
    for (const auto& e : entries) {
        auto c = attachAt(e.markers, e.reports);
        c->model.opens = e.fault != held;
        c->model.preparsedDataFails = e.fault == noPreparsed;
        c->model.capsQueryFails = e.fault == noCaps;
        paths.push_back(c->model.path);
    }
    paths.push_back(attachAt("", {in(1)}, 0x00D1)->model.path);  // 19: a device of one interface

    const struct {
        Call call;
        std::uint16_t product, intf, arg;
        std::vector<int> taken;
    } rows[] = {
        {col, kProduct, 0, 0, {0}},      {rptid, kProduct, 0, 0, {0}},    {enumerate, kProduct, 0, 0, {}},
        {col, 0x0BAD, 0, 0, {}},         {col, kProduct, 0, 2, {4}},      {col, kProduct, 0, 3, {}},
        {col, kProduct, 0x1A, 1, {}},    {rptid, kProduct, 0x1A, 6, {}},  {rptid, kProduct, 3, 0, {7}},
        {rptid, kProduct, 3, 6, {8}},    {rptid, kProduct, 3, 7, {7}},    {enumerate, kProduct, 3, 6, {8, 9}},
        {rptid, kProduct, 3, 0x106, {}}, {enumerate, kProduct, 3, 0x106, {}},
        {rptid, kProduct, 5, 6, {12}},   {rptid, kProduct, 5, 0, {12}},   {enumerate, kProduct, 5, 6, {12}},
        {rptid, kProduct, 4, 0x10, {13}}, {rptid, kProduct, 4, 0x11, {14}}, {rptid, kProduct, 4, 0x12, {15}},
        {rptid, kProduct, 4, 0x13, {16}}, {rptid, kProduct, 4, 0x14, {17}}, {rptid, kProduct, 4, 0x15, {18}},
        {col, 0x00D1, 0, 0, {19}},       {rptid, 0x00D1, 0, 0, {19}},     {col, 0x00D1, 0, 1, {}},
        {rptid, 0x00D1, 0, 1, {}},
    };
    for (const auto& r : rows) {
        std::vector<std::string> expected, got;
        for (int i : r.taken) expected.push_back(paths[i]);
        if (r.call == enumerate) {
            // Each match is reported with the device closed again.
            hid_enum_intf_rptid(kVendor, r.product, r.intf, r.arg, [](void* context, const char* path) {
                static_cast<std::vector<std::string>*>(context)->push_back(path + std::string(zol::sim::openDevices() ? " open" : ""));
                return 1;  // ignored: the walk goes on
            }, &got);
        } else {
            zol::device_link::unique_hid_device device(r.call == col ? hid_open_intf_col(kVendor, r.product, r.intf, r.arg)
                                                                     : hid_open_intf_rptid(kVendor, r.product, r.intf, r.arg));
            if (const zol::sim::Collection* c = zol::sim::collectionOf(device.get())) got.push_back(c->model.path);
        }
        EXPECT_EQ(got, expected) << "call " << r.call << " product " << r.product << " interface " << r.intf << ", " << r.arg;
    }
}

}  // namespace
