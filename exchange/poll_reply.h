// The reply to a poll (257, or 261 whose rows name themselves), read by the burst
// thread: rows of one RTU table into their gates.
#pragma once

#include <cstddef>
#include <cstdint>

#include "context/context.h"

namespace krogw {

// Where the rows begin: the command block and the echoed 16-byte poll body come first.
inline constexpr size_t kPollReplyDataOffset = 52;

// Decodes the message in buffer[0..received) (a poll reply of the given type, 257 or
// 261) and releases its in-flight slot. Reads nothing past the message's total_length
// or the bytes received; elements that lie whole inside are stored, and the first one
// that does not ends the data.
void DecodePollReply(DriverContext& context, const uint8_t* buffer, size_t received, uint32_t type);

}  // namespace krogw
