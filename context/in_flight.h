// The in-flight limits: polls sent and not yet answered (poll_buffer_length) and writes
// sent and not yet confirmed (cmd_buffer_length), counted in the context.
#pragma once

#include "context/context.h"

namespace krogw {

// Counts one poll in flight unless poll_buffer_length are.
bool TakePollSlot(DriverContext& context);

// Counts one write in flight unless cmd_buffer_length are.
bool TakeCommandSlot(DriverContext& context);

}  // namespace krogw
