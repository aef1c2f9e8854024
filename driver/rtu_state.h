// The state of the RTU a gate names, for the gate handlers.
#pragma once

#include <cstdint>
#include <optional>

#include "context/context.h"

namespace krogw {

// The state of RTU `rtu`; false when the number cannot name an RTU, which the
// handlers answer with 1 instead of reading outside the table.
bool RtuStateOf(const DriverContext& context, int32_t rtu, uint8_t& state);
bool SetRtuState(DriverContext& context, int32_t rtu, RtuState state);

// A disabled RTU is never contacted: polls, writes and clock setting for it answer 0
// without anything sent, and a number that names no RTU answers 1. Empty when the
// request may go on to the RTU.
std::optional<int32_t> AnswerWithoutContact(const DriverContext& context, int32_t rtu);

}  // namespace krogw
