// Why the driver's address check refused an address, in the terms of the address forms
// (docs/addresses.md). The driver answers a refusal with 1 and, but for a duplicate,
// logs nothing; the checker names the part of the address that failed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "context/context.h"
#include "include/krogw/abi.h"

namespace krogw_check {

// element_count set: checked as an array gate. gate_id is the id the driver checked
// the address for: decoding a table element again notes its table type under it.
std::string RejectReason(const std::string& address, std::optional<int32_t> element_count,
                         int32_t gate_id, krogw::DriverContext& context);

// For an accepted table element gate: a warning when its column never receives a value
// (a column after the time stamp of a time-stamped table type), else "".
std::string UnfedColumnWarning(const krogw::GateAddress& words, int table_type,
                               const krogw::DriverContext& context);

}  // namespace krogw_check
