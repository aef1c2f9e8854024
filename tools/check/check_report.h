// The lines that krogw-check prints: table layouts and address decisions.
#pragma once

#include <string>

#include "context/context.h"
#include "include/krogw/abi.h"

namespace krogw_check {

// "table type  3: 3 columns: 8-bit time-stamp 16-bit (time-stamped)"
std::string DescribeLayout(const krogw::DriverContext& context, int table_type);

// The five words, then what the sub-address and unit id hold for the gate's kind.
// table_type is the table type noted for a table element gate.
std::string DescribeWords(const krogw::GateAddress& words, int table_type);

}  // namespace krogw_check
