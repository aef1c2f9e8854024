// What --version prints for each tool: its name, the kit's version and its license.
#pragma once

#include "include/krogw/abi.h"

#define KROGW_TOOL_VERSION_TEXT(name) \
    name " " KROGW_VERSION_STRING "\nLicense: " KROGW_LICENSE " (the LICENSE file of the kit)\n"
