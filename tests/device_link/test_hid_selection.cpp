// Choosing an interface of a composite device, against the simulated bus.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device_link/hid_api.h"
#include "device_link/hid_selection.h"
#include "sim_fixture.h"

namespace {

using zol::device_link::deviceHasReportId;
using zol::device_link::unique_hid_device;
using zol::sim::CapsKind;
using zol::sim::Collection;

class HidSelection : public zol::test::SimulatedBus {
protected:
    // The path of the collection the opener took, or "" when it returned null.
    static std::string taken(hid_device* device) {
        unique_hid_device owned(device);
        const Collection* collection = zol::sim::collectionOf(device);
        return collection ? collection->model.path : std::string();
    }
    static std::vector<std::string> enumerated(unsigned short intf, unsigned short reportId) {
        std::vector<std::string> paths;
        hid_enum_intf_rptid(kVendor, kProduct, intf, reportId,
                            [](void* context, const char* path) {
                                static_cast<std::vector<std::string>*>(context)->push_back(path);
                                return 0;
                            },
                            &paths);
        return paths;
    }
};

TEST_F(HidSelection, BothZeroTakesTheFirstEntryWhateverItsPath) {
    auto first = add(1, 5, {{CapsKind::inputValue, 9}});
    add(0, 0);
    EXPECT_EQ(taken(hid_open_intf_col(kVendor, kProduct, 0, 0)), first->model.path);
    EXPECT_EQ(taken(hid_open_intf_rptid(kVendor, kProduct, 0, 0)), first->model.path);
    EXPECT_EQ(taken(hid_open_intf_col(kVendor, 0x0BAD, 0, 0)), "");
}

TEST_F(HidSelection, CollectionNeedsBothMarkers) {
    add(0, 1);
    addPath(zol::sim::devicePath(kVendor, kProduct, -1, 2));  // col02 without mi_00
    add(1, 2);
    auto wanted = add(0, 2);
    EXPECT_EQ(taken(hid_open_intf_col(kVendor, kProduct, 0, 2)), wanted->model.path);
    EXPECT_EQ(taken(hid_open_intf_col(kVendor, kProduct, 0, 3)), "");
}

TEST_F(HidSelection, MarkerMatchIsCaseSensitive) {
    auto upper = addPath("\\\\?\\HID#VID_0A1B&PID_00C2&MI_1A&COL01#8&1", {{CapsKind::inputValue, 6}});
    EXPECT_EQ(taken(hid_open_intf_col(kVendor, kProduct, 0x1A, 1)), "");
    EXPECT_EQ(taken(hid_open_intf_rptid(kVendor, kProduct, 0x1A, 6)), "");
    auto lower = add(0x1A, 1, {{CapsKind::inputValue, 6}});
    EXPECT_EQ(taken(hid_open_intf_col(kVendor, kProduct, 0x1A, 1)), lower->model.path);
    EXPECT_EQ(taken(hid_open_intf_rptid(kVendor, kProduct, 0x1A, 6)), lower->model.path);
}

TEST_F(HidSelection, SingleInterfaceDeviceIsFoundOnlyWithBothZero) {
    auto only = addPath("\\\\?\\hid#vid_0a1b&pid_00c2#7&1d2e&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}",
                        {{CapsKind::inputValue, 1}});
    EXPECT_EQ(taken(hid_open_intf_col(kVendor, kProduct, 0, 0)), only->model.path);
    EXPECT_EQ(taken(hid_open_intf_rptid(kVendor, kProduct, 0, 0)), only->model.path);
    EXPECT_EQ(taken(hid_open_intf_col(kVendor, kProduct, 0, 1)), "");
    EXPECT_EQ(taken(hid_open_intf_rptid(kVendor, kProduct, 0, 1)), "");
}

TEST_F(HidSelection, ReportIdZeroTakesTheFirstOpenableInterfaceEntry) {
    add(0, -1);
    add(3, 1, {}, /*opens=*/false);
    auto second = add(3, 2);
    EXPECT_EQ(taken(hid_open_intf_rptid(kVendor, kProduct, 3, 0)), second->model.path);
}

TEST_F(HidSelection, ReportIdIsFoundInEveryKindOfCapabilityRecord) {
    const CapsKind kinds[] = {CapsKind::inputButton,  CapsKind::inputValue,    CapsKind::outputButton,
                              CapsKind::outputValue, CapsKind::featureButton, CapsKind::featureValue};
    for (CapsKind kind : kinds) {
        zol::sim::detachAll();
        add(3, 1, {{CapsKind::inputValue, 6}, {CapsKind::outputValue, 6}});
        auto holder = add(3, 2, {{CapsKind::inputButton, 4}, {kind, 5}});
        EXPECT_EQ(taken(hid_open_intf_rptid(kVendor, kProduct, 3, 5)), holder->model.path) << static_cast<int>(kind);
    }
}

TEST_F(HidSelection, ReportIdAbove255MatchesNothing) {
    add(3, 1, {{CapsKind::inputValue, 6}});
    EXPECT_EQ(taken(hid_open_intf_rptid(kVendor, kProduct, 3, 0x106)), "");
    EXPECT_TRUE(enumerated(3, 0x106).empty());
}

TEST_F(HidSelection, InterfaceThatCannotBeOpenedIsSkipped) {
    auto held = add(3, 1, {{CapsKind::inputValue, 6}}, /*opens=*/false);
    auto free = add(3, 5, {{CapsKind::inputValue, 6}});
    EXPECT_EQ(taken(hid_open_intf_rptid(kVendor, kProduct, 3, 6)), free->model.path);
    EXPECT_EQ(enumerated(3, 6), std::vector<std::string>{free->model.path});
}

TEST_F(HidSelection, EnumerationReportsEveryMatchInOrderWithTheDeviceClosed) {
    auto a = add(3, 1, {{CapsKind::inputValue, 6}});
    add(3, 2, {{CapsKind::featureValue, 7}});
    auto c = add(3, 3, {{CapsKind::outputButton, 6}});
    add(2, 1, {{CapsKind::inputValue, 6}});
    std::vector<int> openDuringCallback;
    hid_enum_intf_rptid(kVendor, kProduct, 3, 6,
                        [](void* context, const char*) {
                            static_cast<std::vector<int>*>(context)->push_back(zol::sim::openDevices());
                            return 1;  // ignored: the walk goes on
                        },
                        &openDuringCallback);
    EXPECT_EQ(openDuringCallback, (std::vector<int>{0, 0}));
    EXPECT_EQ(enumerated(3, 6), (std::vector<std::string>{a->model.path, c->model.path}));
}

TEST_F(HidSelection, EnumerationWithoutCallbackStillTestsEachInterface) {
    add(3, 1, {{CapsKind::inputValue, 6}});
    add(3, 2, {{CapsKind::inputValue, 7}});
    hid_enum_intf_rptid(kVendor, kProduct, 3, 6, nullptr, nullptr);
    EXPECT_EQ(zol::sim::opensSoFar(), 2);
}

TEST_F(HidSelection, EnumerationWithBothZeroReportsAndOpensNothing) {
    add(0, -1);
    add(0, 1);
    EXPECT_TRUE(enumerated(0, 0).empty());
    EXPECT_EQ(zol::sim::opensSoFar(), 0);
}

TEST_F(HidSelection, ReportIdTestFailsClosedOnBadHandlesAndFailingQueries) {
    EXPECT_FALSE(deviceHasReportId(nullptr, 0));
    EXPECT_FALSE(deviceHasReportId(INVALID_HANDLE_VALUE, 0));
    auto noPreparsed = add(3, 1, {{CapsKind::inputValue, 6}});
    noPreparsed->model.preparsedDataFails = true;
    auto noCaps = add(3, 2, {{CapsKind::inputValue, 6}});
    noCaps->model.capsQueryFails = true;
    auto good = add(3, 3, {{CapsKind::inputValue, 6}});
    for (const auto& [collection, expected] :
         {std::pair{noPreparsed, false}, std::pair{noCaps, false}, std::pair{good, true}}) {
        unique_hid_device device(hid_open_path(collection->model.path.c_str()));
        ASSERT_TRUE(device);
        EXPECT_EQ(deviceHasReportId(hid_get_device_handle(device.get()), 0), expected) << collection->model.path;
        EXPECT_EQ(deviceHasReportId(hid_get_device_handle(device.get()), 6), expected) << collection->model.path;
        EXPECT_FALSE(deviceHasReportId(hid_get_device_handle(device.get()), 7));
    }
}

}  // namespace
