// The stand-in effect library's helpers, with the stand-in services.
#pragma once

#include "support/standin_services.h"
