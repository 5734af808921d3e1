// State shared by the simulated HID functions and the control API.
#pragma once

#include <set>

#include "simulated_headset.h"

namespace zol::sim::detail {

// One open handle (a hid_device for the host; its address doubles as the OS handle).
struct OpenDevice {
    std::shared_ptr<Collection> collection;
    bool nonblocking = false;
    std::wstring lastError;
};

struct Preparsed {
    CollectionModel model;
};

struct Bus {
    std::vector<std::shared_ptr<Collection>> collections;
    std::set<OpenDevice*> open;
    std::set<Preparsed*> preparsed;
    int opens = 0;
};

Bus& bus();

}  // namespace zol::sim::detail
